#pragma once
// One long sound (the background music or another channel) played whole through the platform's audio
// player.
#include <cstdint>
#include <memory>
#include <string>

#include "chime/CHAudioProtocols.h"
#include "chime/CHUtilities.h"
#include "platform/media/AudioPlayer.h"

class CHLongAudioSource;

// Both operations are optional: the defaults do nothing.
class CHLongAudioSourceDelegate {
  public:
    virtual ~CHLongAudioSourceDelegate() = default;
    virtual void cdAudioSourceDidFinishPlaying(CHLongAudioSource& /*audioSource*/) {}
    virtual void cdAudioSourceFileDidChange(CHLongAudioSource& /*audioSource*/) {}
};

class CHLongAudioSource : public plat::AudioPlayerDelegate,
                          public CHAudioInterruptProtocol,
                          public std::enable_shared_from_this<CHLongAudioSource> {
  public:
    static std::shared_ptr<CHLongAudioSource> create();

    // Loading the file that is already loaded only pauses and rewinds it.
    void load(const std::string& filePath);
    void play();
    void stop();
    void pause();
    void resume();
    void rewind();
    bool isPlaying() const;

    float volume() const { return volume_; }
    void setVolume(float volume);
    bool mute() const override { return mute_; }
    void setMute(bool mute) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override;
    int64_t numberOfLoops() const { return numberOfLoops_; }
    void setNumberOfLoops(int64_t loops);

    std::shared_ptr<plat::AudioPlayer> audioSourcePlayer() const { return audioSourcePlayer_; }
    const std::string& audioSourceFilePath() const { return audioSourceFilePath_; }
    std::shared_ptr<CHLongAudioSourceDelegate> delegate() const { return delegate_.lock(); }
    // Not retained.
    void setDelegate(std::weak_ptr<CHLongAudioSourceDelegate> delegate) { delegate_ = std::move(delegate); }
    bool backgroundMusic() const { return backgroundMusic_; }
    void setBackgroundMusic(bool backgroundMusic) { backgroundMusic_ = backgroundMusic; }
    bool paused() const { return paused_; }
    bool systemPaused() const { return systemPaused_; }
    void setSystemPaused(bool systemPaused) { systemPaused_ = systemPaused; }
    void setSystemPauseLocation(double seconds) { systemPauseLocation_ = seconds; }

    void audioPlayerDidFinishPlaying(plat::AudioPlayer& player, bool successfully) override;
    void audioPlayerBeginInterruption(plat::AudioPlayer& player) override;
    void audioPlayerEndInterruption(plat::AudioPlayer& player) override;

  private:
    CHLongAudioSource() = default;

    std::shared_ptr<plat::AudioPlayer> audioSourcePlayer_;
    std::string audioSourceFilePath_;
    CHUnusableFiles unusableFiles_;
    int64_t numberOfLoops_ = 0;
    float volume_ = 1.0f;
    std::weak_ptr<CHLongAudioSourceDelegate> delegate_;
    bool mute_ = false;
    bool enabled_ = true;
    bool backgroundMusic_ = false;
    bool paused_ = false;
    bool systemPaused_ = false;
    double systemPauseLocation_ = 0;
    int32_t state_ = 0;  // 0 nothing loaded, 1 loaded
};
