#pragma once
// Short sounds on OpenAL: the device and context, a growable table of buffers indexed by sound id, up to
// 32 sources, and source groups whose round robin decides which source a new sound takes.
#include <AL/al.h>
#include <AL/alc.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "chime/CHAudioProtocols.h"
#include "platform/base/Value.h"

class CHSoundSource;
class CHBufferLoadRequest;

inline constexpr int CH_SOURCE_LIMIT = 32;
// Sound ids come from the buffer manager one by one; an id far beyond this is a caller's mistake, not a
// reason to allocate without bound.
inline constexpr int CH_BUFFER_LIMIT = 16384;

struct _bufferInfo {
    ALuint bufferId = 0;
    int32_t bufferState = 0;  // 0 empty, 1 loaded, 2 failed
    void* bufferData = nullptr;
    ALenum format = 0;
    ALsizei sizeInBytes = 0;
    ALsizei frequencyInHertz = 0;
};

struct _sourceInfo {
    bool usable = false;
    ALuint sourceId = 0;
    ALuint attachedBufferId = 0;
};

struct _sourceGroup {
    int32_t startIndex = 0;
    int32_t currentIndex = 0;
    int32_t totalSources = 0;
    bool playbackBlocked = false;
    bool nonInterruptible = false;
    // Bit 0: locked by a CHSoundSource; bits 1 and up: index into the source table.
    std::vector<uint32_t> sourceStatuses;
};

class CHSoundEngine : public CHAudioInterruptProtocol, public std::enable_shared_from_this<CHSoundEngine> {
  public:
    // Opens the default device. Without one the engine still exists but is not functioning.
    static std::shared_ptr<CHSoundEngine> create();
    ~CHSoundEngine() override;
    CHSoundEngine(const CHSoundEngine&) = delete;
    CHSoundEngine& operator=(const CHSoundEngine&) = delete;

    // Takes effect for engines made afterwards.
    static void setMixerSampleRate(float rate);

    // Redefining stops every sound. Refused (false) when the counts ask for more sources than exist.
    bool defineSourceGroups(const std::vector<plat::Value>& counts);
    bool defineSourceGroups(const int* counts, int total);
    void setSourceGroupNonInterruptible(int sourceGroupId, bool isNonInterruptible);
    void setSourceGroupEnabled(int sourceGroupId, bool enabled);
    bool sourceGroupEnabled(int sourceGroupId) const;
    uint64_t sourceGroupTotal() const { return _sourceGroupTotal; }

    bool loadBuffer(int soundId, const std::string& filePath);
    bool loadBufferFromData(int soundId, const void* soundData, ALenum format, ALsizei size, ALsizei freq);
    bool unloadBuffer(int soundId);
    bool validateBufferId(int soundId) const;
    float bufferDurationInSeconds(int soundId) const;
    ALsizei bufferSizeInBytes(int soundId) const;
    ALsizei bufferFrequencyInHertz(int soundId) const;
    void loadBuffersAsynchronously(const std::vector<std::shared_ptr<CHBufferLoadRequest>>& loadRequests);
    int bufferTotal() const;
    // True once the engine is going away: a loader stops between files.
    bool asynchLoadStopping() const { return _stopLoading.load(); }

    // The OpenAL source id of the started sound, CH_SOUND_ID_NO_BUFFER when playback is refused, or
    // CH_SOUND_ID_NO_SOURCE when no source could be had or the start failed.
    ALuint playSound(int soundId, int sourceGroupId, float pitch, float pan, float gain, bool loop);
    void stopSound(ALuint sourceId);
    void pauseSound(ALuint sourceId);
    void resumeSound(ALuint sourceId);
    void stopSourceGroup(int sourceGroupId);
    void stopAllSounds();
    void pauseAllSounds();
    void resumeAllSounds();
    // A source held for the caller until the object is released; null when none can be had.
    std::shared_ptr<CHSoundSource> soundSourceForSound(int soundId, int sourceGroupId);

    float masterGain() const;
    void setMasterGain(float gain);
    bool mute() const override { return mute_; }
    void setMute(bool mute) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override;

    ALCcontext* openALContext() const { return context; }
    ALenum lastErrorCode() const { return lastErrorCode_; }
    bool functioning() const { return functioning_; }
    bool getGainWorks() const { return getGainWorks_; }
    int sourceTotal() const { return sourceTotal_; }
    float asynchLoadProgress() const { return asynchLoadProgress_.load(); }
    void setAsynchLoadProgress(float progress) { asynchLoadProgress_.store(progress); }

    // For CHSoundSource.
    bool _soundSourceAttachToBuffer(CHSoundSource& soundSource, int soundId);
    void _soundSourcePreRelease(CHSoundSource& soundSource);
    void _lockSource(int sourceIndex, bool lock);
    void _dumpSourceGroupsInfo() {}

  private:
    CHSoundEngine() = default;
    void init();
    bool _initOpenAL();
    void _generateBuffers(int first, int last);
    void _generateSources();
    bool _setUpSourceGroups(const int* counts, int total);
    void _freeSourceGroups();
    bool _resizeBuffers(int increment);
    ALuint _getSourceIndexForSourceGroup(int sourceGroupId);
    void _testGetGain();
    bool _validSoundId(int soundId) const { return soundId >= 0 && soundId < bufferTotal_; }
    bool _validGroup(int g) const { return g >= 0 && static_cast<uint64_t>(g) < _sourceGroupTotal; }

    std::vector<_bufferInfo> _buffers;
    _sourceInfo _sources[CH_SOURCE_LIMIT];
    std::vector<_sourceGroup> _sourceGroups;
    ALCcontext* context = nullptr;
    ALCdevice* device_ = nullptr;
    uint64_t _sourceGroupTotal = 0;
    float _preMuteGain = 1.0f;
    // Guards the buffer table: the asynchronous loader grows and fills it while the main thread plays from
    // it.
    mutable std::recursive_mutex _mutexBufferLoad;
    std::mutex _mutexAsynchLoad;
    std::thread _loaderThread;
    std::atomic<bool> _stopLoading{false};
    bool mute_ = false;
    bool enabled_ = false;
    ALenum lastErrorCode_ = AL_NO_ERROR;
    bool functioning_ = false;
    std::atomic<float> asynchLoadProgress_{0.0f};
    bool getGainWorks_ = false;
    int sourceTotal_ = 0;
    int bufferTotal_ = 0;
};
