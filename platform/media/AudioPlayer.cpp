#include "platform/media/AudioPlayer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

#include "platform/base/Clock.h"
#include "platform/base/Lasting.h"
#include "platform/media/AudioFile.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"

namespace plat {

namespace {

constexpr int64_t kChunkFrames = 4096;
constexpr auto kTick = std::chrono::milliseconds(10);
std::atomic<bool> gStreamedByCaller{false};

std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}

std::vector<std::weak_ptr<AudioPlayer>>& registry() {
    static Lasting<std::vector<std::weak_ptr<AudioPlayer>>> players;
    return *players;
}

std::vector<std::shared_ptr<AudioPlayer>> livePlayers() {
    std::lock_guard lock(registryMutex());
    std::vector<std::shared_ptr<AudioPlayer>> result;
    auto& all = registry();
    std::erase_if(all, [](const auto& w) { return w.expired(); });
    for (auto& w : all)
        if (auto p = w.lock()) result.push_back(std::move(p));
    return result;
}

}  // namespace

std::shared_ptr<AudioPlayer> AudioPlayer::createWithContentsOfFile(const std::string& path) {
    auto file = ExtAudioFile::open(path);
    if (!file) return nullptr;
    const auto& f = file->fileDataFormat();
    if (f.channelsPerFrame < 1 || f.channelsPerFrame > 2 || f.sampleRate < 1 || f.sampleRate > 1e6)
        return nullptr;
    AudioStreamBasicDescription client;
    client.sampleRate = f.sampleRate;
    client.formatID = kAudioFormatLinearPCM;
    client.formatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
    client.bitsPerChannel = 16;
    client.channelsPerFrame = f.channelsPerFrame;
    client.framesPerPacket = 1;
    client.bytesPerFrame = client.bytesPerPacket = 2 * f.channelsPerFrame;
    if (!file->setClientFormat(client)) return nullptr;

    std::shared_ptr<AudioPlayer> player(new AudioPlayer);
    player->path_ = path;
    player->rate_ = static_cast<int>(f.sampleRate);
    player->channels_ = static_cast<int>(f.channelsPerFrame);
    player->totalFrames_ = std::max<int64_t>(0, file->fileLengthFrames());
    player->file_ = std::move(file);
    player->start();
    std::lock_guard lock(registryMutex());
    registry().push_back(player);
    return player;
}

void AudioPlayer::start() {
    worker_ = std::thread([this] {
        Thread::holdQuitsBack();
        workerMain();
    });
}

AudioPlayer::~AudioPlayer() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

bool AudioPlayer::prepareToPlay() {
    return true;
}

bool AudioPlayer::play() {
    {
        std::lock_guard lock(mutex_);
        if (!playing_) {
            flush_ = true;
            lastTickMicros_ = Clock::shared().monotonicMicros();
        }
        playing_ = true;
        interrupted_ = false;
    }
    wake_.notify_all();
    return true;
}

void AudioPlayer::pause() {
    {
        std::lock_guard lock(mutex_);
        playing_ = false;
    }
    wake_.notify_all();
}

void AudioPlayer::stop() {
    pause();
}

bool AudioPlayer::isPlaying() const {
    std::lock_guard lock(mutex_);
    return playing_;
}

double AudioPlayer::currentTime() const {
    std::lock_guard lock(mutex_);
    return static_cast<double>(positionFrames_) / rate_;
}

void AudioPlayer::setCurrentTime(double seconds) {
    {
        std::lock_guard lock(mutex_);
        double frames = std::clamp(seconds, 0.0, static_cast<double>(totalFrames_) / rate_) * rate_;
        positionFrames_ = std::min(totalFrames_, static_cast<int64_t>(frames));
        flush_ = true;
    }
    wake_.notify_all();
}

double AudioPlayer::duration() const {
    return static_cast<double>(totalFrames_) / rate_;
}

int64_t AudioPlayer::numberOfLoops() const {
    std::lock_guard lock(mutex_);
    return numberOfLoops_;
}

void AudioPlayer::setNumberOfLoops(int64_t loops) {
    std::lock_guard lock(mutex_);
    numberOfLoops_ = loops;
    loopsDone_ = 0;
}

float AudioPlayer::volume() const {
    std::lock_guard lock(mutex_);
    return volume_;
}

void AudioPlayer::setVolume(float volume) {
    std::lock_guard lock(mutex_);
    volume_ = volume;
}

void AudioPlayer::setDelegate(std::weak_ptr<AudioPlayerDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

void AudioPlayer::deliver(void (AudioPlayerDelegate::*call)(AudioPlayer&)) {
    std::shared_ptr<AudioPlayerDelegate> d;
    {
        std::lock_guard lock(mutex_);
        d = delegate_.lock();
    }
    if (d) ((*d).*call)(*this);
}

void AudioPlayer::beginInterruptionOfAll() {
    for (auto& p : livePlayers()) {
        {
            std::lock_guard lock(p->mutex_);
            if (!p->playing_) continue;
            p->playing_ = false;
            p->interrupted_ = true;
        }
        p->wake_.notify_all();
        p->deliver(&AudioPlayerDelegate::audioPlayerBeginInterruption);
    }
}

void AudioPlayer::endInterruptionOfAll() {
    for (auto& p : livePlayers()) {
        {
            std::lock_guard lock(p->mutex_);
            if (!p->interrupted_) continue;
            p->interrupted_ = false;
        }
        p->deliver(&AudioPlayerDelegate::audioPlayerEndInterruption);
    }
}

bool AudioPlayer::loopAgainLocked() {
    if (totalFrames_ <= 0) return false;
    if (numberOfLoops_ < 0) return true;
    if (loopsDone_ >= numberOfLoops_) return false;
    ++loopsDone_;
    return true;
}

void AudioPlayer::finishLocked() {
    playing_ = false;
    positionFrames_ = 0;
    loopsDone_ = 0;
    dropStream();
    std::weak_ptr<AudioPlayer> weak = weak_from_this();
    RunLoop::main().post([weak] {
        auto self = weak.lock();
        if (!self) return;
        std::shared_ptr<AudioPlayerDelegate> d;
        {
            std::lock_guard lock(self->mutex_);
            d = self->delegate_.lock();
        }
        if (d) d->audioPlayerDidFinishPlaying(*self, true);
    });
}

void AudioPlayer::dropStream() {
    if (source_ != 0 && alContext_ != nullptr && alcGetCurrentContext() == alContext_) {
        alSourceStop(source_);
        alSourcei(source_, AL_BUFFER, 0);
        alGetError();
    }
    for (; !queued_.empty(); queued_.pop_front()) freeBuffers_.push_back(queued_.front().buffer);
    decodeFrames_ = positionFrames_;
    decodeDone_ = false;
}

void AudioPlayer::stepTiming(int64_t nowMicros) {
    if (lastTickMicros_ < 0 || nowMicros < lastTickMicros_) {
        lastTickMicros_ = nowMicros;
        return;
    }
    int64_t frames = (nowMicros - lastTickMicros_) * rate_ / 1000000;
    if (frames <= 0) return;
    // Only whole frames are consumed; the rest of the interval counts towards the next tick.
    lastTickMicros_ += frames * 1000000 / rate_;
    positionFrames_ += frames;
    if (positionFrames_ >= totalFrames_ && numberOfLoops_ < 0 && totalFrames_ > 0)
        positionFrames_ %= totalFrames_;
    while (positionFrames_ >= totalFrames_) {
        if (!loopAgainLocked()) {
            finishLocked();
            return;
        }
        positionFrames_ -= totalFrames_;
    }
}

bool AudioPlayer::stepStreaming(std::unique_lock<std::mutex>& lock, ALCcontext* current) {
    if (current != alContext_) {
        // A context we have not streamed into yet: the names of an earlier one went away with it.
        alGetError();
        ALuint source = 0;
        alGenSources(1, &source);
        if (alGetError() != AL_NO_ERROR) return false;
        alGenBuffers(static_cast<ALsizei>(kBufferCount), buffers_);
        if (alGetError() != AL_NO_ERROR) {
            alDeleteSources(1, &source);
            alGetError();
            return false;
        }
        source_ = source;
        alContext_ = current;
        freeBuffers_.clear();
        for (ALuint buffer : buffers_) freeBuffers_.push_back(buffer);
        queued_.clear();
        decodeFrames_ = positionFrames_;
        decodeDone_ = false;
        appliedVolume_ = -1.0f;
    }
    ALint processed = 0;
    alGetSourcei(source_, AL_BUFFERS_PROCESSED, &processed);
    while (processed-- > 0 && !queued_.empty()) {
        ALuint b = 0;
        alSourceUnqueueBuffers(source_, 1, &b);
        freeBuffers_.push_back(queued_.front().buffer);
        queued_.pop_front();
    }

    static thread_local std::vector<int16_t> chunk;
    chunk.resize(static_cast<size_t>(kChunkFrames * channels_));
    while (!freeBuffers_.empty() && !decodeDone_) {
        if (decodeFrames_ >= totalFrames_) {
            if (!loopAgainLocked()) {
                decodeDone_ = true;
                break;
            }
            decodeFrames_ = 0;
        }
        int64_t want = std::min(kChunkFrames, totalFrames_ - decodeFrames_);
        // The file is read without the lock, so a caller changing volume, position or state never waits
        // for a decode; what changed meanwhile is handled on the next tick.
        const int64_t start = decodeFrames_;
        lock.unlock();
        int64_t got = file_->seek(start) ? file_->read(chunk.data(), want) : -1;
        lock.lock();
        if (quit_ || flush_ || !playing_) return true;
        if (decodeFrames_ != start || freeBuffers_.empty()) continue;  // the stream was dropped meanwhile
        if (got <= 0) {
            // The file holds less than it announced: it ends here.
            totalFrames_ = decodeFrames_;
            continue;
        }
        ALuint buffer = freeBuffers_.front();
        alGetError();
        alBufferData(buffer, channels_ == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16, chunk.data(),
                     static_cast<ALsizei>(got * 2 * channels_), rate_);
        alSourceQueueBuffers(source_, 1, &buffer);
        if (alGetError() != AL_NO_ERROR) return false;
        freeBuffers_.pop_front();
        queued_.push_back({buffer, decodeFrames_, got});
        decodeFrames_ += got;
    }
    if (volume_ != appliedVolume_) {
        alSourcef(source_, AL_GAIN, volume_);
        appliedVolume_ = volume_;
    }
    if (!queued_.empty()) {
        ALint offset = 0;
        alGetSourcei(source_, AL_SAMPLE_OFFSET, &offset);
        positionFrames_ = queued_.front().start + std::min<int64_t>(offset, queued_.front().frames);
        ALint state = AL_INITIAL;
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
        if (state != AL_PLAYING) alSourcePlay(source_);
    } else if (decodeDone_) {
        finishLocked();
    }
    alGetError();
    return true;
}

void AudioPlayer::setStreamedByCaller(bool byCaller) {
    gStreamedByCaller.store(byCaller);
    for (auto& p : livePlayers()) p->wake_.notify_all();
}

void AudioPlayer::streamAll() {
    if (!gStreamedByCaller.load()) return;
    for (auto& p : livePlayers()) {
        std::unique_lock lock(p->mutex_);
        if (!p->quit_) p->tick(lock);
    }
}

void AudioPlayer::tick(std::unique_lock<std::mutex>& lock) {
    if (!playing_) {
        if (!queued_.empty() || flush_) dropStream();
        flush_ = false;
        lastTickMicros_ = -1;
        return;
    }
    if (flush_) {
        dropStream();
        flush_ = false;
    }
    ALCcontext* current = alcGetCurrentContext();
    if (current && stepStreaming(lock, current)) {
        lastTickMicros_ = -1;
    } else {
        stepTiming(Clock::shared().monotonicMicros());
    }
}

void AudioPlayer::workerMain() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        wake_.wait_for(lock, kTick);
        if (quit_) break;
        if (!gStreamedByCaller.load()) tick(lock);
    }
    if (source_ != 0 && alContext_ != nullptr && alcGetCurrentContext() == alContext_) {
        alSourceStop(source_);
        alSourcei(source_, AL_BUFFER, 0);
        alDeleteSources(1, &source_);
        alDeleteBuffers(static_cast<ALsizei>(kBufferCount), buffers_);
        alGetError();
    }
}

}  // namespace plat
