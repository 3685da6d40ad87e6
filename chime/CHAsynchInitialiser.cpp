#include "chime/CHAsynchInitialiser.h"

#include "chime/CHAudioManager.h"

void CHAsynchInitialiser::main() {
    CHAudioManager::sharedManager();
}
