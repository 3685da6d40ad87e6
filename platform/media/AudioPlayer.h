#pragma once
// A sound file played whole (music, long sounds): decoded and streamed into one OpenAL source of the
// current context by a worker thread of the player. With no OpenAL context it keeps time on the shared
// clock without output, so playing, pausing, looping and finishing behave the same.
#include <AL/al.h>
#include <AL/alc.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/base/FixedQueue.h"

namespace plat {

class AudioPlayer;
class ExtAudioFile;

// Delivered on the main run loop.
class AudioPlayerDelegate {
  public:
    virtual ~AudioPlayerDelegate() = default;
    virtual void audioPlayerDidFinishPlaying(AudioPlayer& /*player*/, bool /*successfully*/) {}
    virtual void audioPlayerBeginInterruption(AudioPlayer& /*player*/) {}
    virtual void audioPlayerEndInterruption(AudioPlayer& /*player*/) {}
};

class AudioPlayer : public std::enable_shared_from_this<AudioPlayer> {
  public:
    // Null when the file cannot be read as sound (or has more than two channels).
    static std::shared_ptr<AudioPlayer> createWithContentsOfFile(const std::string& path);
    ~AudioPlayer();
    AudioPlayer(const AudioPlayer&) = delete;
    AudioPlayer& operator=(const AudioPlayer&) = delete;

    bool prepareToPlay();
    // Plays from the current time.
    bool play();
    void pause();
    // Stops playing; the current time stays where it was.
    void stop();
    bool isPlaying() const;

    double currentTime() const;
    void setCurrentTime(double seconds);
    double duration() const;
    // Repeats after the first pass: 0 plays once, n plays n + 1 times, any negative value endlessly.
    int64_t numberOfLoops() const;
    void setNumberOfLoops(int64_t loops);
    float volume() const;
    void setVolume(float volume);
    const std::string& path() const { return path_; }

    // Not retained.
    void setDelegate(std::weak_ptr<AudioPlayerDelegate> delegate);

    // The audio session's interruptions: playing players pause and their delegates hear of it.
    static void beginInterruptionOfAll();
    static void endInterruptionOfAll();

    // While set, the players' threads leave the streaming to whoever renders the mix: streamAll, called on
    // that thread before each stretch of samples is rendered, does what each worker would (AudioFrameMix).
    static void setStreamedByCaller(bool byCaller);
    static void streamAll();

  private:
    AudioPlayer() = default;
    void start();
    void workerMain();
    void tick(std::unique_lock<std::mutex>& lock);
    bool stepStreaming(std::unique_lock<std::mutex>& lock, ALCcontext* current);
    void stepTiming(int64_t nowMicros);
    void dropStream();
    void finishLocked();
    bool loopAgainLocked();
    void deliver(void (AudioPlayerDelegate::*call)(AudioPlayer&));

    std::string path_;
    int rate_ = 0;
    int channels_ = 0;
    int64_t totalFrames_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread worker_;
    bool quit_ = false;
    bool playing_ = false;
    bool interrupted_ = false;
    bool flush_ = false;
    int64_t positionFrames_ = 0;
    int64_t numberOfLoops_ = 0;
    int64_t loopsDone_ = 0;
    float volume_ = 1.0f;
    std::weak_ptr<AudioPlayerDelegate> delegate_;

    // Worker only.
    std::unique_ptr<ExtAudioFile> file_;
    ALCcontext* alContext_ = nullptr;
    ALuint source_ = 0;
    static constexpr std::size_t kBufferCount = 4;
    ALuint buffers_[kBufferCount] = {};
    // Each of the buffers is in exactly one of these two queues.
    FixedQueue<ALuint, kBufferCount> freeBuffers_;
    struct Queued {
        ALuint buffer;
        int64_t start;
        int64_t frames;
    };
    FixedQueue<Queued, kBufferCount> queued_;
    int64_t decodeFrames_ = 0;
    bool decodeDone_ = false;
    int64_t lastTickMicros_ = -1;
    float appliedVolume_ = -1.0f;
};

}  // namespace plat
