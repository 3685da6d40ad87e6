#pragma once
// A default container shipped as JSON or as a property list: one top-level dictionary from macro name to a
// constant value. It becomes an expanded resource of constant macros only, with no rules and no tags.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/base/Value.h"
#include "tagmanager/runtime/ZAVExpandedResource.h"
#include "tagmanager/values/ZAVObject.h"

class ZAVSerialization {
  public:
    ZAVSerialization() = delete;

    static const std::string& notSupportedExceptionName();

    // A null `object` stands for a document that could not be read: it yields a resource without macros.
    // Anything the format does not allow, anywhere in the tree, throws "NotSupportedException" with the
    // reason "Type <kind> is not supported".
    static std::shared_ptr<const ZAVExpandedResource> expandedResourceFromDeserializedObject(
        const plat::Value* object);
    // JSON bytes, a top-level fragment allowed. Bytes that are not JSON give null with a warning: a
    // broken file is an error, not an empty container.
    static std::shared_ptr<const ZAVExpandedResource> expandResourceFromData(const void* data, size_t size);
    static ZAVPValuePtr deserializedObjectToValue(const plat::Value* object);
    // Dictionaries (text keys, order kept), text, numbers and booleans (as ZAVBoolean); null gives null.
    static ZAVObjectPtr deserializedObjectToNSObject(const plat::Value* object);

    // The kind's name as failure reasons give it ("Null", "Bool", "Array", ...).
    static const char* kindName(plat::Value::Type type);
};
