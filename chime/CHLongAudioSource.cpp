#include "chime/CHLongAudioSource.h"

#include "chime/CHAudioManager.h"
#include "chime/CHUtilities.h"

std::shared_ptr<CHLongAudioSource> CHLongAudioSource::create() {
    return std::shared_ptr<CHLongAudioSource>(new CHLongAudioSource);
}

void CHLongAudioSource::load(const std::string& filePath) {
    if (state_ != 0 && filePath == audioSourceFilePath_) {
        pause();
        rewind();
    } else {
        if (state_ != 0) {
            audioSourceFilePath_.clear();
            if (audioSourcePlayer_) audioSourcePlayer_->stop();
            audioSourcePlayer_.reset();
        }
        audioSourceFilePath_ = filePath;
        std::string full = CHUtilities::fullPathFromRelativePath(filePath);
        if (!unusableFiles_.isUndecodable(full)) {
            audioSourcePlayer_ = plat::AudioPlayer::createWithContentsOfFile(full);
            if (!audioSourcePlayer_) unusableFiles_.noteFailure("music", filePath, full);
        }
        if (audioSourcePlayer_) {
            audioSourcePlayer_->prepareToPlay();
            audioSourcePlayer_->setDelegate(weak_from_this());
            if (auto d = delegate_.lock()) d->cdAudioSourceFileDidChange(*this);
        }
    }
    if (audioSourcePlayer_) {
        // A muted channel stays silent with a new file too.
        audioSourcePlayer_->setVolume(mute_ ? 0.0f : volume_);
        audioSourcePlayer_->setNumberOfLoops(numberOfLoops_);
    }
    state_ = 1;
}

void CHLongAudioSource::play() {
    if (!enabled_) return;
    systemPaused_ = false;
    paused_ = false;
    if (audioSourcePlayer_) audioSourcePlayer_->play();
}

void CHLongAudioSource::resume() {
    paused_ = false;
    if (audioSourcePlayer_) audioSourcePlayer_->play();
}

void CHLongAudioSource::stop() {
    paused_ = false;
    if (audioSourcePlayer_) audioSourcePlayer_->stop();
}

void CHLongAudioSource::pause() {
    paused_ = true;
    if (audioSourcePlayer_) audioSourcePlayer_->pause();
}

void CHLongAudioSource::rewind() {
    paused_ = false;
    if (audioSourcePlayer_) audioSourcePlayer_->setCurrentTime(0);
}

bool CHLongAudioSource::isPlaying() const {
    if (state_ == 0 || !audioSourcePlayer_) return false;
    return audioSourcePlayer_->isPlaying();
}

void CHLongAudioSource::setVolume(float volume) {
    volume_ = volume;
    if (state_ != 0 && !mute_ && audioSourcePlayer_) audioSourcePlayer_->setVolume(volume);
}

void CHLongAudioSource::setMute(bool mute) {
    if (mute == mute_) return;
    mute_ = mute;
    if (audioSourcePlayer_) audioSourcePlayer_->setVolume(mute ? 0.0f : volume_);
}

void CHLongAudioSource::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (!enabled) {
        pause();
        rewind();
    }
}

void CHLongAudioSource::setNumberOfLoops(int64_t loops) {
    if (audioSourcePlayer_) audioSourcePlayer_->setNumberOfLoops(loops);
    numberOfLoops_ = loops;
}

void CHLongAudioSource::audioPlayerDidFinishPlaying(plat::AudioPlayer&, bool) {
    if (auto d = delegate_.lock()) d->cdAudioSourceDidFinishPlaying(*this);
}

void CHLongAudioSource::audioPlayerBeginInterruption(plat::AudioPlayer&) {}

void CHLongAudioSource::audioPlayerEndInterruption(plat::AudioPlayer&) {
    if (!audioSourcePlayer_) return;
    if (backgroundMusic_) {
        if (CHAudioManager::sharedManager()->willPlayBackgroundMusic()) audioSourcePlayer_->play();
    } else {
        audioSourcePlayer_->play();
    }
}
