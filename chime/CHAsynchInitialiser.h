#pragma once
// Creates the shared audio manager on a worker thread (see CHAudioManager::initAsynchronously).
class CHAsynchInitialiser {
  public:
    void main();
};
