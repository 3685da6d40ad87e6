#pragma once
// Descriptors turn the static field tables of the message classes into objects the generic message code,
// the accessors and the text format consult. They are built once per type, never change, and point at the
// static records without copying them.
#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "wire/ZAVWireArray.h"
#include "wire/ZAVWireClass.h"

enum ZAVWireType : uint32_t {
    ZAVWireTypeBool = 0,
    ZAVWireTypeFixed32 = 1,
    ZAVWireTypeSFixed32 = 2,
    ZAVWireTypeFloat = 3,
    ZAVWireTypeFixed64 = 4,
    ZAVWireTypeSFixed64 = 5,
    ZAVWireTypeDouble = 6,
    ZAVWireTypeInt32 = 7,
    ZAVWireTypeInt64 = 8,
    ZAVWireTypeSInt32 = 9,
    ZAVWireTypeSInt64 = 10,
    ZAVWireTypeUInt32 = 11,
    ZAVWireTypeUInt64 = 12,
    ZAVWireTypeData = 13,
    ZAVWireTypeString = 14,
    ZAVWireTypeMessage = 15,
    ZAVWireTypeGroup = 16,
    ZAVWireTypeEnum = 17,
};

enum ZAVWireFieldFlags : uint32_t {
    ZAVWireFieldNone = 0,
    ZAVWireFieldRequired = 0x2,
    ZAVWireFieldRepeated = 0x4,
    ZAVWireFieldPacked = 0x8,
    ZAVWireFieldOptional = 0x10,
    ZAVWireFieldHasDefaultValue = 0x100000,
    ZAVWireFieldTextFormatNameCustom = 0x200000,
    ZAVWireFieldHasEnumDescriptor = 0x400000,
};

// The wire type a field of the type carries unpacked, and the array value type of its repeated values.
int32_t ZAVWireWireTypeForType(ZAVWireType type);
ZAVWireArrayValueType ZAVWireValueTypeForType(ZAVWireType type);
constexpr bool ZAVWireTypeIsObject(uint32_t type) {
    return type >= ZAVWireTypeData && type <= ZAVWireTypeGroup;
}
constexpr bool ZAVWireTypeIsMessage(uint32_t type) {
    return type == ZAVWireTypeMessage || type == ZAVWireTypeGroup;
}
constexpr size_t ZAVWireSlotSize(uint32_t type, uint32_t flags) {
    if ((flags & ZAVWireFieldRepeated) || ZAVWireTypeIsObject(type)) return sizeof(std::shared_ptr<int>);
    switch (type) {
        case ZAVWireTypeBool:
            return 1;
        case ZAVWireTypeFixed64:
        case ZAVWireTypeSFixed64:
        case ZAVWireTypeDouble:
        case ZAVWireTypeInt64:
        case ZAVWireTypeSInt64:
        case ZAVWireTypeUInt64:
            return 8;
        default:
            return 4;
    }
}

// The default slot: raw bits for scalars, a C string for String, a length-prefixed block for Data.
union ZAVWireDefaultValue {
    uint64_t bits;
    const char* string;
    const uint8_t* data;
};

union ZAVWireTypeSpecific {
    const char* className;  // Message, Group; or the enum name with ZAVWireFieldHasEnumDescriptor
    bool (*enumVerifier)(int32_t);
};

struct ZAVWireFieldDescription {
    const char* name;
    uint32_t number;
    int32_t hasIndex;
    uint32_t flags;
    uint32_t type;
    size_t offset;
    const uint8_t* options;  // big-endian 32-bit count, then a serialised field-options message
    ZAVWireDefaultValue defaultValue;
    ZAVWireTypeSpecific typeSpecific;
};

struct ZAVWireEnumValueDescription {
    const char* name;
    int32_t number;
};

struct ZAVWireExtensionRangeDescription {
    uint32_t start;
    uint32_t end;
};

// One extension's static record.
struct ZAVWireExtensionDescription {
    const char* singletonName;
    uint32_t type;
    const char* extendedClass;
    uint32_t fieldNumber;
    ZAVWireDefaultValue defaultValue;
    const char* messageClass;
    uint32_t options;  // 0x4 repeated, 0x8 packed, 0x10 merged without a length prefix
    const char* enumName;
};

// ---- building records at compile time

constexpr ZAVWireDefaultValue ZAVWireDefaultBits(uint64_t bits) {
    return ZAVWireDefaultValue{.bits = bits};
}
constexpr ZAVWireDefaultValue ZAVWireDefaultInt(int64_t v) {
    return ZAVWireDefaultBits(static_cast<uint64_t>(v));
}
constexpr ZAVWireDefaultValue ZAVWireDefaultInt32(int32_t v) {
    return ZAVWireDefaultBits(static_cast<uint32_t>(v));
}
constexpr ZAVWireDefaultValue ZAVWireDefaultFloat(float v) {
    return ZAVWireDefaultBits(std::bit_cast<uint32_t>(v));
}
constexpr ZAVWireDefaultValue ZAVWireDefaultDouble(double v) {
    return ZAVWireDefaultBits(std::bit_cast<uint64_t>(v));
}
constexpr ZAVWireDefaultValue ZAVWireDefaultString(const char* s) {
    return ZAVWireDefaultValue{.string = s};
}
constexpr ZAVWireDefaultValue ZAVWireDefaultData(const uint8_t* d) {
    return ZAVWireDefaultValue{.data = d};
}

// A field record; hasIndex and offset are filled in by ZAVWireLayout.
constexpr ZAVWireFieldDescription ZAVWireFieldRecord(const char* name, uint32_t number, uint32_t flags,
                                                     ZAVWireType type,
                                                     ZAVWireDefaultValue defaultValue = ZAVWireDefaultBits(0),
                                                     const char* typeName = nullptr,
                                                     const uint8_t* options = nullptr) {
    return ZAVWireFieldDescription{name,
                                   number,
                                   -1,
                                   flags,
                                   static_cast<uint32_t>(type),
                                   0,
                                   options,
                                   defaultValue,
                                   ZAVWireTypeSpecific{.className = typeName}};
}

// An enum field checked by a validation function instead of an enum descriptor.
constexpr ZAVWireFieldDescription ZAVWireEnumFieldRecord(const char* name, uint32_t number, uint32_t flags,
                                                         ZAVWireDefaultValue defaultValue,
                                                         bool (*verifier)(int32_t)) {
    return ZAVWireFieldDescription{name,
                                   number,
                                   -1,
                                   flags,
                                   static_cast<uint32_t>(ZAVWireTypeEnum),
                                   0,
                                   nullptr,
                                   defaultValue,
                                   ZAVWireTypeSpecific{.enumVerifier = verifier}};
}

// Has-bit words first (one bit per field, in table order), then the slots, widest first so none needs
// padding.
template <size_t N>
constexpr std::array<ZAVWireFieldDescription, N> ZAVWireLayout(
    std::array<ZAVWireFieldDescription, N> fields) {
    size_t offset = ((N + 31) / 32) * 4;
    offset = (offset + 7) / 8 * 8;
    for (size_t width : {size_t{16}, size_t{8}, size_t{4}, size_t{1}}) {
        for (size_t i = 0; i < N; ++i) {
            if (ZAVWireSlotSize(fields[i].type, fields[i].flags) != width) continue;
            fields[i].offset = offset;
            offset += width;
        }
    }
    for (size_t i = 0; i < N; ++i) fields[i].hasIndex = static_cast<int32_t>(i);
    return fields;
}

template <size_t N>
constexpr size_t ZAVWireStorageSize(const std::array<ZAVWireFieldDescription, N>& fields) {
    if (N == 0) return 0;
    size_t end = 0;
    for (const auto& f : fields) {
        size_t e = f.offset + ZAVWireSlotSize(f.type, f.flags);
        if (e > end) end = e;
    }
    return (end + 7) / 8 * 8;
}

// Object slots (every repeated field and every object type) are laid out first, side by side after the
// has-bit words: a message makes and unmakes them as one run whose place is known at compile time.
template <size_t N>
constexpr size_t ZAVWireObjectSlotStart(const std::array<ZAVWireFieldDescription, N>&) {
    return (((N + 31) / 32) * 4 + 7) / 8 * 8;
}

template <size_t N>
constexpr size_t ZAVWireObjectSlotCount(const std::array<ZAVWireFieldDescription, N>& fields) {
    size_t count = 0;
    for (const auto& f : fields) count += ZAVWireSlotSize(f.type, f.flags) == sizeof(std::shared_ptr<int>);
    return count;
}

// Whether the table was laid out by ZAVWireLayout: its object slots form that one run.
template <size_t N>
constexpr bool ZAVWireObjectSlotsAreOneRun(const std::array<ZAVWireFieldDescription, N>& fields) {
    const size_t start = ZAVWireObjectSlotStart(fields);
    const size_t end = start + ZAVWireObjectSlotCount(fields) * sizeof(std::shared_ptr<int>);
    for (const auto& f : fields) {
        if (ZAVWireSlotSize(f.type, f.flags) != sizeof(std::shared_ptr<int>)) continue;
        if (f.offset < start || f.offset >= end || (f.offset - start) % sizeof(std::shared_ptr<int>))
            return false;
    }
    return true;
}

// ---- descriptor objects

class ZAVWireEnumDescriptor;
class ZAVWireFieldOptions;
class ZAVWireGeneratedMessage;

class ZAVWireFieldDescriptor final : public ZAVWireSharedObject {
  public:
    // rootClass supplies the registry the options are parsed with.
    ZAVWireFieldDescriptor(const ZAVWireFieldDescription* description, const ZAVWireClass* rootClass);

    const char* className() const override { return "ZAVWireFieldDescriptor"; }
    const ZAVWireFieldDescription* fieldDescription() const { return description_; }
    const std::string& name() const { return name_; }
    uint32_t number() const { return description_->number; }
    int32_t hasIndex() const { return description_->hasIndex; }
    ZAVWireType type() const { return static_cast<ZAVWireType>(description_->type); }
    size_t offset() const { return description_->offset; }
    uint32_t tag() const { return tag_; }
    bool isRequired() const { return description_->flags & ZAVWireFieldRequired; }
    bool isOptional() const { return description_->flags & ZAVWireFieldOptional; }
    bool isRepeated() const { return description_->flags & ZAVWireFieldRepeated; }
    bool isPackable() const { return description_->flags & ZAVWireFieldPacked; }
    bool isMessage() const { return ZAVWireTypeIsMessage(description_->type); }
    bool hasDefaultValue() const { return description_->flags & ZAVWireFieldHasDefaultValue; }
    ZAVWireArrayValueType valueType() const { return ZAVWireValueTypeForType(type()); }

    // The raw default slot of a scalar field (0 for a repeated one).
    uint64_t defaultBits() const;
    // The default object of a String or Data field (null for a repeated one); raises for Message and Group.
    ZAVWireObjectPtr defaultObject() const;

    const ZAVWireEnumDescriptor* enumDescriptor() const;
    bool isValidEnumValue(int32_t value) const;
    // What isValidEnumValue asks (null: every value is valid).
    bool (*enumVerifier() const)(int32_t);
    // The name the text format prints; empty when a custom name has no table entry.
    std::string textFormatName() const;
    const std::string& getSel() const { return getSel_; }
    const std::string& setSel() const { return setSel_; }
    const std::string& hasSel() const { return hasSel_; }
    const std::string& setHasSel() const { return setHasSel_; }
    // The field's options parsed (on first use) from the record's option bytes with the root's registry;
    // null when the record has none.
    std::shared_ptr<ZAVWireFieldOptions> fieldOptions() const;
    // The option bytes, without their length prefix (empty when none).
    const uint8_t* optionBytes(size_t* length) const;
    const ZAVWireClass* msgClass() const { return msgClass_; }

  private:
    friend class ZAVWireDescriptor;
    const ZAVWireFieldDescription* description_;
    const ZAVWireClass* rootClass_;
    std::string name_, getSel_, setSel_, hasSel_, setHasSel_;
    uint32_t tag_ = 0;
    ZAVWireObjectPtr defaultObject_;
    const ZAVWireClass* msgClass_ = nullptr;
    const ZAVWireEnumDescriptor* enumDescriptor_ = nullptr;
    const uint8_t* textFormatInfo_ = nullptr;
    mutable std::once_flag optionsOnce_;
    mutable std::shared_ptr<ZAVWireFieldOptions> fieldOptions_;
};

class ZAVWireExtensionRange final : public ZAVWireSharedObject {
  public:
    explicit ZAVWireExtensionRange(const ZAVWireExtensionRangeDescription* d) : description_(d) {}
    const char* className() const override { return "ZAVWireExtensionRange"; }
    uint32_t start() const { return description_->start; }
    uint32_t end() const { return description_->end; }

  private:
    const ZAVWireExtensionRangeDescription* description_;
};

class ZAVWireEnumValueDescriptor final : public ZAVWireSharedObject {
  public:
    ZAVWireEnumValueDescriptor(const ZAVWireEnumValueDescription* d, const std::string& prefix);
    const char* className() const override { return "ZAVWireEnumValueDescriptor"; }
    // The enum's name followed by the value's name; empty when the record has none.
    const std::string& name() const { return name_; }
    bool hasName() const { return description_->name != nullptr; }
    int32_t number() const { return description_->number; }

  private:
    const ZAVWireEnumValueDescription* description_;
    std::string name_;
};

class ZAVWireEnumDescriptor final : public ZAVWireSharedObject {
  public:
    static std::shared_ptr<ZAVWireEnumDescriptor> allocDescriptorForName(
        const char* name, const ZAVWireEnumValueDescription* values, size_t valueCount,
        bool (*enumVerifier)(int32_t), const uint8_t* extraTextFormatInfo = nullptr);
    // Through the holder class "<name>EnumDescriptor"; null when there is none.
    static const ZAVWireEnumDescriptor* descriptorForName(const char* name);

    const char* className() const override { return "ZAVWireEnumDescriptor"; }
    const std::string& name() const { return name_; }
    const ZAVWireMutableArrayPtr& values() const { return values_; }
    bool (*enumVerifier() const)(int32_t) { return enumVerifier_; }
    const ZAVWireEnumValueDescriptor* enumValueWithNumber(int32_t number) const;
    const ZAVWireEnumValueDescriptor* enumValueWithName(const std::string& name) const;
    // "TypeDouble" → "TYPE_DOUBLE", or the table's name; empty when the number has no named value.
    std::string textFormatNameForEnumValue(int32_t number) const;

  private:
    std::string name_;
    ZAVWireMutableArrayPtr values_;
    bool (*enumVerifier_)(int32_t) = nullptr;
    const uint8_t* extraTextFormatInfo_ = nullptr;
};

// Base of the holder classes, one per enum; its own descriptor is nameless and empty.
class ZAVWireGeneratedEnumDescriptor {
  public:
    static const ZAVWireEnumDescriptor* enumDescriptor();
};

class ZAVWireExtensionDescriptor final : public ZAVWireSharedObject {
  public:
    explicit ZAVWireExtensionDescriptor(const ZAVWireExtensionDescription* d) : description_(d) {}
    const char* className() const override { return "ZAVWireExtensionDescriptor"; }
    std::string singletonName() const { return description_->singletonName; }
    const char* singletonNameC() const { return description_->singletonName; }
    uint32_t fieldNumber() const { return description_->fieldNumber; }
    ZAVWireType type() const { return static_cast<ZAVWireType>(description_->type); }
    bool isRepeated() const { return description_->options & 0x4; }
    bool isPackable() const { return description_->options & 0x8; }
    bool isMessage() const { return ZAVWireTypeIsMessage(description_->type); }
    const ZAVWireClass* msgClass() const;
    const ZAVWireEnumDescriptor* enumDescriptor() const;

  private:
    const ZAVWireExtensionDescription* description_;
};

// What the parse loop needs of one field, side by side in table order: how it reads (a kind per common
// field type; the rest, and packed runs, go through the general routine), where it stores, and its class.
struct ZAVWireParseEntry {
    enum Kind : uint8_t { General, Varint32, Varint64, Bool, Enum, String, Message };
    const ZAVWireFieldDescriptor* field;
    const ZAVWireClass* msgClass;
    uint32_t offset;
    int32_t hasIndex;
    Kind kind;
    bool repeated;
    ZAVWireArrayValueType valueType;  // of the list a repeated field makes
    bool (*enumVerifier)(int32_t);    // of an enum field; null: every value is known
    // Of an enum field with a verifier: bit v set when the value v (0 to 63) is known, so that the usual
    // values are checked without a call.
    uint64_t knownEnumValues = 0;
    // The message class's descriptor, taken on first use (a descriptor cannot ask for those of the
    // messages it holds while it is built: a message type may hold itself).
    mutable const ZAVWireDescriptor* msgDescriptor = nullptr;

    bool isKnownEnumValue(int32_t v) const {
        if (!enumVerifier) return true;
        if (static_cast<uint32_t>(v) < 64) return (knownEnumValues >> v) & 1;
        return enumVerifier(v);
    }
    const ZAVWireDescriptor* messageDescriptor() const {
        const ZAVWireDescriptor* d =
            std::atomic_ref<const ZAVWireDescriptor*>(msgDescriptor).load(std::memory_order_acquire);
        return d ? d : loadMessageDescriptor();
    }
    const ZAVWireDescriptor* loadMessageDescriptor() const;
};

// An object slot of a message, as releasing it needs to know it: where it is and what it may hold.
struct ZAVWireObjectSlot {
    enum Kind : uint8_t { Array, Message, Other };
    uint32_t offset;
    Kind kind;
};

class ZAVWireDescriptor final : public ZAVWireSharedObject {
  public:
    static std::shared_ptr<ZAVWireDescriptor> allocDescriptorForClass(
        const ZAVWireClass* messageClass, const ZAVWireClass* rootClass,
        const ZAVWireFieldDescription* fields, size_t fieldCount, const char* const* enums, size_t enumCount,
        const ZAVWireExtensionRangeDescription* ranges, size_t rangeCount, size_t storageSize,
        bool wireFormat, const uint8_t* extraTextFormatInfo = nullptr);

    const char* className() const override { return "ZAVWireDescriptor"; }
    std::string name() const { return messageClass_ ? messageClass_->name : ""; }
    const ZAVWireClass* messageClass() const { return messageClass_; }
    const ZAVWireClass* rootClass() const { return rootClass_; }
    // Null when the type has no fields (enums, ranges).
    const ZAVWireMutableArrayPtr& fields() const { return fieldsArray_; }
    const ZAVWireMutableArrayPtr& enums() const { return enumsArray_; }
    const ZAVWireMutableArrayPtr& extensionRanges() const { return rangesArray_; }
    // Always null: descriptors are built without extensions.
    ZAVWireMutableArrayPtr extensions() const { return nullptr; }
    size_t storageSize() const { return storageSize_; }
    bool isWireFormat() const { return wireFormat_; }

    size_t fieldCount() const { return fields_.size(); }
    const ZAVWireFieldDescriptor* fieldAt(size_t index) const { return fields_[index]; }
    const std::vector<const ZAVWireFieldDescriptor*>& fieldList() const { return fields_; }
    // Each field's tag, in table order, side by side for the parse loop's matching.
    const std::vector<uint32_t>& fieldTags() const { return fieldTags_; }
    // The table index of the field a one-byte tag (below 128) names, or -1.
    int16_t fieldIndexForShortTag(uint32_t tag) const { return shortTagIndex_[tag]; }
    const std::vector<ZAVWireParseEntry>& parseEntries() const { return parseEntries_; }
    // The parse entry of the field a one-byte tag (below 128) names, or null.
    const ZAVWireParseEntry* parseEntryForShortTag(uint32_t tag) const { return shortTagEntries_[tag]; }
    // The largest field tag: a tag above it (an extension, mostly) names no field.
    uint32_t maxFieldTag() const { return maxFieldTag_; }
    // The table index of the field a tag read from the wire names, or fieldCount(). Each tag names at most
    // one field: a one-byte tag is looked up directly, a longer one matched against the field read last
    // (`last`) and then the side-by-side tags. A tag that reads as negative falls outside as unsigned.
    size_t fieldIndexForTag(int32_t tag, size_t last) const {
        const size_t n = fieldTags_.size();
        const auto wireTag = static_cast<uint32_t>(tag);
        if (wireTag < 128) {
            int16_t index = shortTagIndex_[wireTag];
            return index >= 0 ? static_cast<size_t>(index) : n;
        }
        if (last < n && fieldTags_[last] == wireTag) return last;
        if (wireTag > maxFieldTag_) return n;
        for (size_t i = 0; i < n; ++i)
            if (fieldTags_[i] == wireTag) return i;
        return n;
    }
    const std::vector<const ZAVWireExtensionRange*>& rangeList() const { return ranges_; }
    // The fields whose slot holds an object reference (object types and every repeated field), in table
    // order.
    const std::vector<const ZAVWireFieldDescriptor*>& objectFieldList() const { return objectFields_; }
    // The same as slots, side by side.
    const std::vector<ZAVWireObjectSlot>& objectSlots() const { return objectSlots_; }

    const ZAVWireFieldDescriptor* fieldWithNumber(uint32_t number) const;
    const ZAVWireFieldDescriptor* fieldWithName(const std::string& name) const;
    const ZAVWireEnumDescriptor* enumWithName(const std::string& name) const;
    const ZAVWireRootObject* extensionWithNumber(uint32_t) const { return nullptr; }
    const ZAVWireRootObject* extensionWithName(const std::string&) const { return nullptr; }
    std::string description() const override;

  private:
    const ZAVWireClass* messageClass_ = nullptr;
    const ZAVWireClass* rootClass_ = nullptr;
    ZAVWireMutableArrayPtr fieldsArray_, enumsArray_, rangesArray_;
    std::vector<const ZAVWireFieldDescriptor*> fields_;
    std::vector<const ZAVWireFieldDescriptor*> objectFields_;
    std::vector<ZAVWireObjectSlot> objectSlots_;
    std::vector<ZAVWireParseEntry> parseEntries_;
    std::vector<uint32_t> fieldTags_;
    std::array<int16_t, 128> shortTagIndex_ = [] {
        std::array<int16_t, 128> none;
        none.fill(-1);
        return none;
    }();
    std::array<const ZAVWireParseEntry*, 128> shortTagEntries_{};
    std::vector<const ZAVWireExtensionRange*> ranges_;
    size_t storageSize_ = 0;
    uint32_t maxFieldTag_ = 0;
    bool wireFormat_ = false;
};

// Decodes one entry of an encoded text-name table against a name; empty when the table has no such key.
std::string ZAVWireDecodeTextFormatName(const uint8_t* table, int32_t key, const std::string& name);
