#include "chime/CHBufferManager.h"

#include "chime/CHSoundEngine.h"

CHBufferManager::CHBufferManager(std::weak_ptr<CHSoundEngine> engine) : soundEngine(std::move(engine)) {
    loadedBuffers.reserve(64);
}

int CHBufferManager::bufferForFile(const std::string& filePath, bool create) {
    auto found = loadedBuffers.find(filePath);
    if (found != loadedBuffers.end()) return found->second;
    if (!create) return -1;
    const std::string fullPath = CHUtilities::fullPathFromRelativePath(filePath);
    if (unusableFiles.isUndecodable(fullPath)) return -1;
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
    // Without a sound device every load fails; that says nothing about the file.
    if (engine->functioning()) unusableFiles.noteFailure("sound", filePath, fullPath);
    return -1;
}

void CHBufferManager::releaseBufferForFile(const std::string& filePath) {
    // Releasing a path forgets its failure too: the file may have been put right since.
    unusableFiles.forget(CHUtilities::fullPathFromRelativePath(filePath));
    int soundId = bufferForFile(filePath, false);
    if (soundId == -1) return;
    if (auto engine = soundEngine.lock()) engine->unloadBuffer(soundId);
    loadedBuffers.erase(filePath);
    freedBuffers.push_back(soundId);
}
