#include "chime/CHSoundSource.h"

#include <AL/alc.h>

#include "chime/CHSoundEngine.h"
#include "platform/runloop/NotificationCenter.h"

CHSoundSource::CHSoundSource(ALuint sourceId, int sourceIndex, std::weak_ptr<CHSoundEngine> soundEngine)
    : _sourceId(sourceId), _sourceIndex(static_cast<uint32_t>(sourceIndex)), _engine(std::move(soundEngine)) {
    _preMuteGain = gain();
}

CHSoundSource::~CHSoundSource() {
    if (auto engine = _engine.lock()) engine->_soundSourcePreRelease(*this);
}

bool CHSoundSource::noteError() {
    lastError_ = alGetError();
    return lastError_ == AL_NO_ERROR;
}

float CHSoundSource::pitch() {
    ALfloat v = 0.0f;
    alGetSourcef(_sourceId, AL_PITCH, &v);
    noteError();
    return v;
}

void CHSoundSource::setPitch(float pitch) {
    alSourcef(_sourceId, AL_PITCH, pitch);
    noteError();
}

float CHSoundSource::gain() {
    if (mute_) return _preMuteGain;
    ALfloat v = 0.0f;
    alGetSourcef(_sourceId, AL_GAIN, &v);
    noteError();
    return v;
}

void CHSoundSource::setGain(float gain) {
    if (mute_) {
        _preMuteGain = gain;
        return;
    }
    alSourcef(_sourceId, AL_GAIN, gain);
    noteError();
}

float CHSoundSource::pan() {
    ALfloat x = 0.0f, y = 0.0f, z = 0.0f;
    alGetSource3f(_sourceId, AL_POSITION, &x, &y, &z);
    noteError();
    return x;
}

void CHSoundSource::setPan(float pan) {
    alSource3f(_sourceId, AL_POSITION, pan, 0.0f, 0.0f);
    noteError();
}

bool CHSoundSource::looping() {
    ALint v = AL_FALSE;
    alGetSourcei(_sourceId, AL_LOOPING, &v);
    noteError();
    return v == AL_TRUE;
}

void CHSoundSource::setLooping(bool looping) {
    alSourcei(_sourceId, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
    noteError();
}

bool CHSoundSource::isPlaying() {
    ALint state = AL_INITIAL;
    alGetSourcei(_sourceId, AL_SOURCE_STATE, &state);
    noteError();
    return state == AL_PLAYING;
}

void CHSoundSource::setSoundId(int soundId) {
    if (auto engine = _engine.lock()) engine->_soundSourceAttachToBuffer(*this, soundId);
}

float CHSoundSource::durationInSeconds() const {
    auto engine = _engine.lock();
    return engine ? engine->bufferDurationInSeconds(_soundId) : -1.0f;
}

bool CHSoundSource::play() {
    if (!enabled_) return false;
    alSourcePlay(_sourceId);
    if (noteError()) return true;
    if (alcGetCurrentContext() == nullptr) plat::NotificationCenter::defaultCenter().post(kCHN_BadAlContext);
    return false;
}

bool CHSoundSource::pause() {
    alSourcePause(_sourceId);
    return noteError();
}

bool CHSoundSource::stop() {
    alSourceStop(_sourceId);
    return noteError();
}

bool CHSoundSource::rewind() {
    alSourceRewind(_sourceId);
    return noteError();
}

void CHSoundSource::setMute(bool mute) {
    if (mute == mute_) return;
    if (mute) {
        _preMuteGain = gain();
        alSourcef(_sourceId, AL_GAIN, 0.0f);
        noteError();
        mute_ = true;
    } else {
        mute_ = false;
        setGain(_preMuteGain);
    }
}

void CHSoundSource::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (!enabled) stop();
}
