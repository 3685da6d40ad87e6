#include "wire/ZAVWireClass.h"

#include "wire/schema/ZAVWireSchemaClasses.h"

#include <cstring>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

struct ClassTable {
    std::mutex mutex;
    std::vector<const ZAVWireClass* const*> added;
    std::unordered_map<std::string_view, const ZAVWireClass*> byName;
};

void add(ClassTable& t, const ZAVWireClass* const* classes, size_t count) {
    for (auto* existing : t.added) {
        if (existing == classes) return;
    }
    t.added.push_back(classes);
    for (size_t i = 0; i < count; ++i) t.byName[classes[i]->name] = classes[i];
}

ClassTable& table() {
    // Lives for the process, like the classes it names; the schema's own classes are always there.
    static ClassTable* t = [] {
        auto* fresh = new ClassTable();
        size_t count = 0;
        const ZAVWireClass* const* schema = ZAVWireSchemaClasses(&count);
        add(*fresh, schema, count);
        return fresh;
    }();
    return *t;
}

}  // namespace

bool ZAVWireClass::isSubclassOf(const ZAVWireClass* other) const {
    for (const ZAVWireClass* c = this; c; c = c->superclass) {
        if (c == other) return true;
    }
    return false;
}

void ZAVWireAddClassTable(const ZAVWireClass* const* classes, size_t count) {
    auto& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    add(t, classes, count);
}

const ZAVWireClass* ZAVWireClassNamed(const char* name) {
    if (!name) return nullptr;
    auto& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.byName.find(name);
    return it == t.byName.end() ? nullptr : it->second;
}
