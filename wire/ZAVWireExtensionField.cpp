#include "wire/ZAVWireExtensionField.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/base/Lasting.h"
#include "wire/ZAVWireGeneratedMessage.h"
#include "wire/schema/ZAVWireSchemaClasses.h"

namespace {

uint32_t bigEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

const ZAVWireClass* requireClass(const char* name) {
    const ZAVWireClass* c = ZAVWireClassNamed(name);
    ZAVWIRE_ASSERT(c != nullptr, "Class %s not defined", name);
    return c;
}

const ZAVWireNumber& number(const ZAVWireObjectPtr& value) {
    auto* n = dynamic_cast<const ZAVWireNumber*>(value.get());
    ZAVWIRE_ASSERT(n != nullptr, "Extension value %s is not a number", value ? value->className() : "nil");
    return *n;
}

template <typename T>
const T& as(const ZAVWireObjectPtr& value) {
    auto* p = dynamic_cast<const T*>(value.get());
    ZAVWIRE_ASSERT(p != nullptr, "Extension value %s has the wrong class",
                   value ? value->className() : "nil");
    return *p;
}

}  // namespace

ZAVWireExtensionField::ZAVWireExtensionField(const ZAVWireExtensionDescription* description)
    : description_(description), descriptor_(description) {
    if (description->extendedClass) containingType_ = requireClass(description->extendedClass)->descriptor();
    if (description->messageClass) messageClass_ = requireClass(description->messageClass);
    if (type() == ZAVWireTypeData && description->defaultValue.data) {
        const uint8_t* d = description->defaultValue.data;
        defaultObject_ = ZAVWireData::create(d + 4, bigEndian32(d));
    } else if (type() == ZAVWireTypeString && description->defaultValue.string) {
        defaultObject_ = ZAVWireString::create(description->defaultValue.string);
    }
}

int32_t ZAVWireExtensionField::wireType() const {
    return isPackable() ? ZAVWireWireFormatLengthDelimited : ZAVWireWireTypeForType(type());
}

ZAVWireObjectPtr ZAVWireExtensionField::defaultValue() const {
    if (isRepeated()) return ZAVWireArray::arrayWithValueType(ZAVWireArrayValueTypeObject);
    uint64_t bits = description_->defaultValue.bits;
    switch (type()) {
        case ZAVWireTypeBool:
            return ZAVWireNumber::withBool(bits != 0);
        case ZAVWireTypeFixed32:
        case ZAVWireTypeUInt32:
            return ZAVWireNumber::withUInt32(static_cast<uint32_t>(bits));
        case ZAVWireTypeSFixed32:
        case ZAVWireTypeInt32:
        case ZAVWireTypeSInt32:
        case ZAVWireTypeEnum:
            return ZAVWireNumber::withInt32(static_cast<int32_t>(bits));
        case ZAVWireTypeFloat:
            return ZAVWireNumber::withFloat(std::bit_cast<float>(static_cast<uint32_t>(bits)));
        case ZAVWireTypeFixed64:
        case ZAVWireTypeUInt64:
            return ZAVWireNumber::withUInt64(bits);
        case ZAVWireTypeSFixed64:
        case ZAVWireTypeInt64:
        case ZAVWireTypeSInt64:
            return ZAVWireNumber::withInt64(static_cast<int64_t>(bits));
        case ZAVWireTypeDouble:
            return ZAVWireNumber::withDouble(std::bit_cast<double>(bits));
        case ZAVWireTypeData:
        case ZAVWireTypeString:
            return defaultObject_;
        default:
            ZAVWireRaise(NSInternalInconsistencyException, "-defaultValue called for a message extension");
    }
}

std::string ZAVWireExtensionField::description() const {
    return ZAVWireFormat("<%s %p> FieldNumber:%d ContainingType:%s", className(),
                         static_cast<const void*>(this), static_cast<int32_t>(fieldNumber()),
                         containingType_ ? containingType_->name().c_str() : "(null)");
}

int ZAVWireExtensionField::compareByFieldNumber(const ZAVWireExtensionField& other) const {
    int32_t a = static_cast<int32_t>(fieldNumber()), b = static_cast<int32_t>(other.fieldNumber());
    return a < b ? -1 : a > b ? 1 : 0;
}

// ---- writing

void ZAVWireExtensionField::writeSingle(const ZAVWireObjectPtr& v, ZAVWireCodedOutputStream& o,
                                        bool withTag) const {
    uint32_t n = fieldNumber();
    if (withTag && !ZAVWireTypeIsMessage(type())) o.writeTag(n, ZAVWireWireTypeForType(type()));
    switch (type()) {
        case ZAVWireTypeBool:
            return o.writeBoolNoTag(number(v).boolValue());
        case ZAVWireTypeFixed32:
            return o.writeFixed32NoTag(number(v).unsignedIntValue());
        case ZAVWireTypeSFixed32:
            return o.writeSFixed32NoTag(number(v).intValue());
        case ZAVWireTypeFloat:
            return o.writeFloatNoTag(number(v).floatValue());
        case ZAVWireTypeFixed64:
            return o.writeFixed64NoTag(number(v).unsignedLongLongValue());
        case ZAVWireTypeSFixed64:
            return o.writeSFixed64NoTag(number(v).longLongValue());
        case ZAVWireTypeDouble:
            return o.writeDoubleNoTag(number(v).doubleValue());
        case ZAVWireTypeInt32:
            return o.writeInt32NoTag(number(v).intValue());
        case ZAVWireTypeInt64:
            return o.writeInt64NoTag(number(v).longLongValue());
        case ZAVWireTypeSInt32:
            return o.writeSInt32NoTag(number(v).intValue());
        case ZAVWireTypeSInt64:
            return o.writeSInt64NoTag(number(v).longLongValue());
        case ZAVWireTypeUInt32:
            return o.writeUInt32NoTag(number(v).unsignedIntValue());
        case ZAVWireTypeUInt64:
            return o.writeUInt64NoTag(number(v).unsignedLongLongValue());
        case ZAVWireTypeEnum:
            return o.writeEnumNoTag(number(v).intValue());
        case ZAVWireTypeData:
            return o.writeDataNoTag(as<ZAVWireData>(v));
        case ZAVWireTypeString:
            return o.writeStringNoTag(as<ZAVWireString>(v));
        case ZAVWireTypeMessage:
            if (withTag) return o.writeMessage(n, ZAVWireMessageWriting(as<ZAVWireGeneratedMessage>(v)));
            return o.writeMessageNoTag(ZAVWireMessageWriting(as<ZAVWireGeneratedMessage>(v)));
        case ZAVWireTypeGroup:
            if (withTag) return o.writeGroup(n, ZAVWireMessageWriting(as<ZAVWireGeneratedMessage>(v)));
            return o.writeGroupNoTag(n, ZAVWireMessageWriting(as<ZAVWireGeneratedMessage>(v)));
    }
}

size_t ZAVWireExtensionField::singleSize(const ZAVWireObjectPtr& v, bool withTag) const {
    uint32_t n = fieldNumber();
    size_t tag = withTag ? ZAVWireTagSize(n) : 0;
    switch (type()) {
        case ZAVWireTypeBool:
            return tag + 1;
        case ZAVWireTypeFixed32:
        case ZAVWireTypeSFixed32:
        case ZAVWireTypeFloat:
            return tag + 4;
        case ZAVWireTypeFixed64:
        case ZAVWireTypeSFixed64:
        case ZAVWireTypeDouble:
            return tag + 8;
        case ZAVWireTypeInt32: {
            int32_t x = number(v).intValue();
            return tag + (x < 0 ? 10 : ZAVWireVarint32Size(static_cast<uint32_t>(x)));
        }
        case ZAVWireTypeEnum:
            return tag + ZAVWireVarint32Size(static_cast<uint32_t>(number(v).intValue()));
        case ZAVWireTypeSInt32:
            return tag + ZAVWireVarint32Size(ZAVWireEncodeZigZag32(number(v).intValue()));
        case ZAVWireTypeUInt32:
            return tag + ZAVWireVarint32Size(number(v).unsignedIntValue());
        case ZAVWireTypeInt64:
            return tag + ZAVWireVarint64Size(number(v).longLongValue());
        case ZAVWireTypeSInt64:
            return tag + ZAVWireVarint64Size(
                             static_cast<int64_t>(ZAVWireEncodeZigZag64(number(v).longLongValue())));
        case ZAVWireTypeUInt64:
            return tag + ZAVWireVarint64Size(static_cast<int64_t>(number(v).unsignedLongLongValue()));
        case ZAVWireTypeData: {
            size_t len = as<ZAVWireData>(v).length();
            return tag + ZAVWireVarint32Size(static_cast<uint32_t>(len)) + len;
        }
        case ZAVWireTypeString:
            return tag + ZAVWireStringSizeNoTag(as<ZAVWireString>(v));
        case ZAVWireTypeMessage: {
            size_t size = as<ZAVWireGeneratedMessage>(v).serializedSize();
            return tag + ZAVWireVarint32Size(static_cast<uint32_t>(size)) + size;
        }
        case ZAVWireTypeGroup:
            return 2 * tag + as<ZAVWireGeneratedMessage>(v).serializedSize();
    }
    return 0;
}

void ZAVWireExtensionField::writeValue(const ZAVWireObjectPtr& value,
                                       ZAVWireCodedOutputStream& output) const {
    if (!isRepeated()) {
        writeSingle(value, output, true);
        return;
    }
    const auto& list = as<ZAVWireArray>(value);
    if (!isPackable()) {
        for (size_t i = 0; i < list.count(); ++i) writeSingle(list.objectAtIndex(i), output, true);
        return;
    }
    // A packed extension writes its tag and length even when empty.
    size_t payload = 0;
    for (size_t i = 0; i < list.count(); ++i) payload += singleSize(list.objectAtIndex(i), false);
    output.writeTag(fieldNumber(), ZAVWireWireFormatLengthDelimited);
    output.writeRawVarintSizeTAs32(payload);
    for (size_t i = 0; i < list.count(); ++i) writeSingle(list.objectAtIndex(i), output, false);
}

size_t ZAVWireExtensionField::computeSerializedSizeIncludingTag(const ZAVWireObjectPtr& value) const {
    if (!value) return 0;
    if (!isRepeated()) return singleSize(value, true);
    const auto& list = as<ZAVWireArray>(value);
    size_t total = 0;
    if (isPackable()) {
        for (size_t i = 0; i < list.count(); ++i) total += singleSize(list.objectAtIndex(i), false);
        return ZAVWireTagSize(fieldNumber()) + ZAVWireVarint32Size(static_cast<uint32_t>(total)) + total;
    }
    for (size_t i = 0; i < list.count(); ++i) total += singleSize(list.objectAtIndex(i), true);
    return total;
}

// ---- reading

ZAVWireObjectPtr ZAVWireExtensionField::readSingleValue(ZAVWireCodedInputStream& input,
                                                        const ZAVWireExtensionRegistry* registry,
                                                        const ZAVWireObjectPtr& existingValue) const {
    switch (type()) {
        case ZAVWireTypeBool:
            return ZAVWireNumber::withBool(input.readBool());
        case ZAVWireTypeFixed32:
            return ZAVWireNumber::withUInt32(input.readFixed32());
        case ZAVWireTypeSFixed32:
            return ZAVWireNumber::withInt32(input.readSFixed32());
        case ZAVWireTypeFloat:
            return ZAVWireNumber::withFloat(input.readFloat());
        case ZAVWireTypeFixed64:
            return ZAVWireNumber::withUInt64(input.readFixed64());
        case ZAVWireTypeSFixed64:
            return ZAVWireNumber::withInt64(input.readSFixed64());
        case ZAVWireTypeDouble:
            return ZAVWireNumber::withDouble(input.readDouble());
        case ZAVWireTypeInt32:
            return ZAVWireNumber::withInt32(input.readInt32());
        case ZAVWireTypeInt64:
            return ZAVWireNumber::withInt64(input.readInt64());
        case ZAVWireTypeSInt32:
            return ZAVWireNumber::withInt32(input.readSInt32());
        case ZAVWireTypeSInt64:
            return ZAVWireNumber::withInt64(input.readSInt64());
        case ZAVWireTypeUInt32:
            return ZAVWireNumber::withUInt32(input.readUInt32());
        case ZAVWireTypeUInt64:
            return ZAVWireNumber::withUInt64(input.readUInt64());
        case ZAVWireTypeEnum:
            return ZAVWireNumber::withInt32(input.readEnum());
        case ZAVWireTypeString:
            return input.readString();
        case ZAVWireTypeData: {
            auto data = input.readData();
            if (!data) ZAVWireRaiseParseError();  // nothing to store for a negative length
            return data;
        }
        case ZAVWireTypeMessage:
        case ZAVWireTypeGroup: {
            ZAVWireMessagePtr target = existingValue
                                           ? as<ZAVWireGeneratedMessage>(existingValue).messageCopy()
                                           : messageClass_->create();
            if (type() == ZAVWireTypeGroup) {
                input.readGroup(static_cast<int32_t>(fieldNumber()), *target, registry);
            } else if (mergesWithoutLength()) {
                // No length and so no limit: count the level here, or nesting would go unbounded.
                input.enterNested();
                target->mergeFromCodedInputStream(input, registry);
                input.leaveNested();
            } else {
                input.readMessage(*target, registry);
            }
            return target;
        }
    }
    return nullptr;
}

void ZAVWireExtensionField::mergeFromCodedInputStream(ZAVWireCodedInputStream& input,
                                                      const ZAVWireExtensionRegistry* registry,
                                                      ZAVWireGeneratedMessage& builder) const {
    if (isPackable()) {
        uint64_t old = input.pushLimit(input.readInt32());
        while (input.bytesUntilLimit() != 0)
            builder.addExtension(*this, readSingleValue(input, registry, nullptr));
        input.popLimit(old);
        return;
    }
    ZAVWireObjectPtr existing;
    if (isMessage() && !isRepeated()) existing = builder.getExistingExtension(*this);
    ZAVWireObjectPtr value = readSingleValue(input, registry, existing);
    if (isRepeated()) {
        builder.addExtension(*this, std::move(value));
    } else {
        builder.setExtension(*this, std::move(value));
    }
}

// ---- registry

void ZAVWireExtensionRegistry::addExtension(const ZAVWireExtensionFieldPtr& extension) {
    if (!extension) return;
    classMap_[extension->containingType()][extension->fieldNumber()] = extension;
}

void ZAVWireExtensionRegistry::addExtensions(const ZAVWireExtensionRegistry* other) {
    if (!other || other == this) return;
    for (const auto& [type, inner] : other->classMap_) {
        auto& mine = classMap_[type];
        for (const auto& [number, extension] : inner) mine[number] = extension;
    }
}

const ZAVWireExtensionField* ZAVWireExtensionRegistry::getExtension(const ZAVWireDescriptor* containingType,
                                                                    uint32_t fieldNumber) const {
    const ZAVWireExtensionFieldPtr* found = findExtension(containingType, fieldNumber);
    return found ? found->get() : nullptr;
}

const ZAVWireExtensionFieldPtr* ZAVWireExtensionRegistry::findExtension(
    const ZAVWireDescriptor* containingType, uint32_t fieldNumber) const {
    auto it = classMap_.find(containingType);
    if (it == classMap_.end()) return nullptr;
    auto found = it->second.find(fieldNumber);
    return found == it->second.end() ? nullptr : &found->second;
}

size_t ZAVWireExtensionRegistry::count() const {
    size_t n = 0;
    for (const auto& entry : classMap_) n += entry.second.size();
    return n;
}

// ---- global table

uint32_t ZAVWireExtensionKeyHash(const char* key) {
    uint32_t h = 0;
    for (const char* p = key; *p; ++p) {
        h += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(*p)));
        h += h << 10;
        h ^= h >> 6;
    }
    h += h << 3;
    h ^= h >> 11;
    h += h << 15;
    return h;
}

namespace {

struct KeyHash {
    size_t operator()(const char* k) const { return ZAVWireExtensionKeyHash(k); }
};
struct KeyEqual {
    bool operator()(const char* a, const char* b) const { return std::strcmp(a, b) == 0; }
};

struct GlobalTable {
    std::mutex mutex;
    std::unordered_map<const char*, ZAVWireExtensionFieldPtr, KeyHash, KeyEqual> map;
};

GlobalTable& globalTable() {
    static plat::Lasting<GlobalTable> table;
    return *table;
}

}  // namespace

void ZAVWireGloballyRegisterExtension(const ZAVWireExtensionFieldPtr& extension) {
    auto& t = globalTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.map[extension->extensionDescription()->singletonName] = extension;
}

ZAVWireExtensionFieldPtr ZAVWireGlobalExtensionNamed(const char* singletonName) {
    // The schema's file roots register their extensions when their registry is first made; the first lookup
    // makes them all, so a name resolves whichever root was used first.
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        size_t count = 0;
        const ZAVWireClass* const* classes = ZAVWireSchemaClasses(&count);
        for (size_t i = 0; i < count; ++i) {
            if (classes[i]->extensionRegistry) classes[i]->extensionRegistry();
        }
    });
    auto& t = globalTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.map.find(singletonName);
    return it == t.map.end() ? nullptr : it->second;
}

ZAVWireExtensionFieldPtr ZAVWireFileRootRegistry::makeExtension(
    const ZAVWireExtensionDescription* description) {
    auto extension = std::make_shared<ZAVWireExtensionField>(description);
    ZAVWireGloballyRegisterExtension(extension);
    return extension;
}
