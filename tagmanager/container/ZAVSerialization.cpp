#include "tagmanager/container/ZAVSerialization.h"

#include "platform/base/Error.h"
#include "platform/base/Json.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/runtime/ZAVMacros.h"
#include "tagmanager/values/ZAVBoolean.h"
#include "tagmanager/values/ZAVTypes.h"

namespace {

ZAVObjectPtr convert(const plat::Value& object) {
    using Type = plat::Value::Type;
    switch (object.type()) {
        case Type::Dictionary: {
            ZAVObject::Entries entries;
            entries.reserve(object.dictionaryIf()->size());
            for (const auto& [key, item] : *object.dictionaryIf())
                entries.emplace_back(ZAVObject::text(key), convert(item));
            return ZAVObject::map(entries);
        }
        case Type::Bool:
            return ZAVBoolean::booleanWithBool(*object.boolIf());
        case Type::Integer:
            return ZAVObject::integer(*object.integerIf());
        case Type::Real:
            return ZAVObject::floating(*object.realIf());
        case Type::String:
            return ZAVObject::text(*object.stringIf());
        default:
            // A JSON null is a value of its own here, not an absent one, so it is refused like a list.
            throw plat::Exception(
                ZAVSerialization::notSupportedExceptionName(),
                std::string("Type ") + ZAVSerialization::kindName(object.type()) + " is not supported");
    }
}

}  // namespace

const std::string& ZAVSerialization::notSupportedExceptionName() {
    static const std::string name = "NotSupportedException";
    return name;
}

const char* ZAVSerialization::kindName(plat::Value::Type type) {
    using Type = plat::Value::Type;
    switch (type) {
        case Type::Null:
            return "Null";
        case Type::Bool:
            return "Bool";
        case Type::Integer:
            return "Integer";
        case Type::Real:
            return "Real";
        case Type::String:
            return "String";
        case Type::Data:
            return "Data";
        case Type::Date:
            return "Date";
        case Type::Array:
            return "Array";
        case Type::Dictionary:
            return "Dictionary";
    }
    return "Unknown";
}

ZAVObjectPtr ZAVSerialization::deserializedObjectToNSObject(const plat::Value* object) {
    if (!object) return nullptr;
    return convert(*object);
}

ZAVPValuePtr ZAVSerialization::deserializedObjectToValue(const plat::Value* object) {
    return ZAVTypes::objectToValue(deserializedObjectToNSObject(object));
}

std::shared_ptr<const ZAVExpandedResource> ZAVSerialization::expandedResourceFromDeserializedObject(
    const plat::Value* object) {
    ZAVExpandedResourceBuilder builder;
    // Only a dictionary names macros; anything else that converts gives an empty container. The shared
    // default value is never touched (its arrays would be created on first read).
    if (!object || !object->isDictionary()) return builder.build();
    auto value = deserializedObjectToValue(object);
    if (!value || value == ZAVTypes::defaultValue() || value->type() != ZAVPValue_Type_Map)
        return builder.build();
    auto keys = value->mapKeyArray();
    auto values = value->mapValueArray();
    auto function = ZAVTypes::functionIdToValue(ZAVConstantMacro::functionId());
    for (size_t i = 0; i < keys->count() && i < values->count(); ++i) {
        auto call = ZAVExpandedFunctionCall::builder();
        call->addPropertyWithValue(std::static_pointer_cast<ZAVPValue>(keys->objectAtIndex(i)),
                                   ZAVExpandedFunctionCall::instanceNameKey());
        call->addPropertyWithValue(function, ZAVExpandedFunctionCall::functionKey());
        call->addPropertyWithValue(std::static_pointer_cast<ZAVPValue>(values->objectAtIndex(i)),
                                   ZAVConstantMacro::valueKey());
        builder.addMacro(call->build());
    }
    return builder.build();
}

std::shared_ptr<const ZAVExpandedResource> ZAVSerialization::expandResourceFromData(const void* data,
                                                                                    size_t size) {
    plat::Error error;
    auto object = plat::Json::parse(data, size, &error);
    if (!object) {
        ZAVLog::warning("Default container is not JSON: " + error.localizedDescription());
        return nullptr;
    }
    return expandedResourceFromDeserializedObject(&*object);
}
