// Container resources from outside (downloads, saved files): bytes are read with the serving-value registry
// and expanded. Either a resource comes out or the expansion fails with "InvalidResourceException"; no
// other outcome, and no value may make the expansion run away in time or memory.
#include <cstdint>
#include <cstdlib>

#include "platform/base/Error.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/runtime/ZAVResourceUtil.h"
#include "wire/schema/ZAVPServing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto registry = [] {
        ZAVLog::setLogger(nullptr);
        auto r = std::make_shared<ZAVWireExtensionRegistry>();
        r->addExtension(std::static_pointer_cast<const ZAVWireExtensionField>(
            ZAVPServingValue::ext().shared_from_this()));
        return r;
    }();
    std::shared_ptr<ZAVPResource> resource;
    try {
        resource = ZAVPResource::parseFromData(ZAVWireData::create(data, size), registry.get());
    } catch (const plat::Exception&) {
        return 0;  // not a resource at all: the reader's own failure
    }
    if (!resource) return 0;
    try {
        auto expanded = ZAVResourceUtil::expandResource(*resource);
        if (!expanded) std::abort();
        // Everything the expansion accepted can be described in bounded time.
        (void)expanded->description();
    } catch (const plat::Exception& e) {
        if (e.name() != ZAVResourceUtil::exceptionName()) std::abort();
    }
    return 0;
}
