#pragma once
// Classes named in static records (message classes, enum descriptor holders, file roots) are found by name in
// explicit tables: a library adds its table once, before the first lookup that needs it, and nothing
// registers itself from a static initialiser (such objects are dropped by the linker from static libraries).
#include <cstddef>
#include <memory>

class ZAVWireArena;
class ZAVWireDescriptor;
class ZAVWireEnumDescriptor;
class ZAVWireExtensionRegistry;
class ZAVWireGeneratedMessage;

struct ZAVWireClass {
    const char* name;
    // The class it derives from, when that is a message class too (null for direct message classes).
    const ZAVWireClass* superclass = nullptr;
    // Message classes: the descriptor, built on first call, and a new empty instance.
    const ZAVWireDescriptor* (*descriptor)() = nullptr;
    std::shared_ptr<ZAVWireGeneratedMessage> (*create)() = nullptr;
    // The same, with its memory from the given parse arena (null: as create).
    std::shared_ptr<ZAVWireGeneratedMessage> (*createInArena)(ZAVWireArena* arena) = nullptr;
    // Enum descriptor holders ("<enum name>EnumDescriptor").
    const ZAVWireEnumDescriptor* (*enumDescriptor)() = nullptr;
    // File roots: their extension registry (null when the file declares and imports none).
    const ZAVWireExtensionRegistry* (*extensionRegistry)() = nullptr;

    // Whether this class is other or derives from it.
    bool isSubclassOf(const ZAVWireClass* other) const;
};

// Adds a table of classes to the lookup; adding the same table again changes nothing.
void ZAVWireAddClassTable(const ZAVWireClass* const* classes, size_t count);
// The class of that name, or null.
const ZAVWireClass* ZAVWireClassNamed(const char* name);
