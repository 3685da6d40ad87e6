// Preview URLs from outside the app: any text is recognised or refused in bounded time, and what is
// recognised matched to its last character.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tagmanager/container/ZAVPreviewManager.h"
#include "tests/fuzz/tm_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tmFuzzQuiet();
    std::string url(reinterpret_cast<const char*>(data), size);
    ZAVPreviewManager manager;
    // A preview in progress, so leave URLs take part too.
    manager.setPreviewMode(1);
    manager.setContainerId(ZAVPreviewManager::containerIdForQuery(ZAVPreviewManager::queryOfUrl(url)));
    if (!manager.generatePreviewDataForUrl(url)) {
        if (manager.previewMode() != 1) std::abort();
        return 0;
    }
    if (url.find('\n') != std::string::npos || url.rfind("zodaruzivu", 0) != 0) std::abort();
    if (manager.previewMode() == 1) {
        auto path = manager.ctfeUrlPath();
        if (!path || path->rfind("/r?", 0) != 0) std::abort();
        if (!manager.isPreviewingContainer(manager.containerId().value_or(""))) std::abort();
    } else if (manager.ctfeUrlPath()) {
        std::abort();
    }
    return 0;
}
