#pragma once
// Gives each distinct sound-file path a small sound id, reusing ids of unloaded sounds, and has the sound
// engine load the file into that id's buffer the first time the path is used.
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "chime/CHUtilities.h"

class CHSoundEngine;

class CHBufferManager {
  public:
    explicit CHBufferManager(std::weak_ptr<CHSoundEngine> soundEngine);

    // The path's sound id; -1 when it has none and none could be made. A failed load is logged once per
    // file and tried again next time, except for a file that is there but cannot be decoded: that one is
    // not decoded again at every play (until it is released).
    int bufferForFile(const std::string& filePath, bool create);
    void releaseBufferForFile(const std::string& filePath);

  private:
    std::unordered_map<std::string, int> loadedBuffers;
    CHUnusableFiles unusableFiles;
    std::vector<int> freedBuffers;
    std::weak_ptr<CHSoundEngine> soundEngine;
    int nextBufferId = 0;
};
