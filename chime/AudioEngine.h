#pragma once
// The audio engine's one entry object: background music through the audio manager, effects through the
// buffer manager and the sound engine. Chime::AudioEngine (chime/Chime.h) is the game's way in.
#include <AL/al.h>

#include <memory>
#include <string>

#include "chime/CHAudioProtocols.h"

class CHAudioManager;
class CHSoundEngine;
class CHBufferManager;
class CHSoundSource;

class AudioEngine : public CHAudioInterruptProtocol {
  public:
    static std::shared_ptr<AudioEngine> sharedEngine();
    // Full shutdown: the audio manager, the buffer manager and the shared instance go away.
    static void end();
    ~AudioEngine() override;
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    void preloadBackgroundMusic(const std::string& filePath);
    void playBackgroundMusic(const std::string& filePath);
    void playBackgroundMusic(const std::string& filePath, bool loop);
    void stopBackgroundMusic();
    void pauseBackgroundMusic();
    void resumeBackgroundMusic();
    void rewindBackgroundMusic();
    bool isBackgroundMusicPlaying() const;
    bool willPlayBackgroundMusic() const;

    // The OpenAL source id, CH_SOUND_ID_NO_BUFFER when the file gave no buffer or playback was refused,
    // or CH_SOUND_ID_NO_SOURCE.
    ALuint playEffect(const std::string& filePath, bool loop);
    ALuint playEffect(const std::string& filePath, bool loop, float pitch, float pan, float gain);
    void stopEffect(ALuint soundId);
    void pauseEffect(ALuint soundId);
    void resumeEffect(ALuint soundId);
    void stopAllEffects();
    void pauseAllEffects();
    void resumeAllEffects();
    void preloadEffect(const std::string& filePath);
    void unloadEffect(const std::string& filePath);

    bool mute() const override { return mute_; }
    void setMute(bool mute) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override;
    float backgroundMusicVolume() const;
    void setBackgroundMusicVolume(float volume);
    float effectsVolume() const;
    void setEffectsVolume(float volume);

    std::shared_ptr<CHSoundSource> soundSourceForFile(const std::string& filePath);

  private:
    AudioEngine();
    bool mute_ = false;
    bool enabled_ = true;
};
