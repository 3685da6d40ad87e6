#pragma once
// The process's audio session: its category, whether it is active, what else is playing, the output
// route, and interruptions (another app or a call taking the audio), which the session's delegate and
// every audio player hear about. Here nothing else ever plays and interruptions come only from
// beginInterruption()/endInterruption(), which tests and the shell call.
#include <AL/alc.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/base/Lasting.h"

namespace plat {

// Keeps ALSA's lines about a card it cannot find off stderr, unless ALSOFT_LOGLEVEL asks for the sound
// libraries' own lines. OpenAL reads that variable itself: a program that wants it quiet sets it to 0 before
// its first call into OpenAL. openDefaultAudioDevice does this first.
void quietSoundLibraries();
// The default output device (alcOpenDevice(nullptr)), or null when there is none; a missing device is one
// line of its own, once per process. While an AudioFrameMix is open, its loopback device instead.
ALCdevice* openDefaultAudioDevice();
// A context for a device from openDefaultAudioDevice, in the format its mix is rendered in.
ALCcontext* createAudioContext(ALCdevice* device);
// Closes a device from openDefaultAudioDevice.
void closeAudioDevice(ALCdevice* device);

// The mix made by the program's frames rather than in real time, for runs on a virtual clock: OpenAL
// renders into memory the samples of each frame when asked, and they are written to a 16-bit stereo WAV
// file, so that one run gives one file, sample for sample. Frame n's samples start at n * rate / fps. One
// mix at a time, on the main thread; the players stream on it too (AudioPlayer::streamAll) while it is open.
class AudioFrameMix {
  public:
    // Opens `path` for the mix from `firstFrame` on: a new file at frame 0; from a later frame the file of
    // the run that went before is continued where it ends. False with the reason in `why`.
    static bool begin(const std::string& path, int rate, int framesPerSecond, int64_t firstFrame,
                      std::string* why);
    static bool isOpen();
    // Renders the next frame's samples and adds them to the file; silence while no device is open. A file
    // that stops taking them is said once, and the mix goes on into nothing.
    static void renderFrame();
    // Completes and closes the file.
    static void end();
    // Sample frames (one per channel pair) in the file so far.
    static int64_t samplesWritten();
};
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
