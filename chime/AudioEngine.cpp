#include "chime/AudioEngine.h"

#include <mutex>

#include "chime/CHAudioManager.h"
#include "chime/CHBufferManager.h"
#include "chime/CHSoundEngine.h"
#include "chime/CHSoundSource.h"
#include "platform/base/Lasting.h"

namespace {

std::recursive_mutex& classLock() {
    static std::recursive_mutex m;
    return m;
}

// Nothing of the audio may run during the process's exit.
template <class T>
std::shared_ptr<T>& slot() {
    static plat::Lasting<std::shared_ptr<T>> p;
    return *p;
}

std::shared_ptr<AudioEngine>& gSharedEngine = slot<AudioEngine>();
// The three services live beside the instance, set by its creation and cleared by its end.
std::shared_ptr<CHAudioManager>& am = slot<CHAudioManager>();
std::shared_ptr<CHSoundEngine>& soundEngine = slot<CHSoundEngine>();
std::shared_ptr<CHBufferManager>& bufferManager = slot<CHBufferManager>();

}  // namespace

std::shared_ptr<AudioEngine> AudioEngine::sharedEngine() {
    std::lock_guard lock(classLock());
    if (!gSharedEngine) gSharedEngine = std::shared_ptr<AudioEngine>(new AudioEngine);
    return gSharedEngine;
}

AudioEngine::AudioEngine() {
    am = CHAudioManager::sharedManager();
    soundEngine = am->soundEngine();
    bufferManager = std::make_shared<CHBufferManager>(soundEngine);
}

AudioEngine::~AudioEngine() {
    am.reset();
    soundEngine.reset();
    bufferManager.reset();
}

void AudioEngine::end() {
    std::shared_ptr<AudioEngine> old;
    {
        std::lock_guard lock(classLock());
        am.reset();
        CHAudioManager::end();
        bufferManager.reset();
        old = std::move(gSharedEngine);
        gSharedEngine.reset();
    }
}

void AudioEngine::preloadBackgroundMusic(const std::string& filePath) {
    am->preloadBackgroundMusic(filePath);
}
void AudioEngine::playBackgroundMusic(const std::string& filePath) {
    am->playBackgroundMusic(filePath, true);
}
void AudioEngine::playBackgroundMusic(const std::string& filePath, bool loop) {
    am->playBackgroundMusic(filePath, loop);
}
void AudioEngine::stopBackgroundMusic() {
    am->stopBackgroundMusic();
}
void AudioEngine::pauseBackgroundMusic() {
    am->pauseBackgroundMusic();
}
void AudioEngine::resumeBackgroundMusic() {
    am->resumeBackgroundMusic();
}
void AudioEngine::rewindBackgroundMusic() {
    am->rewindBackgroundMusic();
}
bool AudioEngine::isBackgroundMusicPlaying() const {
    return am->isBackgroundMusicPlaying();
}
bool AudioEngine::willPlayBackgroundMusic() const {
    return am->willPlayBackgroundMusic();
}

ALuint AudioEngine::playEffect(const std::string& filePath, bool loop) {
    return playEffect(filePath, loop, 1.0f, 0.0f, 1.0f);
}

ALuint AudioEngine::playEffect(const std::string& filePath, bool loop, float pitch, float pan, float gain) {
    int soundId = bufferManager->bufferForFile(filePath, true);
    if (soundId == -1) return CH_SOUND_ID_NO_BUFFER;
    return soundEngine->playSound(soundId, 0, pitch, pan, gain, loop);
}

void AudioEngine::stopEffect(ALuint soundId) {
    soundEngine->stopSound(soundId);
}
void AudioEngine::pauseEffect(ALuint soundId) {
    soundEngine->pauseSound(soundId);
}
void AudioEngine::resumeEffect(ALuint soundId) {
    soundEngine->resumeSound(soundId);
}
void AudioEngine::stopAllEffects() {
    soundEngine->stopAllSounds();
}
void AudioEngine::pauseAllEffects() {
    soundEngine->pauseAllSounds();
}
void AudioEngine::resumeAllEffects() {
    soundEngine->resumeAllSounds();
}
void AudioEngine::preloadEffect(const std::string& filePath) {
    bufferManager->bufferForFile(filePath, true);
}
void AudioEngine::unloadEffect(const std::string& filePath) {
    bufferManager->releaseBufferForFile(filePath);
}

void AudioEngine::setMute(bool mute) {
    if (mute == mute_) return;
    mute_ = mute;
    am->setMute(mute);
}

void AudioEngine::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    am->setEnabled(enabled);
}

float AudioEngine::backgroundMusicVolume() const {
    return am->backgroundMusic()->volume();
}
void AudioEngine::setBackgroundMusicVolume(float volume) {
    am->backgroundMusic()->setVolume(volume);
}
float AudioEngine::effectsVolume() const {
    return soundEngine->masterGain();
}
void AudioEngine::setEffectsVolume(float volume) {
    soundEngine->setMasterGain(volume);
}

std::shared_ptr<CHSoundSource> AudioEngine::soundSourceForFile(const std::string& filePath) {
    int soundId = bufferManager->bufferForFile(filePath, true);
    if (soundId == -1) return nullptr;
    return soundEngine->soundSourceForSound(soundId, 0);
}
