#pragma once
// The process's audio session: its category, whether it is active, what else is playing, the output
// route, and interruptions (another app or a call taking the audio), which the session's delegate and
// every audio player hear about. Here nothing else ever plays and interruptions come only from
// beginInterruption()/endInterruption(), which tests and the shell call.
#include <AL/alc.h>

#include <memory>
#include <mutex>
#include <string>

#include "platform/base/Lasting.h"

namespace plat {

// Keeps the sound libraries' own lines about a card they cannot find off stderr, unless ALSOFT_LOGLEVEL
// asks for them. openDefaultAudioDevice does it first; a program calls it on its main thread before it
// starts any other, since it may set the environment, which is not safe while another thread reads it.
void quietSoundLibraries();
// The default output device (alcOpenDevice(nullptr)), or null when there is none; a missing device is one
// line of its own, once per process.
ALCdevice* openDefaultAudioDevice();

inline constexpr const char* AVAudioSessionCategoryAmbient = "AVAudioSessionCategoryAmbient";
inline constexpr const char* AVAudioSessionCategorySoloAmbient = "AVAudioSessionCategorySoloAmbient";
inline constexpr const char* AVAudioSessionCategoryPlayback = "AVAudioSessionCategoryPlayback";
inline constexpr const char* AVAudioSessionCategoryPlayAndRecord = "AVAudioSessionCategoryPlayAndRecord";

class AudioSessionDelegate {
  public:
    virtual ~AudioSessionDelegate() = default;
    virtual void beginInterruption() {}
    virtual void endInterruption() {}
};

class AudioSession {
  public:
    static AudioSession& sharedInstance();

    // Not retained.
    void setDelegate(std::weak_ptr<AudioSessionDelegate> delegate);
    std::shared_ptr<AudioSessionDelegate> delegate() const;

    // False for an unknown category.
    bool setCategory(const std::string& category);
    std::string category() const;
    bool setActive(bool active);
    bool isActive() const;

    bool otherAudioIsPlaying() const;
    // The output route's name; empty when there is no output device.
    std::string audioRoute() const;

    // Delivered synchronously on the calling thread: first the delegate, then the audio players.
    void beginInterruption();
    void endInterruption();
    bool isInterrupted() const;

    // For tests and demos: pretend another app plays, or make the next `count` activations fail.
    void setOtherAudioIsPlaying(bool playing);
    void failNextActivations(int count);
    int activationAttempts() const;
    // Back to the state at start (no delegate, SoloAmbient, inactive, nothing pretended).
    void reset();

  private:
    friend class Lasting<AudioSession>;
    AudioSession() = default;
    mutable std::mutex mutex_;
    std::weak_ptr<AudioSessionDelegate> delegate_;
    std::string category_ = AVAudioSessionCategorySoloAmbient;
    bool active_ = false;
    bool interrupted_ = false;
    bool otherAudio_ = false;
    int failActivations_ = 0;
    int activationAttempts_ = 0;
};

}  // namespace plat
