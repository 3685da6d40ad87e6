#pragma once
// One OpenAL source of the sound engine, held for as long as this object lives, so that its pitch, pan,
// gain and looping can be changed while it plays.
#include <AL/al.h>

#include <memory>

#include "chime/CHAudioProtocols.h"

class CHSoundEngine;

class CHSoundSource : public CHAudioInterruptProtocol, public CHAudioTransportProtocol {
  public:
    // Made by CHSoundEngine::soundSourceForSound only.
    CHSoundSource(ALuint sourceId, int sourceIndex, std::weak_ptr<CHSoundEngine> soundEngine);
    ~CHSoundSource() override;
    CHSoundSource(const CHSoundSource&) = delete;
    CHSoundSource& operator=(const CHSoundSource&) = delete;

    float pitch();
    void setPitch(float pitch);
    float gain();
    void setGain(float gain);
    float pan();
    void setPan(float pan);
    bool looping();
    void setLooping(bool looping);
    bool isPlaying();
    int soundId() const { return _soundId; }
    void setSoundId(int soundId);
    float durationInSeconds() const;
    ALenum lastError() const { return lastError_; }

    bool play() override;
    bool pause() override;
    bool stop() override;
    bool rewind() override;

    bool mute() const override { return mute_; }
    void setMute(bool mute) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override;

  private:
    friend class CHSoundEngine;
    bool noteError();

    ALenum lastError_ = AL_NO_ERROR;
    ALuint _sourceId;
    uint32_t _sourceIndex;
    std::weak_ptr<CHSoundEngine> _engine;
    int _soundId = -1;
    float _preMuteGain = 1.0f;
    bool enabled_ = true;
    bool mute_ = false;
};
