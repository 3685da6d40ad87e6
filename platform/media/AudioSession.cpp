#include "platform/media/AudioSession.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>

#include "platform/base/Lasting.h"
#include "platform/base/Log.h"
#include "platform/media/AudioPlayer.h"

namespace plat {

namespace {

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

// Before the first call into OpenAL, which reads its log level once and probes the cards through ALSA:
// a machine without a sound card would otherwise print a page of both libraries' complaints at every
// start. A user who set the log level sees everything, ALSA's lines too.
void quietSoundLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (std::getenv("ALSOFT_LOGLEVEL")) return;
        setenv("ALSOFT_LOGLEVEL", "0", 0);
        // The library OpenAL loads for its ALSA backend, reached the same way so that the program gains no
        // link to it; kept loaded, since the handler lives in it.
        void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!alsa) return;
        using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
        if (auto set = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler")))
            set(ignoreAlsaError);
    });
}

ALCdevice* openDefaultAudioDevice() {
    quietSoundLibraries();
    ALCdevice* device = alcOpenDevice(nullptr);
    static std::atomic<bool> told{false};
    if (!device && !told.exchange(true)) logWarning("no sound device; playing silent");
    return device;
}

AudioSession& AudioSession::sharedInstance() {
    static Lasting<AudioSession> session;
    return *session;
}

void AudioSession::setDelegate(std::weak_ptr<AudioSessionDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<AudioSessionDelegate> AudioSession::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

bool AudioSession::setCategory(const std::string& category) {
    for (const char* known : {AVAudioSessionCategoryAmbient, AVAudioSessionCategorySoloAmbient,
                              AVAudioSessionCategoryPlayback, AVAudioSessionCategoryPlayAndRecord}) {
        if (category == known) {
            std::lock_guard lock(mutex_);
            category_ = category;
            return true;
        }
    }
    return false;
}

std::string AudioSession::category() const {
    std::lock_guard lock(mutex_);
    return category_;
}

bool AudioSession::setActive(bool active) {
    std::lock_guard lock(mutex_);
    if (active) {
        ++activationAttempts_;
        if (failActivations_ > 0) {
            --failActivations_;
            return false;
        }
    }
    active_ = active;
    return true;
}

bool AudioSession::isActive() const {
    std::lock_guard lock(mutex_);
    return active_;
}

bool AudioSession::otherAudioIsPlaying() const {
    std::lock_guard lock(mutex_);
    return otherAudio_;
}

std::string AudioSession::audioRoute() const {
    quietSoundLibraries();
    const ALCchar* name = alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER);
    return name ? std::string(name) : std::string();
}

void AudioSession::beginInterruption() {
    {
        std::lock_guard lock(mutex_);
        if (interrupted_) return;
        interrupted_ = true;
        active_ = false;
    }
    if (auto d = delegate()) d->beginInterruption();
    AudioPlayer::beginInterruptionOfAll();
}

void AudioSession::endInterruption() {
    {
        std::lock_guard lock(mutex_);
        if (!interrupted_) return;
        interrupted_ = false;
    }
    if (auto d = delegate()) d->endInterruption();
    AudioPlayer::endInterruptionOfAll();
}

bool AudioSession::isInterrupted() const {
    std::lock_guard lock(mutex_);
    return interrupted_;
}

void AudioSession::setOtherAudioIsPlaying(bool playing) {
    std::lock_guard lock(mutex_);
    otherAudio_ = playing;
}

void AudioSession::failNextActivations(int count) {
    std::lock_guard lock(mutex_);
    failActivations_ = count;
}

int AudioSession::activationAttempts() const {
    std::lock_guard lock(mutex_);
    return activationAttempts_;
}

void AudioSession::reset() {
    std::lock_guard lock(mutex_);
    delegate_.reset();
    category_ = AVAudioSessionCategorySoloAmbient;
    active_ = interrupted_ = otherAudio_ = false;
    failActivations_ = activationAttempts_ = 0;
}

}  // namespace plat
