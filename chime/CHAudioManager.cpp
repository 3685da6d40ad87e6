#include "chime/CHAudioManager.h"

#include <AL/alc.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "chime/CHAsynchInitialiser.h"
#include "platform/base/Lasting.h"
#include "platform/runloop/Thread.h"

namespace {

std::recursive_mutex& classLock() {
    static std::recursive_mutex m;
    return m;
}

// Nothing of the audio may run during the process's exit.
plat::Lasting<std::shared_ptr<CHAudioManager>> gSharedManager;
int gManagerState = kAMStateUninitialised;
int gConfiguredMode = kAMM_FxPlusMusicIfNoOtherAudio;
bool gModeConfigured = false;

// The asynchronous initialiser; end() joins it, so no thread outlives the audio.
std::thread& initialiserThread() {
    static plat::Lasting<std::thread> thread;
    return *thread;
}

std::function<void(double)>& retrySleep() {
    static std::function<void(double)> sleep = [](double seconds) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    };
    return sleep;
}

constexpr int kActivationRetries = 10;
constexpr double kActivationRetryDelay = 0.5;

}  // namespace

std::shared_ptr<CHAudioManager> CHAudioManager::sharedManager() {
    std::lock_guard lock(classLock());
    if (!*gSharedManager) {
        if (!gModeConfigured) gConfiguredMode = kAMM_FxPlusMusicIfNoOtherAudio;
        *gSharedManager = create(gConfiguredMode);
        gManagerState = kAMStateInitialised;
        plat::NotificationCenter::defaultCenter().post(kCHN_AudioManagerInitialised);
    }
    return *gSharedManager;
}

int CHAudioManager::sharedManagerState() {
    std::lock_guard lock(classLock());
    return gManagerState;
}

void CHAudioManager::configure(int mode) {
    std::lock_guard lock(classLock());
    gConfiguredMode = mode;
    gModeConfigured = true;
}

void CHAudioManager::initAsynchronously(int mode) {
    std::lock_guard lock(classLock());
    if (gManagerState != kAMStateUninitialised) return;
    gManagerState = kAMStateInitialising;
    configure(mode);
    initialiserThread() = std::thread([] {
        plat::Thread::holdQuitsBack();
        CHAsynchInitialiser().main();
    });
}

void CHAudioManager::end() {
    // Outside the class lock: the initialiser takes it to publish the manager.
    std::thread initialiser;
    {
        std::lock_guard lock(classLock());
        initialiser = std::move(initialiserThread());
    }
    if (initialiser.joinable()) initialiser.join();
    std::shared_ptr<CHAudioManager> old;
    {
        std::lock_guard lock(classLock());
        old = std::move(*gSharedManager);
        gSharedManager->reset();
    }
}

void CHAudioManager::setSessionRetrySleep(std::function<void(double)> sleep) {
    std::lock_guard lock(classLock());
    if (sleep)
        retrySleep() = std::move(sleep);
    else
        retrySleep() = [](double seconds) {
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        };
}

std::shared_ptr<CHAudioManager> CHAudioManager::create(int mode) {
    std::shared_ptr<CHAudioManager> manager(new CHAudioManager);
    manager->init(mode);
    return manager;
}

void CHAudioManager::init(int mode) {
    plat::AudioSession::sharedInstance().setDelegate(weak_from_this());
    _mode = mode;
    backgroundMusicCompletionSelector = nullptr;
    _isObservingAppEvents = false;
    _mute = _resigned = _interrupted = _audioSessionActive = false;
    enabled_ = true;
    setMode(mode);
    soundEngine_ = CHSoundEngine::create();

    auto music = CHLongAudioSource::create();
    music->setBackgroundMusic(true);
    auto other = CHLongAudioSource::create();
    other->setBackgroundMusic(false);
    audioSourceChannels = {music, other};
    backgroundMusic_ = music;
    music->setDelegate(weak_from_this());

    std::weak_ptr<CHAudioManager> weak = weak_from_this();
    observers_.push_back(plat::NotificationCenter::defaultCenter().addObserver(
        kCHN_BadAlContext, [weak](const plat::Notification&) {
            if (auto self = weak.lock()) self->badAlContextHandler();
        }));
}

CHAudioManager::~CHAudioManager() {
    stopBackgroundMusic();
    // The channels' players stream into the engine's context: they go before it does.
    audioSourceChannels.clear();
    backgroundMusic_.reset();
    soundEngine_.reset();
    for (auto token : observers_) plat::NotificationCenter::defaultCenter().removeObserver(token);
    plat::AudioSession::sharedInstance().setActive(false);
}

void CHAudioManager::setMode(int mode) {
    _mode = mode;
    std::string category;
    switch (mode) {
        case kAMM_FxOnly:
            category = plat::AVAudioSessionCategoryAmbient;
            willPlayBackgroundMusic_ = false;
            break;
        case kAMM_FxPlusMusic:
            category = plat::AVAudioSessionCategorySoloAmbient;
            willPlayBackgroundMusic_ = true;
            break;
        case kAMM_MediaPlayback:
            category = plat::AVAudioSessionCategoryPlayback;
            willPlayBackgroundMusic_ = true;
            break;
        case kAMM_PlayAndRecord:
            category = plat::AVAudioSessionCategoryPlayAndRecord;
            willPlayBackgroundMusic_ = true;
            break;
        default:
            if (isOtherAudioPlaying()) {
                category = plat::AVAudioSessionCategoryAmbient;
                willPlayBackgroundMusic_ = false;
            } else {
                category = plat::AVAudioSessionCategorySoloAmbient;
                willPlayBackgroundMusic_ = true;
            }
            break;
    }
    _audioSessionCategory = category;
    audioSessionSetCategory(category);
}

bool CHAudioManager::isOtherAudioPlaying() const {
    return plat::AudioSession::sharedInstance().otherAudioIsPlaying();
}

bool CHAudioManager::isDeviceMuted() const {
    return plat::AudioSession::sharedInstance().audioRoute().empty();
}

bool CHAudioManager::audioSessionSetActive(bool active) {
    if (!plat::AudioSession::sharedInstance().setActive(active)) return false;
    _audioSessionActive = active;
    return true;
}

bool CHAudioManager::audioSessionSetCategory(const std::string& category) {
    return plat::AudioSession::sharedInstance().setCategory(category);
}

std::shared_ptr<CHLongAudioSource> CHAudioManager::audioSourceForChannel(int channel) const {
    if (channel < 0 || static_cast<size_t>(channel) >= audioSourceChannels.size()) return nullptr;
    return audioSourceChannels[static_cast<size_t>(channel)];
}

std::shared_ptr<CHLongAudioSource> CHAudioManager::audioSourceLoad(const std::string& filePath, int channel) {
    auto source = audioSourceForChannel(channel);
    if (source) source->load(filePath);
    return source;
}

void CHAudioManager::preloadBackgroundMusic(const std::string& filePath) {
    backgroundMusic_->load(filePath);
}

void CHAudioManager::playBackgroundMusic(const std::string& filePath, bool loop) {
    backgroundMusic_->load(filePath);
    backgroundMusic_->setNumberOfLoops(loop ? -1 : 0);
    if (willPlayBackgroundMusic_ && !_mute) backgroundMusic_->play();
}

void CHAudioManager::stopBackgroundMusic() {
    backgroundMusic_->stop();
}
void CHAudioManager::pauseBackgroundMusic() {
    backgroundMusic_->pause();
}
void CHAudioManager::rewindBackgroundMusic() {
    backgroundMusic_->rewind();
}

void CHAudioManager::resumeBackgroundMusic() {
    if (!willPlayBackgroundMusic_ || _mute) return;
    if (backgroundMusic_->paused()) backgroundMusic_->resume();
}

bool CHAudioManager::isBackgroundMusicPlaying() const {
    return backgroundMusic_->isPlaying();
}

void CHAudioManager::setBackgroundMusicCompletionListener(std::shared_ptr<void> listener,
                                                          std::function<void()> selector) {
    backgroundMusicCompletionListener = listener;
    backgroundMusicCompletionSelector = std::move(selector);
}

void CHAudioManager::cdAudioSourceDidFinishPlaying(CHLongAudioSource&) {
    if (!backgroundMusicCompletionSelector) return;
    if (backgroundMusicCompletionListener.lock()) backgroundMusicCompletionSelector();
}

void CHAudioManager::setMute(bool mute) {
    if (mute == _mute) return;
    _mute = mute;
    soundEngine_->setMute(mute);
    for (auto& channel : audioSourceChannels) channel->setMute(mute);
}

void CHAudioManager::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    soundEngine_->setEnabled(enabled);
    for (auto& channel : audioSourceChannels) channel->setEnabled(enabled);
}

void CHAudioManager::setResignBehavior(int resignBehavior, bool autoHandle) {
    _resignBehavior = resignBehavior;
    if (!autoHandle || _isObservingAppEvents) return;
    std::weak_ptr<CHAudioManager> weak = weak_from_this();
    auto& center = plat::NotificationCenter::defaultCenter();
    observers_.push_back(center.addObserver("UIApplicationWillResignActiveNotification", [weak](const auto&) {
        if (auto self = weak.lock()) self->applicationWillResignActive();
    }));
    observers_.push_back(center.addObserver("UIApplicationDidBecomeActiveNotification", [weak](const auto&) {
        if (auto self = weak.lock()) self->applicationDidBecomeActive();
    }));
    observers_.push_back(center.addObserver("UIApplicationWillTerminateNotification", [weak](const auto&) {
        if (auto self = weak.lock()) self->applicationWillTerminate();
    }));
    _isObservingAppEvents = true;
}

void CHAudioManager::applicationWillResignActive() {
    _resigned = true;
    audioSessionSetCategory(plat::AVAudioSessionCategoryAmbient);
    if (_resignBehavior == kAMRBStop) {
        for (auto& channel : audioSourceChannels) channel->stop();
    } else if (_resignBehavior == kAMRBStopPlay) {
        for (auto& channel : audioSourceChannels) {
            if (channel->isPlaying()) {
                channel->setSystemPaused(true);
                auto player = channel->audioSourcePlayer();
                channel->setSystemPauseLocation(player ? player->currentTime() : 0.0);
            } else {
                channel->setSystemPaused(false);
            }
        }
        for (auto& channel : audioSourceChannels) channel->stop();
    }
}

void CHAudioManager::applicationDidBecomeActive() {
    if (!_resigned) return;
    _resigned = false;
    setMode(_mode);
    if (_resignBehavior == kAMRBStopPlay && willPlayBackgroundMusic_) {
        for (auto& channel : audioSourceChannels) {
            if (!channel->systemPaused()) continue;
            channel->resume();
            channel->setSystemPaused(false);
        }
    }
}

void CHAudioManager::applicationWillTerminate() {
    stopBackgroundMusic();
}

void CHAudioManager::beginInterruption() {
    audioSessionInterrupted();
}
void CHAudioManager::endInterruption() {
    audioSessionResumed();
}

void CHAudioManager::audioSessionInterrupted() {
    if (_interrupted) return;
    _interrupted = true;
    audioSessionSetActive(false);
    if (alcGetCurrentContext() != nullptr) {
        alcMakeContextCurrent(nullptr);
        alGetError();
    }
}

void CHAudioManager::audioSessionResumed() {
    if (!_interrupted) return;
    _interrupted = false;
    bool active = audioSessionSetActive(true);
    for (int tries = 0; !active && tries < kActivationRetries; ++tries) {
        std::function<void(double)> sleep;
        {
            std::lock_guard lock(classLock());
            sleep = retrySleep();
        }
        sleep(kActivationRetryDelay);
        active = audioSessionSetActive(true);
    }
    // The effects come back even when the session would not: the context is ours to restore.
    if (alcGetCurrentContext() == nullptr && soundEngine_->openALContext() != nullptr) {
        alcMakeContextCurrent(soundEngine_->openALContext());
        alGetError();
    }
}

void CHAudioManager::badAlContextHandler() {
    if (_interrupted && alcGetCurrentContext() == nullptr) audioSessionResumed();
}
