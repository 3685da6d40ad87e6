// A default container shipped as a property list (XML or binary): bytes → property-list reader → constant
// macros. Either a resource comes out, the document is refused as no property list, or the expansion names a
// kind it does not take; nothing else.
#include <cstdint>
#include <cstdlib>

#include "platform/base/Error.h"
#include "platform/base/Log.h"
#include "platform/storage/PropertyList.h"
#include "tagmanager/ZAVLog.h"
#include "tagmanager/ZAVSerialization.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        plat::setLogSink([](plat::LogLevel, const std::string&) {});
        ZAVLog::setLogger(nullptr);
        return true;
    }();
    (void)quiet;
    auto object = plat::PropertyList::parse(data, size);
    if (!object) return 0;
    try {
        auto resource = ZAVSerialization::expandedResourceFromDeserializedObject(&*object);
        if (!resource || !resource->rules().empty()) std::abort();
        size_t expected = object->isDictionary() ? object->dictionaryIf()->size() : 0;
        size_t macros = 0;
        for (const auto& [name, calls] : resource->allMacros()) macros += calls.size();
        if (macros != expected) std::abort();
    } catch (const plat::Exception& e) {
        if (e.name() != ZAVSerialization::notSupportedExceptionName()) std::abort();
    }
    return 0;
}
