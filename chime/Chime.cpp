#include "chime/Chime.h"

#include <cctype>
#include <string>
#include <typeinfo>

#include "chime/AudioEngine.h"
#include "kite/files/KTFileUtils.h"
#include "platform/base/Lasting.h"

namespace Chime {

namespace {

std::string fullPath(const char* name) {
    return kite::KTFileUtils::sharedFileUtils()->fullPathForFilename(name);
}

}  // namespace

uint32_t typeNameHash(const char* name) {
    uint32_t h = 0;
    if (!name) return h;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p)
        h = (h * 16777619u) ^ (static_cast<uint32_t>(std::toupper(*p)) & 0xFFu);
    return h;
}

AudioEngine* AudioEngine::sharedEngine() {
    static plat::Lasting<AudioEngine> engine;
    return &*engine;
}

void AudioEngine::playBackgroundMusic(const char* pszFilePath, bool bLoop) {
    if (!pszFilePath) return;
    ::AudioEngine::sharedEngine()->playBackgroundMusic(fullPath(pszFilePath), bLoop);
}

void AudioEngine::stopBackgroundMusic(bool) {
    ::AudioEngine::sharedEngine()->stopBackgroundMusic();
}

void AudioEngine::pauseBackgroundMusic() {
    ::AudioEngine::sharedEngine()->pauseBackgroundMusic();
}

void AudioEngine::resumeBackgroundMusic() {
    ::AudioEngine::sharedEngine()->resumeBackgroundMusic();
}

unsigned int AudioEngine::playEffect(const char* pszFilePath, bool bLoop) {
    if (!pszFilePath) return CH_SOUND_ID_NO_BUFFER;
    return ::AudioEngine::sharedEngine()->playEffect(fullPath(pszFilePath), bLoop);
}

void AudioEngine::stopAllEffects() {
    ::AudioEngine::sharedEngine()->stopAllEffects();
}

uint32_t AudioEngine::getClassTypeInfo() {
    return typeNameHash(typeid(AudioEngine).name());
}

}  // namespace Chime
