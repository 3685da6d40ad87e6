#include "wire/ZAVWireDescriptor.h"

#include <algorithm>
#include <cstring>

#include "wire/ZAVWireString.h"
#include "wire/schema/ZAVWireDescriptorProtos.h"

namespace {

bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool isLower(char c) {
    return c >= 'a' && c <= 'z';
}
char toUpper(char c) {
    return isLower(c) ? static_cast<char>(c - 'a' + 'A') : c;
}
char toLower(char c) {
    return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

bool endsWith(const std::string& s, const char* suffix) {
    size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

uint32_t bigEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// A varint of the text-name table, read as the input stream reads 32-bit varints.
int32_t readTableVarint(const uint8_t*& p) {
    uint32_t result = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        uint8_t b = *p++;
        result |= static_cast<uint32_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) return static_cast<int32_t>(result);
    }
    for (int i = 0; i < 5; ++i) {
        if (!(*p++ & 0x80)) return static_cast<int32_t>(result);
    }
    ZAVWireRaise(NSParseErrorException, "Unable to read varint32");
}

const ZAVWireEnumDescriptor* requireEnum(const char* name) {
    const ZAVWireEnumDescriptor* d = ZAVWireEnumDescriptor::descriptorForName(name);
    ZAVWIRE_ASSERT(d != nullptr, "Unable to find enum descriptor %s", name ? name : "(null)");
    return d;
}

const ZAVWireClass* requireClass(const char* name) {
    const ZAVWireClass* c = ZAVWireClassNamed(name);
    ZAVWIRE_ASSERT(c != nullptr, "Class %s not defined", name ? name : "(null)");
    return c;
}

template <typename T>
ZAVWireObjectPtr shared(const T* object) {
    return std::const_pointer_cast<ZAVWireSharedObject>(object->shared_from_this());
}

}  // namespace

int32_t ZAVWireWireTypeForType(ZAVWireType type) {
    static constexpr int32_t kWire[] = {0, 5, 5, 5, 1, 1, 1, 0, 0, 0, 0, 0, 0, 2, 2, 2, 3, 0};
    return type <= ZAVWireTypeEnum ? kWire[type] : 0;
}

ZAVWireArrayValueType ZAVWireValueTypeForType(ZAVWireType type) {
    static constexpr ZAVWireArrayValueType kValue[] = {
        ZAVWireArrayValueTypeBool,   ZAVWireArrayValueTypeUInt32, ZAVWireArrayValueTypeInt32,
        ZAVWireArrayValueTypeFloat,  ZAVWireArrayValueTypeUInt64, ZAVWireArrayValueTypeInt64,
        ZAVWireArrayValueTypeDouble, ZAVWireArrayValueTypeInt32,  ZAVWireArrayValueTypeInt64,
        ZAVWireArrayValueTypeInt32,  ZAVWireArrayValueTypeInt64,  ZAVWireArrayValueTypeUInt32,
        ZAVWireArrayValueTypeUInt64, ZAVWireArrayValueTypeObject, ZAVWireArrayValueTypeObject,
        ZAVWireArrayValueTypeObject, ZAVWireArrayValueTypeObject, ZAVWireArrayValueTypeInt32,
    };
    return type <= ZAVWireTypeEnum ? kValue[type] : ZAVWireArrayValueTypeObject;
}

// ---- text names

std::string ZAVWireDecodeTextFormatName(const uint8_t* table, int32_t key, const std::string& name) {
    if (!table) return {};
    const uint8_t* p = table;
    int32_t count = readTableVarint(p);
    for (int32_t i = 0; i < count; ++i) {
        int32_t entryKey = readTableVarint(p);
        const uint8_t* text = p;
        p += std::strlen(reinterpret_cast<const char*>(p)) + 1;
        if (entryKey != key) continue;
        if (text[0] == 0) return std::string(reinterpret_cast<const char*>(text + 1));
        std::string out;
        size_t at = 0;
        for (const uint8_t* op = text; *op; ++op) {
            if (*op & 0x80) out += '_';
            size_t n = *op & 0x1F;
            switch (*op & 0x60) {
                case 0x20:
                    if (n && at < name.size()) out += toLower(name[at++]), --n;
                    break;
                case 0x40:
                    if (n && at < name.size()) out += toUpper(name[at++]), --n;
                    break;
                case 0x60:
                    for (; n && at < name.size(); --n) out += toUpper(name[at++]);
                    break;
                default:
                    break;
            }
            for (; n && at < name.size(); --n) out += name[at++];
        }
        return out;
    }
    return {};
}

// ---- field descriptor

ZAVWireFieldDescriptor::ZAVWireFieldDescriptor(const ZAVWireFieldDescription* description,
                                               const ZAVWireClass* rootClass)
    : description_(description), rootClass_(rootClass), name_(description->name ? description->name : "") {
    std::string capitalised = name_;
    if (!capitalised.empty()) capitalised[0] = toUpper(capitalised[0]);
    getSel_ = name_;
    setSel_ = "set" + capitalised + ":";
    hasSel_ = "has" + capitalised;
    setHasSel_ = "setHas" + capitalised + ":";
    int32_t wire = isPackable() ? 2 : ZAVWireWireTypeForType(type());
    tag_ = (description->number << 3) | static_cast<uint32_t>(wire);

    if (isMessage()) {
        msgClass_ = requireClass(description->typeSpecific.className);
    } else if (!isRepeated()) {
        if (type() == ZAVWireTypeData && description->defaultValue.data) {
            const uint8_t* d = description->defaultValue.data;
            defaultObject_ = ZAVWireData::create(d + 4, bigEndian32(d));
        } else if (type() == ZAVWireTypeString && description->defaultValue.string) {
            defaultObject_ = ZAVWireString::create(description->defaultValue.string);
        }
    }
    if (type() == ZAVWireTypeEnum && (description->flags & ZAVWireFieldHasEnumDescriptor)) {
        enumDescriptor_ = requireEnum(description->typeSpecific.className);
    }
}

uint64_t ZAVWireFieldDescriptor::defaultBits() const {
    if (isRepeated() || ZAVWireTypeIsObject(description_->type)) return 0;
    return description_->defaultValue.bits;
}

ZAVWireObjectPtr ZAVWireFieldDescriptor::defaultObject() const {
    if (isRepeated()) return nullptr;
    if (isMessage())
        ZAVWireRaise(NSInternalInconsistencyException, "-defaultValue called for a message field");
    if (defaultObject_) return defaultObject_;
    if (type() == ZAVWireTypeData) {
        static const std::shared_ptr<ZAVWireData> empty = ZAVWireData::create("");
        return empty;
    }
    if (type() == ZAVWireTypeString) return ZAVWireString::empty();
    return nullptr;
}

const ZAVWireEnumDescriptor* ZAVWireFieldDescriptor::enumDescriptor() const {
    return enumDescriptor_;
}

bool ZAVWireFieldDescriptor::isValidEnumValue(int32_t value) const {
    ZAVWIRE_ASSERT(type() == ZAVWireTypeEnum, "Field Must be of type ZAVWireTypeEnum");
    bool (*verifier)(int32_t) = enumVerifier();
    return verifier ? verifier(value) : true;
}

bool (*ZAVWireFieldDescriptor::enumVerifier() const)(int32_t) {
    return enumDescriptor_ ? enumDescriptor_->enumVerifier() : description_->typeSpecific.enumVerifier;
}

const uint8_t* ZAVWireFieldDescriptor::optionBytes(size_t* length) const {
    *length = 0;
    if (!description_->options) return nullptr;
    *length = bigEndian32(description_->options);
    return *length ? description_->options + 4 : nullptr;
}

std::shared_ptr<ZAVWireFieldOptions> ZAVWireFieldDescriptor::fieldOptions() const {
    // Parsed on first use rather than while the descriptor is built: the root's registry makes extensions,
    // which need descriptors of their own.
    std::call_once(optionsOnce_, [this] {
        size_t length = 0;
        const uint8_t* bytes = optionBytes(&length);
        if (!bytes) return;
        const ZAVWireExtensionRegistry* registry =
            rootClass_ && rootClass_->extensionRegistry ? rootClass_->extensionRegistry() : nullptr;
        auto options = ZAVWireFieldOptions::message();
        ZAVWireCodedInputStream input(bytes, length);
        options->mergeFromCodedInputStream(input, registry);
        input.checkLastTagWas(0);
        fieldOptions_ = options;
    });
    return fieldOptions_;
}

std::string ZAVWireFieldDescriptor::textFormatName() const {
    if (description_->flags & ZAVWireFieldTextFormatNameCustom) {
        return ZAVWireDecodeTextFormatName(textFormatInfo_, static_cast<int32_t>(number()), name_);
    }
    std::string n = name_;
    if (isRepeated() && endsWith(n, "Array")) n.resize(n.size() - 5);
    if (endsWith(n, "_p")) n.resize(n.size() - 2);
    if (type() == ZAVWireTypeGroup) {
        if (!n.empty() && isLower(n[0])) n[0] = toUpper(n[0]);
        return n;
    }
    std::string out;
    for (size_t i = 0; i < n.size(); ++i) {
        if (i > 0 && isUpper(n[i])) {
            out += '_';
            out += toLower(n[i]);
        } else {
            out += n[i];
        }
    }
    return out;
}

// ---- enums

ZAVWireEnumValueDescriptor::ZAVWireEnumValueDescriptor(const ZAVWireEnumValueDescription* d,
                                                       const std::string& prefix)
    : description_(d) {
    if (d->name) name_ = prefix + d->name;
}

std::shared_ptr<ZAVWireEnumDescriptor> ZAVWireEnumDescriptor::allocDescriptorForName(
    const char* name, const ZAVWireEnumValueDescription* values, size_t valueCount,
    bool (*enumVerifier)(int32_t), const uint8_t* extraTextFormatInfo) {
    auto d = std::make_shared<ZAVWireEnumDescriptor>();
    d->name_ = name ? name : "";
    d->values_ = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeObject, valueCount);
    for (size_t i = 0; i < valueCount; ++i) {
        d->values_->addObject(std::make_shared<ZAVWireEnumValueDescriptor>(&values[i], d->name_));
    }
    d->enumVerifier_ = enumVerifier;
    d->extraTextFormatInfo_ = extraTextFormatInfo;
    return d;
}

const ZAVWireEnumDescriptor* ZAVWireEnumDescriptor::descriptorForName(const char* name) {
    if (!name) return nullptr;
    std::string holder = std::string(name) + "EnumDescriptor";
    const ZAVWireClass* c = ZAVWireClassNamed(holder.c_str());
    return c && c->enumDescriptor ? c->enumDescriptor() : nullptr;
}

const ZAVWireEnumDescriptor* ZAVWireGeneratedEnumDescriptor::enumDescriptor() {
    static const auto empty = ZAVWireEnumDescriptor::allocDescriptorForName(nullptr, nullptr, 0, nullptr);
    return empty.get();
}

const ZAVWireEnumValueDescriptor* ZAVWireEnumDescriptor::enumValueWithNumber(int32_t number) const {
    for (size_t i = 0; i < values_->count(); ++i) {
        auto* v = static_cast<const ZAVWireEnumValueDescriptor*>(values_->objectAtIndex(i).get());
        if (v->number() == number) return v;
    }
    return nullptr;
}

const ZAVWireEnumValueDescriptor* ZAVWireEnumDescriptor::enumValueWithName(const std::string& name) const {
    for (size_t i = 0; i < values_->count(); ++i) {
        auto* v = static_cast<const ZAVWireEnumValueDescriptor*>(values_->objectAtIndex(i).get());
        if (v->hasName() && v->name() == name) return v;
    }
    return nullptr;
}

std::string ZAVWireEnumDescriptor::textFormatNameForEnumValue(int32_t number) const {
    for (size_t i = 0; i < values_->count(); ++i) {
        auto* v = static_cast<const ZAVWireEnumValueDescriptor*>(values_->objectAtIndex(i).get());
        if (v->number() != number) continue;
        if (!v->hasName()) return {};
        std::string bare = v->name().substr(std::min(name_.size(), v->name().size()));
        if (extraTextFormatInfo_) {
            std::string named =
                ZAVWireDecodeTextFormatName(extraTextFormatInfo_, static_cast<int32_t>(i), bare);
            if (!named.empty()) return named;
        }
        std::string out;
        for (size_t k = 0; k < bare.size(); ++k) {
            if (k > 0 && isUpper(bare[k])) out += '_';
            out += toUpper(bare[k]);
        }
        return out;
    }
    return {};
}

// ---- extension descriptor

const ZAVWireClass* ZAVWireExtensionDescriptor::msgClass() const {
    return description_->messageClass ? requireClass(description_->messageClass) : nullptr;
}

const ZAVWireEnumDescriptor* ZAVWireExtensionDescriptor::enumDescriptor() const {
    if (type() != ZAVWireTypeEnum) return nullptr;
    return requireEnum(description_->enumName);
}

// ---- message descriptor

namespace {

ZAVWireParseEntry parseEntry(const ZAVWireFieldDescriptor& field) {
    using Entry = ZAVWireParseEntry;
    Entry::Kind kind = Entry::General;
    switch (field.type()) {
        case ZAVWireTypeInt32:
        case ZAVWireTypeUInt32:
            kind = Entry::Varint32;
            break;
        case ZAVWireTypeInt64:
        case ZAVWireTypeUInt64:
            kind = Entry::Varint64;
            break;
        case ZAVWireTypeBool:
            kind = Entry::Bool;
            break;
        case ZAVWireTypeEnum:
            kind = Entry::Enum;
            break;
        case ZAVWireTypeString:
            kind = Entry::String;
            break;
        case ZAVWireTypeMessage:
            kind = Entry::Message;
            break;
        default:
            break;
    }
    if (field.isRepeated() && field.isPackable()) kind = Entry::General;
    Entry entry{&field,
                field.msgClass(),
                static_cast<uint32_t>(field.offset()),
                field.hasIndex(),
                kind,
                field.isRepeated(),
                field.valueType(),
                field.type() == ZAVWireTypeEnum ? field.enumVerifier() : nullptr};
    if (entry.enumVerifier) {
        for (int32_t v = 0; v < 64; ++v)
            if (entry.enumVerifier(v)) entry.knownEnumValues |= uint64_t{1} << v;
    }
    return entry;
}

}  // namespace

const ZAVWireDescriptor* ZAVWireParseEntry::loadMessageDescriptor() const {
    // Every thread that finds it missing stores the same pointer.
    const ZAVWireDescriptor* d = msgClass->descriptor();
    std::atomic_ref<const ZAVWireDescriptor*>(msgDescriptor).store(d, std::memory_order_release);
    return d;
}

std::shared_ptr<ZAVWireDescriptor> ZAVWireDescriptor::allocDescriptorForClass(
    const ZAVWireClass* messageClass, const ZAVWireClass* rootClass, const ZAVWireFieldDescription* fields,
    size_t fieldCount, const char* const* enums, size_t enumCount,
    const ZAVWireExtensionRangeDescription* ranges, size_t rangeCount, size_t storageSize, bool wireFormat,
    const uint8_t* extraTextFormatInfo) {
    auto d = std::make_shared<ZAVWireDescriptor>();
    d->messageClass_ = messageClass;
    d->rootClass_ = rootClass;
    d->storageSize_ = storageSize;
    d->wireFormat_ = wireFormat;
    if (fieldCount) {
        d->fieldsArray_ = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeObject, fieldCount);
        for (size_t i = 0; i < fieldCount; ++i) {
            auto field = std::make_shared<ZAVWireFieldDescriptor>(&fields[i], rootClass);
            if (fields[i].flags & ZAVWireFieldTextFormatNameCustom)
                field->textFormatInfo_ = extraTextFormatInfo;
            d->fields_.push_back(field.get());
            d->fieldTags_.push_back(field->tag());
            d->maxFieldTag_ = std::max(d->maxFieldTag_, field->tag());
            if (field->tag() < 128 && d->shortTagIndex_[field->tag()] < 0)
                d->shortTagIndex_[field->tag()] = static_cast<int16_t>(i);
            if (field->isRepeated() || ZAVWireTypeIsObject(field->type())) {
                d->objectFields_.push_back(field.get());
                auto kind = field->isRepeated()  ? ZAVWireObjectSlot::Array
                            : field->isMessage() ? ZAVWireObjectSlot::Message
                                                 : ZAVWireObjectSlot::Other;
                d->objectSlots_.push_back({static_cast<uint32_t>(field->offset()), kind});
            }
            d->parseEntries_.push_back(parseEntry(*field));
            d->fieldsArray_->addObject(std::move(field));
        }
    }
    if (enumCount) {
        d->enumsArray_ = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeObject, enumCount);
        for (size_t i = 0; i < enumCount; ++i) d->enumsArray_->addObject(shared(requireEnum(enums[i])));
    }
    if (rangeCount) {
        d->rangesArray_ = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeObject, rangeCount);
        for (size_t i = 0; i < rangeCount; ++i) {
            auto range = std::make_shared<ZAVWireExtensionRange>(&ranges[i]);
            d->ranges_.push_back(range.get());
            d->rangesArray_->addObject(std::move(range));
        }
    }
    for (size_t tag = 0; tag < 128; ++tag) {
        if (d->shortTagIndex_[tag] >= 0) d->shortTagEntries_[tag] = &d->parseEntries_[d->shortTagIndex_[tag]];
    }
    return d;
}

const ZAVWireFieldDescriptor* ZAVWireDescriptor::fieldWithNumber(uint32_t number) const {
    for (auto* f : fields_) {
        if (f->number() == number) return f;
    }
    return nullptr;
}

const ZAVWireFieldDescriptor* ZAVWireDescriptor::fieldWithName(const std::string& name) const {
    for (auto* f : fields_) {
        if (f->name() == name) return f;
    }
    return nullptr;
}

const ZAVWireEnumDescriptor* ZAVWireDescriptor::enumWithName(const std::string& name) const {
    if (!enumsArray_) return nullptr;
    for (size_t i = 0; i < enumsArray_->count(); ++i) {
        auto* e = static_cast<const ZAVWireEnumDescriptor*>(enumsArray_->objectAtIndex(i).get());
        if (e->name() == name) return e;
    }
    return nullptr;
}

std::string ZAVWireDescriptor::description() const {
    return name();
}
