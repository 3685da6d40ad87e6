#pragma once
// Shared by the tag manager's fuzz targets: silence, and the check of a default container read from a
// platform value tree.
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/base/Error.h"
#include "platform/base/Log.h"
#include "platform/base/Value.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/container/ZAVSerialization.h"

// Both the platform's and the tag manager's log lines go nowhere: a run makes millions of them.
inline void tmFuzzQuiet() {
    static const bool quiet = [] {
        plat::setLogSink([](plat::LogLevel, const std::string&) {});
        ZAVLog::setLogger(nullptr);
        return true;
    }();
    (void)quiet;
}

// Either a resource of one constant macro per top-level key comes out, or the expansion names a kind it
// does not take; nothing else.
inline void tmFuzzCheckDefault(const std::optional<plat::Value>& object) {
    if (!object) return;
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
}
