// A default container shipped as JSON: bytes → JSON reader → constant macros. Either a resource comes out,
// the document is refused as not JSON, or the expansion names a kind it does not take; nothing else.
#include <cstdint>
#include <cstdlib>

#include "platform/base/Error.h"
#include "platform/base/Json.h"
#include "platform/base/Log.h"
#include "tagmanager/ZAVLog.h"
#include "tagmanager/ZAVSerialization.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        plat::setLogSink([](plat::LogLevel, const std::string&) {});
        ZAVLog::setLogger(nullptr);
        return true;
    }();
    (void)quiet;
    auto object = plat::Json::parse(data, size);
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
