#include "chime/CHSoundEngine.h"

#include <thread>

#include "chime/CHAsynchBufferLoader.h"
#include "chime/CHSoundSource.h"
#include "chime/CHUtilities.h"
#include "platform/media/AudioSession.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/runloop/Thread.h"

namespace {

std::mutex gMixerRateMutex;
float gMixerOutputRate = 44100.0f;
bool gMixerOutputRateSet = false;

void postBadContextIfNoneCurrent() {
    if (alcGetCurrentContext() == nullptr) plat::NotificationCenter::defaultCenter().post(kCHN_BadAlContext);
}

}  // namespace

void CHSoundEngine::setMixerSampleRate(float rate) {
    std::lock_guard lock(gMixerRateMutex);
    gMixerOutputRate = rate;
    gMixerOutputRateSet = true;
}

std::shared_ptr<CHSoundEngine> CHSoundEngine::create() {
    std::shared_ptr<CHSoundEngine> engine(new CHSoundEngine);
    engine->init();
    return engine;
}

void CHSoundEngine::init() {
    asynchLoadProgress_ = 0.0f;
    bufferTotal_ = 64;
    _buffers.assign(static_cast<size_t>(bufferTotal_), _bufferInfo{});
    if (!_initOpenAL()) return;
    int all = sourceTotal_;
    _setUpSourceGroups(&all, 1);
    functioning_ = true;
    _preMuteGain = masterGain();
    mute_ = false;
    enabled_ = true;
    _testGetGain();
}

bool CHSoundEngine::_initOpenAL() {
    context = nullptr;
    float rate;
    {
        std::lock_guard lock(gMixerRateMutex);
        if (!gMixerOutputRateSet) gMixerOutputRate = 44100.0f;
        rate = gMixerOutputRate;
    }
    setMixerOutputRate(rate);
    device_ = plat::openDefaultAudioDevice();
    if (!device_) return false;
    context = plat::createAudioContext(device_);
    if (!context) {
        // A device without a context can play nothing: count it as no device at all.
        plat::closeAudioDevice(device_);
        device_ = nullptr;
        return false;
    }
    alcMakeContextCurrent(context);
    _generateBuffers(0, bufferTotal_ - 1);
    _generateSources();
    alGetError();
    return true;
}

void CHSoundEngine::_generateBuffers(int first, int last) {
    for (int i = first; i <= last; ++i) {
        alGetError();
        alGenBuffers(1, &_buffers[i].bufferId);
        _buffers[i].bufferData = nullptr;
        _buffers[i].bufferState = alGetError() == AL_NO_ERROR ? 0 : 2;
    }
}

void CHSoundEngine::_generateSources() {
    sourceTotal_ = 0;
    alGetError();
    bool failed = false;
    while (!failed && sourceTotal_ < CH_SOURCE_LIMIT) {
        _sourceInfo& info = _sources[sourceTotal_];
        alGenSources(1, &info.sourceId);
        if (alGetError() == AL_NO_ERROR) {
            alSourcei(info.sourceId, AL_BUFFER, 0);
            if (alGetError() == AL_NO_ERROR) {
                info.usable = true;
                info.attachedBufferId = 0;
                ++sourceTotal_;
                continue;
            }
        }
        info.usable = false;
        failed = true;
    }
    for (int i = sourceTotal_; i < CH_SOURCE_LIMIT; ++i) _sources[i].usable = false;
}

bool CHSoundEngine::_setUpSourceGroups(const int* counts, int total) {
    if (total < 0 || (total > 0 && !counts)) return false;
    // Groups index the source table through their status words; they may not reach past it.
    int64_t sum = 0;
    for (int i = 0; i < total; ++i) {
        if (counts[i] < 0) return false;
        sum += counts[i];
    }
    if (sum > sourceTotal_) return false;
    std::vector<_sourceGroup> groups;
    try {
        groups.resize(static_cast<size_t>(total));
    } catch (const std::bad_alloc&) {
        return false;
    }
    uint32_t first = 0;
    for (int i = 0; i < total; ++i) {
        _sourceGroup& g = groups[i];
        g.totalSources = counts[i];
        g.sourceStatuses.resize(static_cast<size_t>(counts[i]));
        for (int j = 0; j < counts[i]; ++j) g.sourceStatuses[j] = (first + j) << 1;
        first += static_cast<uint32_t>(counts[i]);
    }
    _sourceGroups = std::move(groups);
    _sourceGroupTotal = static_cast<uint64_t>(total);
    return true;
}

void CHSoundEngine::_freeSourceGroups() {
    _sourceGroups.clear();
    _sourceGroupTotal = 0;
}

bool CHSoundEngine::defineSourceGroups(const int* counts, int total) {
    stopAllSounds();
    _freeSourceGroups();
    return _setUpSourceGroups(counts, total);
}

bool CHSoundEngine::defineSourceGroups(const std::vector<plat::Value>& counts) {
    if (counts.size() > static_cast<size_t>(CH_SOURCE_LIMIT) * 4) {
        stopAllSounds();
        _freeSourceGroups();
        return false;
    }
    std::vector<int> plain;
    for (const auto& v : counts) plain.push_back(v.isNumber() ? v.toInt32() : 0);
    return defineSourceGroups(plain.data(), static_cast<int>(plain.size()));
}

void CHSoundEngine::setSourceGroupNonInterruptible(int g, bool isNonInterruptible) {
    if (_validGroup(g)) _sourceGroups[g].nonInterruptible = isNonInterruptible;
}

void CHSoundEngine::setSourceGroupEnabled(int g, bool enabled) {
    if (!_validGroup(g)) return;
    // The flag is stored as given: YES blocks the group's playback.
    if (enabled) stopSourceGroup(g);
    _sourceGroups[g].playbackBlocked = enabled;
}

bool CHSoundEngine::sourceGroupEnabled(int g) const {
    return _validGroup(g) ? _sourceGroups[g].playbackBlocked : false;
}

ALuint CHSoundEngine::_getSourceIndexForSourceGroup(int sourceGroupId) {
    if (!_validGroup(sourceGroupId)) return CH_SOUND_ID_NO_SOURCE;
    _sourceGroup& g = _sourceGroups[sourceGroupId];
    if (g.totalSources <= 0) return CH_SOUND_ID_NO_SOURCE;
    if (g.startIndex >= g.totalSources) g.startIndex = 0;
    bool found = false;
    uint32_t candidate = 0;
    g.currentIndex = g.startIndex;
    do {
        uint32_t status = g.sourceStatuses[g.currentIndex];
        if ((status & 1) == 0) {
            candidate = status >> 1;
            bool take = !g.nonInterruptible;
            if (!take) {
                ALint state = AL_INITIAL;
                alGetSourcei(_sources[candidate].sourceId, AL_SOURCE_STATE, &state);
                take = state != AL_PLAYING;
            }
            if (take) {
                g.startIndex = g.currentIndex + 1;
                found = true;
                break;
            }
        }
        if (++g.currentIndex >= g.totalSources) g.currentIndex = 0;
    } while (g.currentIndex != g.startIndex);
    if (g.startIndex >= g.totalSources) g.startIndex = 0;
    return found ? candidate : CH_SOUND_ID_NO_SOURCE;
}

ALuint CHSoundEngine::playSound(int soundId, int sourceGroupId, float pitch, float pan, float gain,
                                bool loop) {
    if (!enabled_ || !functioning_) return CH_SOUND_ID_NO_BUFFER;
    std::lock_guard lock(_mutexBufferLoad);
    if (!_validSoundId(soundId) || !_validGroup(sourceGroupId)) return CH_SOUND_ID_NO_BUFFER;
    if (_buffers[soundId].bufferState != 1 || _sourceGroups[sourceGroupId].playbackBlocked)
        return CH_SOUND_ID_NO_BUFFER;
    ALuint index = _getSourceIndexForSourceGroup(sourceGroupId);
    if (index == CH_SOUND_ID_NO_SOURCE) return CH_SOUND_ID_NO_SOURCE;

    _sourceInfo& source = _sources[index];
    ALuint sid = source.sourceId;
    alGetError();
    ALint state = AL_INITIAL;
    alGetSourcei(sid, AL_SOURCE_STATE, &state);
    if (state == AL_PLAYING) alSourceStop(sid);
    alSourcei(sid, AL_BUFFER, static_cast<ALint>(_buffers[soundId].bufferId));
    alSourcef(sid, AL_PITCH, pitch);
    alSourcei(sid, AL_LOOPING, loop ? AL_TRUE : AL_FALSE);
    alSourcef(sid, AL_GAIN, gain);
    alSource3f(sid, AL_POSITION, pan, 0.0f, 0.0f);
    alGetError();
    alSourcePlay(sid);
    lastErrorCode_ = alGetError();
    if (lastErrorCode_ == AL_NO_ERROR) {
        source.attachedBufferId = _buffers[soundId].bufferId;
        return sid;
    }
    postBadContextIfNoneCurrent();
    return CH_SOUND_ID_NO_SOURCE;
}

bool CHSoundEngine::loadBuffer(int soundId, const std::string& filePath) {
    std::string full = CHUtilities::fullPathFromRelativePath(filePath);
    if (full.empty()) return false;
    CHDecodedSound sound;
    if (!decodeSoundFile(full, sound)) return loadBufferFromData(soundId, nullptr, 0, 0, 0);
    if (sound.data.size() > static_cast<size_t>(INT32_MAX))
        return loadBufferFromData(soundId, nullptr, 0, 0, 0);
    // An empty sound still makes a (silent) buffer, so the data pointer must not be null.
    static const uint8_t kNothing = 0;
    const void* data = sound.data.empty() ? &kNothing : sound.data.data();
    return loadBufferFromData(soundId, data, sound.format, static_cast<ALsizei>(sound.data.size()),
                              sound.frequency);
}

bool CHSoundEngine::loadBufferFromData(int soundId, const void* soundData, ALenum format, ALsizei size,
                                       ALsizei freq) {
    std::lock_guard lock(_mutexBufferLoad);
    if (!functioning_ || soundId < 0 || soundId >= CH_BUFFER_LIMIT) return false;
    if (soundId >= bufferTotal_) {
        int increment = ((soundId - bufferTotal_) / 16 + 1) * 16;
        if (!_resizeBuffers(increment)) return false;
    }
    _bufferInfo& info = _buffers[soundId];
    if (!soundData) {
        info.bufferState = 2;
        return false;
    }
    if (info.bufferState != 0 && !unloadBuffer(soundId)) return false;
    alGetError();
    alBufferData(info.bufferId, format, soundData, size, freq);
    lastErrorCode_ = alGetError();
    if (lastErrorCode_ != AL_NO_ERROR) {
        info.bufferState = 2;
        return false;
    }
    info.format = format;
    info.sizeInBytes = size;
    info.frequencyInHertz = freq;
    info.bufferState = 1;
    return true;
}

bool CHSoundEngine::_resizeBuffers(int increment) {
    int oldTotal = bufferTotal_;
    try {
        _buffers.resize(static_cast<size_t>(oldTotal + increment));
    } catch (const std::bad_alloc&) {
        return false;
    }
    bufferTotal_ = oldTotal + increment;
    _generateBuffers(oldTotal, bufferTotal_ - 1);
    return true;
}

bool CHSoundEngine::unloadBuffer(int soundId) {
    std::lock_guard lock(_mutexBufferLoad);
    if (!_validSoundId(soundId)) return false;
    _bufferInfo& info = _buffers[soundId];
    for (int i = 0; i < sourceTotal_; ++i) {
        _sourceInfo& s = _sources[i];
        if (s.attachedBufferId != info.bufferId || info.bufferId == 0) continue;
        alSourceStop(s.sourceId);
        lastErrorCode_ = alGetError();
        alSourcei(s.sourceId, AL_BUFFER, 0);
        lastErrorCode_ = alGetError();
        if (lastErrorCode_ == AL_NO_ERROR) s.attachedBufferId = 0;
    }
    alDeleteBuffers(1, &info.bufferId);
    lastErrorCode_ = alGetError();
    bool deleted = lastErrorCode_ == AL_NO_ERROR;
    alGenBuffers(1, &info.bufferId);
    lastErrorCode_ = alGetError();
    bool ok = deleted && lastErrorCode_ == AL_NO_ERROR;
    info.bufferState = ok ? 0 : 2;
    return ok;
}

int CHSoundEngine::bufferTotal() const {
    std::lock_guard lock(_mutexBufferLoad);
    return bufferTotal_;
}

bool CHSoundEngine::validateBufferId(int soundId) const {
    std::lock_guard lock(_mutexBufferLoad);
    return _validSoundId(soundId) && _buffers[soundId].bufferState == 1;
}

float CHSoundEngine::bufferDurationInSeconds(int soundId) const {
    std::lock_guard lock(_mutexBufferLoad);
    if (!validateBufferId(soundId)) return -1.0f;
    const _bufferInfo& info = _buffers[soundId];
    float factor = 0.0f;
    switch (info.format) {
        case AL_FORMAT_MONO8:
            factor = 1.0f;
            break;
        case AL_FORMAT_MONO16:
        case AL_FORMAT_STEREO8:
            factor = 0.5f;
            break;
        case AL_FORMAT_STEREO16:
            factor = 0.25f;
            break;
        default:
            break;
    }
    if (info.frequencyInHertz <= 0) return 0.0f;
    return static_cast<float>(info.sizeInBytes) / static_cast<float>(info.frequencyInHertz) * factor;
}

ALsizei CHSoundEngine::bufferSizeInBytes(int soundId) const {
    std::lock_guard lock(_mutexBufferLoad);
    return validateBufferId(soundId) ? _buffers[soundId].sizeInBytes : -1;
}

ALsizei CHSoundEngine::bufferFrequencyInHertz(int soundId) const {
    std::lock_guard lock(_mutexBufferLoad);
    return validateBufferId(soundId) ? _buffers[soundId].frequencyInHertz : -1;
}

void CHSoundEngine::loadBuffersAsynchronously(
    const std::vector<std::shared_ptr<CHBufferLoadRequest>>& requests) {
    std::lock_guard lock(_mutexAsynchLoad);
    // One load at a time: the previous one finishes first, so progress reads one load's and the thread
    // is joined, never left running past the engine.
    if (_loaderThread.joinable()) _loaderThread.join();
    asynchLoadProgress_ = 0.0f;
    _loaderThread = std::thread([loader = CHAsynchBufferLoader(requests, *this)]() mutable {
        plat::Thread::holdQuitsBack();
        loader.main();
    });
}

void CHSoundEngine::stopSound(ALuint sourceId) {
    if (!functioning_) return;
    alSourceStop(sourceId);
    alGetError();
}

void CHSoundEngine::pauseSound(ALuint sourceId) {
    if (!functioning_) return;
    alSourcePause(sourceId);
    alGetError();
}

void CHSoundEngine::resumeSound(ALuint sourceId) {
    if (!functioning_) return;
    ALint state = AL_INITIAL;
    alGetSourcei(sourceId, AL_SOURCE_STATE, &state);
    if (state == AL_PAUSED) alSourcePlay(sourceId);
    alGetError();
}

void CHSoundEngine::stopSourceGroup(int g) {
    if (!functioning_ || !_validGroup(g)) return;
    for (uint32_t status : _sourceGroups[g].sourceStatuses) alSourceStop(_sources[status >> 1].sourceId);
    alGetError();
}

void CHSoundEngine::stopAllSounds() {
    for (int i = 0; i < sourceTotal_; ++i) alSourceStop(_sources[i].sourceId);
    alGetError();
}

void CHSoundEngine::pauseAllSounds() {
    for (int i = 0; i < sourceTotal_; ++i) pauseSound(_sources[i].sourceId);
}

void CHSoundEngine::resumeAllSounds() {
    for (int i = 0; i < sourceTotal_; ++i) resumeSound(_sources[i].sourceId);
}

std::shared_ptr<CHSoundSource> CHSoundEngine::soundSourceForSound(int soundId, int sourceGroupId) {
    if (!functioning_) return nullptr;
    ALuint index = _getSourceIndexForSourceGroup(sourceGroupId);
    if (index == CH_SOUND_ID_NO_SOURCE) return nullptr;
    auto source =
        std::make_shared<CHSoundSource>(_sources[index].sourceId, static_cast<int>(index), weak_from_this());
    _lockSource(static_cast<int>(index), true);
    if (!_soundSourceAttachToBuffer(*source, soundId)) return nullptr;  // its release unlocks the source
    source->setPitch(1.0f);
    source->setPan(0.0f);
    source->setGain(1.0f);
    source->setLooping(false);
    return source;
}

bool CHSoundEngine::_soundSourceAttachToBuffer(CHSoundSource& soundSource, int soundId) {
    // Only a loaded sound of the table can be attached; anything else would read outside it.
    std::lock_guard lock(_mutexBufferLoad);
    if (!validateBufferId(soundId)) return false;
    ALuint sid = soundSource._sourceId;
    ALint state = AL_INITIAL;
    alGetSourcei(sid, AL_SOURCE_STATE, &state);
    if (state == AL_PLAYING) alSourceStop(sid);
    alGetError();
    alSourcei(sid, AL_BUFFER, static_cast<ALint>(_buffers[soundId].bufferId));
    lastErrorCode_ = alGetError();
    if (lastErrorCode_ != AL_NO_ERROR) return false;
    if (soundSource._sourceIndex < static_cast<uint32_t>(CH_SOURCE_LIMIT))
        _sources[soundSource._sourceIndex].attachedBufferId = _buffers[soundId].bufferId;
    soundSource._soundId = soundId;
    return true;
}

void CHSoundEngine::_soundSourcePreRelease(CHSoundSource& soundSource) {
    _lockSource(static_cast<int>(soundSource._sourceIndex), false);
}

void CHSoundEngine::_lockSource(int sourceIndex, bool lock) {
    for (auto& g : _sourceGroups) {
        for (uint32_t& status : g.sourceStatuses) {
            if (static_cast<int>(status >> 1) != sourceIndex) continue;
            status = lock ? (status | 1u) : (status & ~1u);
            return;
        }
    }
}

float CHSoundEngine::masterGain() const {
    if (mute_) return _preMuteGain;
    ALfloat gain = 0.0f;
    alGetListenerf(AL_GAIN, &gain);
    return gain;
}

void CHSoundEngine::setMasterGain(float gain) {
    if (mute_)
        _preMuteGain = gain;
    else
        alListenerf(AL_GAIN, gain);
}

void CHSoundEngine::setMute(bool mute) {
    if (mute == mute_) return;
    if (mute) {
        _preMuteGain = masterGain();
        mute_ = true;
        alListenerf(AL_GAIN, 0.0f);
    } else {
        mute_ = false;
        setMasterGain(_preMuteGain);
    }
}

void CHSoundEngine::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (!enabled) stopAllSounds();
}

void CHSoundEngine::_testGetGain() {
    if (sourceTotal_ < 1) return;
    ALuint sid = _sources[0].sourceId;
    alSourcef(sid, AL_GAIN, 0.0f);
    const ALfloat expected = 0.7f;
    alSourcef(sid, AL_GAIN, expected);
    ALfloat read = 0.0f;
    alGetSourcef(sid, AL_GAIN, &read);
    getGainWorks_ = read == expected;
    alGetError();
}

CHSoundEngine::~CHSoundEngine() {
    _stopLoading = true;
    if (_loaderThread.joinable()) _loaderThread.join();
    if (!context) return;
    ALCcontext* previous = alcGetCurrentContext();
    if (previous != context) alcMakeContextCurrent(context);
    stopAllSounds();
    _freeSourceGroups();
    for (int i = 0; i < sourceTotal_; ++i) {
        alSourcei(_sources[i].sourceId, AL_BUFFER, 0);
        alDeleteSources(1, &_sources[i].sourceId);
        lastErrorCode_ = alGetError();
    }
    std::lock_guard lock(_mutexBufferLoad);
    for (auto& b : _buffers) {
        if (b.bufferId != 0) alDeleteBuffers(1, &b.bufferId);
    }
    alGetError();
    _buffers.clear();
    // Leave whatever other context was current in place; ours goes away.
    alcMakeContextCurrent(previous == context ? nullptr : previous);
    alcDestroyContext(context);
    plat::closeAudioDevice(device_);
}
