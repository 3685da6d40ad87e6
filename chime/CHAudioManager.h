#pragma once
// The process-wide owner of the audio: the session category chosen from an audio mode, the sound-effect
// engine and two long-sound channels (channel 0 is the background music). It answers session
// interruptions and restores the OpenAL context when a start failed for want of one.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chime/CHLongAudioSource.h"
#include "chime/CHSoundEngine.h"
#include "platform/media/AudioSession.h"
#include "platform/runloop/NotificationCenter.h"

// Audio modes.
enum : int {
    kAMM_FxOnly = 0,
    kAMM_FxPlusMusic = 1,
    kAMM_FxPlusMusicIfNoOtherAudio = 2,
    kAMM_MediaPlayback = 3,
    kAMM_PlayAndRecord = 4,
};

// Manager states.
enum : int { kAMStateUninitialised = 0, kAMStateInitialising = 1, kAMStateInitialised = 2 };

// Resign behaviours.
enum : int { kAMRBDoNothing = 0, kAMRBStopPlay = 1, kAMRBStop = 2 };

class CHAudioManager : public CHLongAudioSourceDelegate,
                       public CHAudioInterruptProtocol,
                       public plat::AudioSessionDelegate,
                       public std::enable_shared_from_this<CHAudioManager> {
  public:
    // Made on first use with the configured mode (2 when none was configured).
    static std::shared_ptr<CHAudioManager> sharedManager();
    static int sharedManagerState();
    static void configure(int mode);
    static void initAsynchronously(int mode);
    static void end();
    // How the wait between session re-activation attempts is spent (tests replace the real sleep).
    static void setSessionRetrySleep(std::function<void(double seconds)> sleep);

    static std::shared_ptr<CHAudioManager> create(int mode);
    ~CHAudioManager() override;
    CHAudioManager(const CHAudioManager&) = delete;
    CHAudioManager& operator=(const CHAudioManager&) = delete;

    void setMode(int mode);
    bool isOtherAudioPlaying() const;
    bool isDeviceMuted() const;
    bool audioSessionSetActive(bool active);
    bool audioSessionSetCategory(const std::string& category);
    const std::string& audioSessionCategory() const { return _audioSessionCategory; }

    std::shared_ptr<CHSoundEngine> soundEngine() const { return soundEngine_; }
    std::shared_ptr<CHLongAudioSource> backgroundMusic() const { return backgroundMusic_; }
    // Null for a channel that does not exist.
    std::shared_ptr<CHLongAudioSource> audioSourceForChannel(int channel) const;
    std::shared_ptr<CHLongAudioSource> audioSourceLoad(const std::string& filePath, int channel);

    void preloadBackgroundMusic(const std::string& filePath);
    void playBackgroundMusic(const std::string& filePath, bool loop);
    void stopBackgroundMusic();
    void pauseBackgroundMusic();
    void resumeBackgroundMusic();
    void rewindBackgroundMusic();
    bool isBackgroundMusicPlaying() const;
    bool willPlayBackgroundMusic() const { return willPlayBackgroundMusic_; }
    // The listener is not retained; the call happens only while it lives.
    void setBackgroundMusicCompletionListener(std::shared_ptr<void> listener, std::function<void()> selector);

    bool mute() const override { return _mute; }
    void setMute(bool mute) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override;

    void setResignBehavior(int resignBehavior, bool autoHandle);
    void applicationWillResignActive();
    void applicationDidBecomeActive();
    void applicationWillTerminate();

    void cdAudioSourceDidFinishPlaying(CHLongAudioSource& audioSource) override;
    void beginInterruption() override;
    void endInterruption() override;
    void audioSessionInterrupted();
    void audioSessionResumed();
    void badAlContextHandler();

  private:
    CHAudioManager() = default;
    void init(int mode);

    std::shared_ptr<CHSoundEngine> soundEngine_;
    std::shared_ptr<CHLongAudioSource> backgroundMusic_;
    std::vector<std::shared_ptr<CHLongAudioSource>> audioSourceChannels;
    std::string _audioSessionCategory;
    int _mode = 0;
    std::function<void()> backgroundMusicCompletionSelector;
    std::weak_ptr<void> backgroundMusicCompletionListener;
    bool willPlayBackgroundMusic_ = false;
    bool _mute = false;
    bool _resigned = false;
    bool _interrupted = false;
    bool _audioSessionActive = false;
    bool enabled_ = true;
    bool _isObservingAppEvents = false;
    int _resignBehavior = 0;
    std::vector<plat::NotificationCenter::Token> observers_;
};
