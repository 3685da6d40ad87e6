#include "chime/CHBufferManager.h"

#include "chime/CHSoundEngine.h"

CHBufferManager::CHBufferManager(std::weak_ptr<CHSoundEngine> engine) : soundEngine(std::move(engine)) {
    loadedBuffers.reserve(64);
}

int CHBufferManager::bufferForFile(const std::string& filePath, bool create) {
    auto found = loadedBuffers.find(filePath);
    if (found != loadedBuffers.end()) return found->second;
    if (!create) return -1;
    auto engine = soundEngine.lock();
    if (!engine) return -1;
    int soundId;
    if (!freedBuffers.empty()) {
        soundId = freedBuffers.back();
        freedBuffers.pop_back();
    } else {
        soundId = nextBufferId++;
    }
    if (engine->loadBuffer(soundId, filePath)) {
        loadedBuffers.emplace(filePath, soundId);
        return soundId;
    }
    freedBuffers.push_back(soundId);
    return -1;
}

void CHBufferManager::releaseBufferForFile(const std::string& filePath) {
    int soundId = bufferForFile(filePath, false);
    if (soundId == -1) return;
    if (auto engine = soundEngine.lock()) engine->unloadBuffer(soundId);
    loadedBuffers.erase(filePath);
    freedBuffers.push_back(soundId);
}
