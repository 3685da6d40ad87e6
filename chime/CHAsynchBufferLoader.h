#pragma once
// Loading a list of sound files into the sound engine's buffers on a worker thread, with progress in the
// engine's asynchLoadProgress and "kCHN_AsynchLoadComplete" posted (on the worker) when done.
#include <memory>
#include <string>
#include <vector>

class CHSoundEngine;

class CHBufferLoadRequest {
  public:
    // The id must not be one the buffer manager hands out: the loader bypasses it.
    CHBufferLoadRequest(int soundId, std::string filePath)
        : filePath_(std::move(filePath)), soundId_(soundId) {}
    const std::string& filePath() const { return filePath_; }
    int soundId() const { return soundId_; }

  private:
    std::string filePath_;
    int soundId_;
};

class CHAsynchBufferLoader {
  public:
    // The engine owns the loader's thread and joins it before it goes, so a plain reference is enough (a
    // shared one would let the engine's last release, and so its join, happen on the loader itself).
    CHAsynchBufferLoader(std::vector<std::shared_ptr<CHBufferLoadRequest>> loadRequests,
                         CHSoundEngine& soundEngine);
    void main();

  private:
    std::vector<std::shared_ptr<CHBufferLoadRequest>> _loadRequests;
    CHSoundEngine* _soundEngine;
};
