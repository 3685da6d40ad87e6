#include "chime/CHAsynchBufferLoader.h"

#include "chime/CHAudioProtocols.h"
#include "chime/CHSoundEngine.h"
#include "platform/runloop/NotificationCenter.h"

CHAsynchBufferLoader::CHAsynchBufferLoader(std::vector<std::shared_ptr<CHBufferLoadRequest>> loadRequests,
                                           CHSoundEngine& soundEngine)
    : _loadRequests(std::move(loadRequests)), _soundEngine(&soundEngine) {}

void CHAsynchBufferLoader::main() {
    _soundEngine->setAsynchLoadProgress(0.0f);
    if (!_loadRequests.empty()) {
        float step = 1.0f / static_cast<float>(_loadRequests.size());
        for (const auto& request : _loadRequests) {
            if (_soundEngine->asynchLoadStopping()) return;
            if (request) _soundEngine->loadBuffer(request->soundId(), request->filePath());
            _soundEngine->setAsynchLoadProgress(_soundEngine->asynchLoadProgress() + step);
        }
    }
    _soundEngine->setAsynchLoadProgress(1.0f);
    plat::NotificationCenter::defaultCenter().post(kCHN_AsynchLoadComplete);
}
