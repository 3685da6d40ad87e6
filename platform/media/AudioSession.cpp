#include "platform/media/AudioSession.h"

#include <AL/alc.h>

#include "platform/base/Lasting.h"
#include "platform/media/AudioPlayer.h"

namespace plat {

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
