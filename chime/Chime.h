#pragma once
// The game's way into the audio engine: one process-wide object that turns resource names into full
// paths and forwards to the audio engine's own entry object.
#include <cstdint>

#include "platform/base/Lasting.h"

namespace Chime {

class TypeInfo {
  public:
    virtual ~TypeInfo() = default;
    virtual uint32_t getClassTypeInfo() = 0;
};

// h = h * 16777619 XOR upper-cased byte, from 0, over the whole string.
uint32_t typeNameHash(const char* name);

class AudioEngine : public TypeInfo {
  public:
    // Made on the first call and never destroyed.
    static AudioEngine* sharedEngine();

    void playBackgroundMusic(const char* pszFilePath, bool bLoop);
    // The flag makes no difference.
    void stopBackgroundMusic(bool bReleaseData);
    void stopBackgroundMusic() { stopBackgroundMusic(false); }
    void pauseBackgroundMusic();
    void resumeBackgroundMusic();
    // The OpenAL source id of the started effect, 0xFEEDBAB when the file gave no sound or playback was
    // refused, 0xFEEDFAC when no source could be had.
    unsigned int playEffect(const char* pszFilePath, bool bLoop);
    unsigned int playEffect(const char* pszFilePath) { return playEffect(pszFilePath, false); }
    void stopAllEffects();

    uint32_t getClassTypeInfo() override;

  private:
    friend class plat::Lasting<AudioEngine>;
    AudioEngine() = default;
};

}  // namespace Chime
