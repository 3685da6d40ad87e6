#include "wire/ZAVWireGeneratedMessage.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>

#include "platform/base/Assert.h"

namespace {

template <typename T>
T fromBits(uint64_t bits) {
    if constexpr (std::is_same_v<T, bool>) {
        return bits != 0;
    } else if constexpr (std::is_same_v<T, float>) {
        return std::bit_cast<float>(static_cast<uint32_t>(bits));
    } else if constexpr (std::is_same_v<T, double>) {
        return std::bit_cast<double>(bits);
    } else {
        return static_cast<T>(bits);
    }
}

bool hasObjectSlot(const ZAVWireFieldDescriptor& f) {
    return f.isRepeated() || ZAVWireTypeIsObject(f.type());
}

std::shared_ptr<ZAVWireGeneratedMessage> asMessage(const ZAVWireObjectPtr& o) {
    return std::dynamic_pointer_cast<ZAVWireGeneratedMessage>(o);
}

}  // namespace

// ---- the base class's own record

const ZAVWireClass& ZAVWireGeneratedMessage::wireClass() {
    static const ZAVWireClass record{
        .name = "ZAVWireGeneratedMessage",
        .descriptor = [] { return ZAVWireGeneratedMessage::descriptor(); },
        .create = []() -> ZAVWireMessagePtr { return std::make_shared<ZAVWireGeneratedMessage>(); },
    };
    return record;
}

const ZAVWireDescriptor* ZAVWireGeneratedMessage::descriptor() {
    static const auto d = ZAVWireDescriptor::allocDescriptorForClass(&wireClass(), nullptr, nullptr, 0,
                                                                     nullptr, 0, nullptr, 0, 0, false);
    return d.get();
}

ZAVWireMessagePtr ZAVWireGeneratedMessage::message() {
    return std::make_shared<ZAVWireGeneratedMessage>();
}

// ---- storage

void ZAVWireGeneratedMessage::attachStorage(uint8_t* storage) {
    messageStorage_ = storage;
    for (auto* f : wireDescriptor()->objectFieldList()) new (storage + f->offset()) ZAVWireObjectPtr();
}

void ZAVWireGeneratedMessage::detachStorage() {
    if (!messageStorage_) return;
    internalClear();
    for (auto* f : wireDescriptor()->objectFieldList()) objectSlot(*f).~ZAVWireObjectPtr();
    messageStorage_ = nullptr;
}

ZAVWireGeneratedMessage::~ZAVWireGeneratedMessage() {
    // Derived classes have already let go of their storage; what is left is the base's own state.
    internalClear();
    PLAT_ASSERT(autocreator_ == nullptr, "Autocreator was not cleared before dealloc.");
}

uint8_t* ZAVWireGeneratedMessage::slot(const ZAVWireFieldDescriptor& field) const {
    ZAVWIRE_ASSERT(messageStorage_ != nullptr, "NULL typeptr");
    return messageStorage_ + field.offset();
}

ZAVWireObjectPtr& ZAVWireGeneratedMessage::objectSlot(const ZAVWireFieldDescriptor& field) const {
    return *std::launder(reinterpret_cast<ZAVWireObjectPtr*>(slot(field)));
}

bool ZAVWireGeneratedMessage::hasField(const ZAVWireFieldDescriptor& field) const {
    if (!messageStorage_) return false;
    int32_t index = field.hasIndex();
    uint32_t word;
    std::memcpy(&word, messageStorage_ + (index / 32) * 4, 4);
    return (word >> (index % 32)) & 1;
}

void ZAVWireGeneratedMessage::setHasBit(const ZAVWireFieldDescriptor& field, bool value) {
    if (!messageStorage_) return;
    int32_t index = field.hasIndex();
    uint8_t* p = messageStorage_ + (index / 32) * 4;
    uint32_t word;
    std::memcpy(&word, p, 4);
    uint32_t bit = 1u << (index % 32);
    word = value ? (word | bit) : (word & ~bit);
    std::memcpy(p, &word, 4);
}

// ---- typed fields

template <typename T>
T ZAVWireGeneratedMessage::getScalar(const ZAVWireFieldDescriptor& field) const {
    if (hasField(field)) {
        T value;
        std::memcpy(&value, slot(field), sizeof(T));
        return value;
    }
    return fromBits<T>(field.defaultBits());
}

template <typename T>
void ZAVWireGeneratedMessage::setScalar(const ZAVWireFieldDescriptor& field, T value) {
    std::memcpy(slot(field), &value, sizeof(T));
    setHasBit(field, true);
    becomeVisibleToAutocreator();
}

template <typename T>
void ZAVWireGeneratedMessage::clearScalar(const ZAVWireFieldDescriptor& field) {
    uint64_t bits = field.defaultBits();  // little-endian: the low bytes are the value at every width
    std::memcpy(slot(field), &bits, sizeof(T));
    setHasBit(field, false);
}

#define ZAV_INSTANTIATE(T)                                                                 \
    template T ZAVWireGeneratedMessage::getScalar<T>(const ZAVWireFieldDescriptor&) const; \
    template void ZAVWireGeneratedMessage::setScalar<T>(const ZAVWireFieldDescriptor&, T); \
    template void ZAVWireGeneratedMessage::clearScalar<T>(const ZAVWireFieldDescriptor&);
ZAV_INSTANTIATE(bool)
ZAV_INSTANTIATE(int32_t)
ZAV_INSTANTIATE(uint32_t)
ZAV_INSTANTIATE(int64_t)
ZAV_INSTANTIATE(uint64_t)
ZAV_INSTANTIATE(float)
ZAV_INSTANTIATE(double)
#undef ZAV_INSTANTIATE

ZAVWireMessagePtr ZAVWireGeneratedMessage::newMessageWithAutocreator(const ZAVWireClass* cls,
                                                                     ZAVWireGeneratedMessage* parent,
                                                                     const ZAVWireFieldDescriptor* field,
                                                                     ZAVWireExtensionFieldPtr extension) {
    auto m = cls->create();
    m->autocreator_ = parent;
    m->autocreatorField_ = field;
    m->autocreatorExtension_ = std::move(extension);
    return m;
}

ZAVWireObjectPtr ZAVWireGeneratedMessage::getObjectNoAutocreate(const ZAVWireFieldDescriptor& field) const {
    if (!messageStorage_) return nullptr;
    return objectSlot(field);
}

const ZAVWireArray* ZAVWireGeneratedMessage::existingArray(const ZAVWireFieldDescriptor& field) const {
    if (!messageStorage_) return nullptr;
    std::lock_guard<std::mutex> lock(readOnlyMutex_);
    return static_cast<const ZAVWireArray*>(objectSlot(field).get());
}

ZAVWireObjectPtr ZAVWireGeneratedMessage::getObject(const ZAVWireFieldDescriptor& field) const {
    if (hasField(field)) return objectSlot(field);
    if (field.isMessage() && !field.isRepeated()) {
        std::lock_guard<std::mutex> lock(readOnlyMutex_);
        ZAVWireObjectPtr& s = objectSlot(field);
        if (s) return s;
        auto sub = newMessageWithAutocreator(field.msgClass(), const_cast<ZAVWireGeneratedMessage*>(this),
                                             &field, nullptr);
        setAutocreatedRetainedObject(field, sub);
        return sub;
    }
    if (field.isRepeated()) return getArray(field);
    return field.defaultObject();
}

ZAVWireMutableArrayPtr ZAVWireGeneratedMessage::getArray(const ZAVWireFieldDescriptor& field) const {
    std::lock_guard<std::mutex> lock(readOnlyMutex_);
    ZAVWireObjectPtr& s = objectSlot(field);
    if (!s) {
        auto array = ZAVWireMutableArray::arrayWithValueType(field.valueType());
        array->setDelegate(const_cast<ZAVWireGeneratedMessage*>(this));
        setAutocreatedRetainedObject(field, array);
    }
    return std::static_pointer_cast<ZAVWireMutableArray>(s);
}

void ZAVWireGeneratedMessage::setAutocreatedRetainedObject(const ZAVWireFieldDescriptor& field,
                                                           ZAVWireObjectPtr value) const {
    ZAVWireObjectPtr& s = objectSlot(field);
    ZAVWIRE_ASSERT(!s, "Can't set autocreated object more than once.");
    s = std::move(value);
}

void ZAVWireGeneratedMessage::setRetainedObject(const ZAVWireFieldDescriptor& field, ZAVWireObjectPtr value) {
    ZAVWireObjectPtr& s = objectSlot(field);
    setHasBit(field, value != nullptr);
    ZAVWireObjectPtr old = std::move(s);
    s = std::move(value);
    if (old) {
        if (field.isRepeated()) {
            auto* array = static_cast<ZAVWireMutableArray*>(old.get());
            if (array->delegate() == this) array->setDelegate(nullptr);
        } else if (field.isMessage()) {
            auto* sub = static_cast<ZAVWireGeneratedMessage*>(old.get());
            if (sub->wasAutocreatedBy(this)) sub->clearAutocreator();
        }
    }
    old.reset();
    becomeVisibleToAutocreator();
}

void ZAVWireGeneratedMessage::setArray(const ZAVWireFieldDescriptor& field, const ZAVWireArrayPtr& value) {
    if (!value) {
        setRetainedObject(field, nullptr);
        return;
    }
    if (value->valueType() != field.valueType()) {
        ZAVWireRaise(NSInvalidArgumentException,
                     ZAVWireFormat("Trying to set array %s to non mutable array", field.setSel().c_str()));
    }
    if (std::dynamic_pointer_cast<ZAVWireMutableArray>(value)) {
        setRetainedObject(field, value);
    } else {
        setRetainedObject(field, value->mutableCopy());
    }
}

void ZAVWireGeneratedMessage::setHas(const ZAVWireFieldDescriptor& field, bool value) {
    if (value) ZAVWireRaise(NSInvalidArgumentException, "has fields can only be set to NO");
    if (hasObjectSlot(field)) {
        clearObjectField(field);
        return;
    }
    switch (field.type()) {
        case ZAVWireTypeBool:
            clearScalar<bool>(field);
            break;
        case ZAVWireTypeFixed64:
        case ZAVWireTypeSFixed64:
        case ZAVWireTypeDouble:
        case ZAVWireTypeInt64:
        case ZAVWireTypeSInt64:
        case ZAVWireTypeUInt64:
            clearScalar<uint64_t>(field);
            break;
        default:
            clearScalar<uint32_t>(field);
            break;
    }
}

void ZAVWireGeneratedMessage::clearObjectField(const ZAVWireFieldDescriptor& field) {
    ZAVWireObjectPtr& s = objectSlot(field);
    if (field.isRepeated()) {
        if (s) {
            auto* array = static_cast<ZAVWireMutableArray*>(s.get());
            if (array->delegate() == this) array->setDelegate(nullptr);
        }
    } else if (field.isMessage() && s && !hasField(field)) {
        // Made on read by this message: the field is already unset.
        if (static_cast<ZAVWireGeneratedMessage*>(s.get())->wasAutocreatedBy(this)) return;
    }
    ZAVWireObjectPtr old = std::move(s);
    s.reset();
    setHasBit(field, false);
    if (old && field.isMessage() && !field.isRepeated()) {
        auto* sub = static_cast<ZAVWireGeneratedMessage*>(old.get());
        if (sub->wasAutocreatedBy(this)) sub->clearAutocreator();
    }
}

void ZAVWireGeneratedMessage::becomeVisibleToAutocreator() {
    ZAVWireGeneratedMessage* parent = autocreator_;
    if (!parent) return;
    auto self = std::static_pointer_cast<ZAVWireGeneratedMessage>(shared_from_this());
    if (autocreatorField_) {
        parent->setRetainedObject(*autocreatorField_, self);
    } else if (autocreatorExtension_) {
        ZAVWireExtensionFieldPtr extension = autocreatorExtension_;
        parent->setExtension(*extension, self);
    }
}

void ZAVWireGeneratedMessage::clearAutocreator() {
    if (!autocreator_) return;
    autocreator_ = nullptr;
    autocreatorField_ = nullptr;
    autocreatorExtension_.reset();
}

void ZAVWireGeneratedMessage::pbMutableArrayWillAddElements(ZAVWireMutableArray* array, uint64_t) {
    for (auto* f : wireDescriptor()->fieldList()) {
        if (!f->isRepeated() || objectSlot(*f).get() != array) continue;
        array->setDelegate(nullptr);
        setHasBit(*f, true);
        becomeVisibleToAutocreator();
        return;
    }
    ZAVWireRaise(NSInternalInconsistencyException, "Unknown array in delegate method.");
}

// ---- clearing, initialisation, copies

void ZAVWireGeneratedMessage::internalClear() {
    if (messageStorage_) {
        for (auto* f : wireDescriptor()->objectFieldList()) {
            ZAVWireObjectPtr& s = objectSlot(*f);
            if (!s) continue;
            if (f->isRepeated()) {
                auto* array = static_cast<ZAVWireMutableArray*>(s.get());
                if (array->delegate() == this) array->setDelegate(nullptr);
            } else if (f->isMessage()) {
                auto* sub = static_cast<ZAVWireGeneratedMessage*>(s.get());
                if (sub->wasAutocreatedBy(this)) sub->clearAutocreator();
            }
            s.reset();
        }
    }
    if (autocreatedExtensionMap_) {
        auto map = std::move(autocreatedExtensionMap_);
        for (auto& [extension, value] : *map) {
            auto* sub = static_cast<ZAVWireGeneratedMessage*>(value.get());
            ZAVWIRE_ASSERT(sub->wasAutocreatedBy(this), "Autocreated extension does not refer back to self.");
            sub->clearAutocreator();
        }
    }
    extensionMap_.reset();
    unknownFields_.reset();
}

void ZAVWireGeneratedMessage::clear() {
    internalClear();
    if (!messageStorage_) return;
    const auto& fields = wireDescriptor()->fieldList();
    std::memset(messageStorage_, 0, ((fields.size() + 31) / 32) * 4);
    for (auto* f : fields) {
        if (!hasObjectSlot(*f)) std::memset(slot(*f), 0, ZAVWireSlotSize(f->type(), 0));
    }
}

bool ZAVWireGeneratedMessage::isInitialized() const {
    for (auto* f : wireDescriptor()->fieldList()) {
        bool has = hasField(*f);
        if (f->isRequired() && !has) return false;
        if (!f->isMessage()) continue;
        if (f->isRepeated()) {
            auto array = getArray(*f);
            for (size_t i = 0; i < array->count(); ++i) {
                if (!isInitialized(array->objectAtIndex(i))) return false;
            }
        } else if (has) {
            if (!isInitialized(objectSlot(*f))) return false;
        }
    }
    if (extensionMap_) {
        for (auto& [extension, value] : *extensionMap_) {
            if (!isInitialized(value)) return false;
        }
    }
    return true;
}

bool ZAVWireGeneratedMessage::isInitialized(const ZAVWireObjectPtr& object) {
    if (auto m = dynamic_cast<const ZAVWireGeneratedMessage*>(object.get())) return m->isInitialized();
    if (auto a = dynamic_cast<const ZAVWireArray*>(object.get())) {
        if (a->valueType() != ZAVWireArrayValueTypeObject) return true;
        for (size_t i = 0; i < a->count(); ++i) {
            if (!isInitialized(a->objectAtIndex(i))) return false;
        }
    }
    return true;
}

ZAVWireObjectPtr ZAVWireGeneratedMessage::mutableCopy() const {
    auto copy = newInstance();
    if (messageStorage_) {
        const auto& fields = wireDescriptor()->fieldList();
        std::memcpy(copy->messageStorage_, messageStorage_, ((fields.size() + 31) / 32) * 4);
        for (auto* f : fields) {
            if (!hasObjectSlot(*f)) {
                std::memcpy(copy->slot(*f), slot(*f), ZAVWireSlotSize(f->type(), 0));
                continue;
            }
            if (!hasField(*f)) continue;
            if (f->isRepeated()) {
                copy->setRetainedObject(*f, objectSlot(*f)->mutableCopy());
            } else {
                copy->objectSlot(*f) = objectSlot(*f);
            }
        }
    }
    if (unknownFields_)
        copy->unknownFields_ = std::static_pointer_cast<ZAVWireUnknownFieldSet>(unknownFields_->copy());
    if (extensionMap_) copy->extensionMap_ = copiedExtensionMap(*extensionMap_, false);
    return copy;
}

// Repeated extension values are lists that addExtension and parsing append to, so each message gets its own;
// singular sub-messages are copied when `copyMessages` asks for it, as a merge of fields copies them.
std::unique_ptr<ZAVWireGeneratedMessage::ExtensionMap> ZAVWireGeneratedMessage::copiedExtensionMap(
    const ExtensionMap& source, bool copyMessages) {
    auto map = std::make_unique<ExtensionMap>(source);
    for (auto& [extension, value] : *map) {
        if (extension->isRepeated() || (copyMessages && asMessage(value))) value = value->mutableCopy();
    }
    return map;
}

// ---- unknown fields

void ZAVWireGeneratedMessage::setUnknownFields(const ZAVWireUnknownFieldSet* fields) {
    if (fields == unknownFields_.get()) return;
    unknownFields_ = fields ? std::static_pointer_cast<ZAVWireUnknownFieldSet>(fields->copy()) : nullptr;
    becomeVisibleToAutocreator();
}

ZAVWireUnknownFieldSet& ZAVWireGeneratedMessage::mutableUnknownFields() {
    if (!unknownFields_) {
        unknownFields_ = std::make_shared<ZAVWireUnknownFieldSet>();
        becomeVisibleToAutocreator();
    }
    return *unknownFields_;
}

void ZAVWireGeneratedMessage::mergeUnknownFields(const ZAVWireUnknownFieldSet* fields) {
    if (!unknownFields_) {
        setUnknownFields(fields);
    } else {
        unknownFields_->mergeUnknownFields(fields);
    }
    becomeVisibleToAutocreator();
}

// ---- key-value access

ZAVWireObjectPtr ZAVWireGeneratedMessage::valueForKey(const std::string& key) const {
    for (auto* f : wireDescriptor()->fieldList()) {
        if (f->hasSel() == key) return ZAVWireNumber::withBool(hasField(*f));
        if (f->getSel() != key) continue;
        if (f->isRepeated()) return getArray(*f);
        switch (f->type()) {
            case ZAVWireTypeBool:
                return ZAVWireNumber::withBool(getScalar<bool>(*f));
            case ZAVWireTypeFixed32:
            case ZAVWireTypeUInt32:
                return ZAVWireNumber::withUInt32(getScalar<uint32_t>(*f));
            case ZAVWireTypeSFixed32:
            case ZAVWireTypeInt32:
            case ZAVWireTypeSInt32:
            case ZAVWireTypeEnum:
                return ZAVWireNumber::withInt32(getScalar<int32_t>(*f));
            case ZAVWireTypeFloat:
                return ZAVWireNumber::withFloat(getScalar<float>(*f));
            case ZAVWireTypeFixed64:
            case ZAVWireTypeUInt64:
                return ZAVWireNumber::withUInt64(getScalar<uint64_t>(*f));
            case ZAVWireTypeSFixed64:
            case ZAVWireTypeInt64:
            case ZAVWireTypeSInt64:
                return ZAVWireNumber::withInt64(getScalar<int64_t>(*f));
            case ZAVWireTypeDouble:
                return ZAVWireNumber::withDouble(getScalar<double>(*f));
            default:
                return getObject(*f);
        }
    }
    return ZAVWireRootObject::valueForKey(key);
}

void ZAVWireGeneratedMessage::setValueForKey(const ZAVWireObjectPtr& value, const std::string& key) {
    const ZAVWireFieldDescriptor* field = nullptr;
    for (auto* f : wireDescriptor()->fieldList()) {
        if (f->getSel() == key) field = f;
    }
    if (!field) {
        ZAVWireRootObject::setValueForKey(value, key);
        return;
    }
    const ZAVWireFieldDescriptor& f = *field;
    if (f.isRepeated()) {
        auto array = std::dynamic_pointer_cast<ZAVWireArray>(value);
        if (value && !array) {
            ZAVWireRaise(NSInvalidArgumentException,
                         ZAVWireFormat("Trying to set array %s to non mutable array", f.setSel().c_str()));
        }
        setArray(f, array);
        return;
    }
    if (ZAVWireTypeIsObject(f.type())) {
        bool fits = !value || (f.isMessage() ? value->className() == std::string(f.msgClass()->name)
                                             : (f.type() == ZAVWireTypeString
                                                    ? dynamic_cast<ZAVWireString*>(value.get()) != nullptr
                                                    : dynamic_cast<ZAVWireData*>(value.get()) != nullptr));
        if (!fits) {
            ZAVWireRaise(NSInvalidArgumentException,
                         ZAVWireFormat("Value of class %s does not fit %s", value->className(), key.c_str()));
        }
        setObject(f, value);
        return;
    }
    auto* n = dynamic_cast<const ZAVWireNumber*>(value.get());
    if (!n) {
        ZAVWireRaise(NSInvalidArgumentException, ZAVWireFormat("NSNumber expected for %s", key.c_str()));
    }
    switch (f.type()) {
        case ZAVWireTypeBool:
            setScalar<bool>(f, n->boolValue());
            break;
        case ZAVWireTypeFixed32:
        case ZAVWireTypeUInt32:
            setScalar<uint32_t>(f, n->unsignedIntValue());
            break;
        case ZAVWireTypeFloat:
            setScalar<float>(f, n->floatValue());
            break;
        case ZAVWireTypeFixed64:
        case ZAVWireTypeUInt64:
            setScalar<uint64_t>(f, n->unsignedLongLongValue());
            break;
        case ZAVWireTypeSFixed64:
        case ZAVWireTypeInt64:
        case ZAVWireTypeSInt64:
            setScalar<int64_t>(f, n->longLongValue());
            break;
        case ZAVWireTypeDouble:
            setScalar<double>(f, n->doubleValue());
            break;
        default:
            setScalar<int32_t>(f, n->intValue());
            break;
    }
}

// ---- parsing

void ZAVWireGeneratedMessage::mergeFromData(std::shared_ptr<const ZAVWireData> data,
                                            const ZAVWireExtensionRegistry* registry) {
    ZAVWireCodedInputStream input(std::move(data));
    mergeFromCodedInputStream(input, registry);
    input.checkLastTagWas(0);
}

void ZAVWireGeneratedMessage::mergeDelimitedFromCodedInputStream(ZAVWireCodedInputStream& input,
                                                                 const ZAVWireExtensionRegistry* registry) {
    if (input.isAtEnd()) return;
    if (auto data = input.readData()) mergeFromData(data, registry);
}

void ZAVWireGeneratedMessage::mergeFromCodedInputStream(ZAVWireCodedInputStream& input,
                                                        const ZAVWireExtensionRegistry* registry) {
    const auto& fields = wireDescriptor()->fieldList();
    const size_t n = fields.size();
    size_t p = 0;
    while (true) {
        int32_t tag = input.readTag();
        bool matched = false;
        for (size_t tries = 0; tries < n; ++tries) {
            if (p >= n) p = 0;
            const ZAVWireFieldDescriptor& field = *fields[p];
            if (static_cast<int32_t>(field.tag()) == tag) {
                mergeFieldFromStream(field, input, registry);
                matched = true;
                break;
            }
            ++p;
        }
        if (matched) continue;
        if (tag == 0) return;
        if (!parseUnknownField(input, registry, tag)) return;
    }
}

template <typename T, typename Read>
void ZAVWireGeneratedMessage::mergeScalar(const ZAVWireFieldDescriptor& field, ZAVWireCodedInputStream& input,
                                          Read read) {
    if (!field.isRepeated()) {
        setScalar<T>(field, read());
        return;
    }
    auto array = getArray(field);
    auto add = [&](T v) { array->appendValues(&v, field.valueType(), 1); };
    if (field.isPackable()) {
        uint64_t old = input.pushLimit(input.readInt32());
        while (input.bytesUntilLimit() != 0) add(read());
        input.popLimit(old);
    } else {
        add(read());
    }
}

void ZAVWireGeneratedMessage::mergeEnum(const ZAVWireFieldDescriptor& field, ZAVWireCodedInputStream& input) {
    auto take = [&](int32_t v) {
        if (!field.isValidEnumValue(v)) {
            // Kept as an unknown varint so the number survives a write.
            mutableUnknownFields().mergeVarintField(static_cast<int32_t>(field.number()), v);
        } else if (field.isRepeated()) {
            getArray(field)->addInt32(v);
        } else {
            setScalar<int32_t>(field, v);
        }
    };
    if (field.isRepeated() && field.isPackable()) {
        uint64_t old = input.pushLimit(input.readInt32());
        while (input.bytesUntilLimit() != 0) take(input.readEnum());
        input.popLimit(old);
    } else {
        take(input.readEnum());
    }
}

void ZAVWireGeneratedMessage::mergeFieldFromStream(const ZAVWireFieldDescriptor& field,
                                                   ZAVWireCodedInputStream& input,
                                                   const ZAVWireExtensionRegistry* registry) {
    switch (field.type()) {
        case ZAVWireTypeBool:
            return mergeScalar<bool>(field, input, [&] { return input.readBool(); });
        case ZAVWireTypeFixed32:
            return mergeScalar<uint32_t>(field, input, [&] { return input.readFixed32(); });
        case ZAVWireTypeSFixed32:
            return mergeScalar<int32_t>(field, input, [&] { return input.readSFixed32(); });
        case ZAVWireTypeFloat:
            return mergeScalar<float>(field, input, [&] { return input.readFloat(); });
        case ZAVWireTypeFixed64:
            return mergeScalar<uint64_t>(field, input, [&] { return input.readFixed64(); });
        case ZAVWireTypeSFixed64:
            return mergeScalar<int64_t>(field, input, [&] { return input.readSFixed64(); });
        case ZAVWireTypeDouble:
            return mergeScalar<double>(field, input, [&] { return input.readDouble(); });
        case ZAVWireTypeInt32:
            return mergeScalar<int32_t>(field, input, [&] { return input.readInt32(); });
        case ZAVWireTypeInt64:
            return mergeScalar<int64_t>(field, input, [&] { return input.readInt64(); });
        case ZAVWireTypeSInt32:
            return mergeScalar<int32_t>(field, input, [&] { return input.readSInt32(); });
        case ZAVWireTypeSInt64:
            return mergeScalar<int64_t>(field, input, [&] { return input.readSInt64(); });
        case ZAVWireTypeUInt32:
            return mergeScalar<uint32_t>(field, input, [&] { return input.readUInt32(); });
        case ZAVWireTypeUInt64:
            return mergeScalar<uint64_t>(field, input, [&] { return input.readUInt64(); });
        case ZAVWireTypeEnum:
            return mergeEnum(field, input);
        case ZAVWireTypeData:
        case ZAVWireTypeString: {
            ZAVWireObjectPtr value;
            if (field.type() == ZAVWireTypeString) {
                value = ZAVWireCodedInputStreamReadRetainedString(&input);
            } else {
                value = ZAVWireCodedInputStreamReadRetainedData(&input);
                // A negative length leaves nothing to store; a hole in the field would corrupt the message.
                if (!value) ZAVWireRaiseParseError();
            }
            if (field.isRepeated()) {
                getArray(field)->addObject(std::move(value));
            } else {
                setRetainedObject(field, std::move(value));
            }
            return;
        }
        case ZAVWireTypeMessage:
        case ZAVWireTypeGroup: {
            auto read = [&](ZAVWireGeneratedMessage& target) {
                if (field.type() == ZAVWireTypeGroup) {
                    input.readGroup(static_cast<int32_t>(field.number()), target, registry);
                } else {
                    input.readMessage(target, registry);
                }
            };
            if (field.isRepeated()) {
                auto sub = field.msgClass()->create();
                read(*sub);
                getArray(field)->addObject(std::move(sub));
                return;
            }
            if (hasField(field)) {
                ZAVWireObjectPtr& s = objectSlot(field);
                if (s.use_count() == 1) {
                    // Nobody else holds the current sub-message: merging into it gives the same result as
                    // merging into a fresh copy, without copying it for every occurrence.
                    read(*static_cast<ZAVWireGeneratedMessage*>(s.get()));
                    becomeVisibleToAutocreator();
                    return;
                }
            }
            auto sub = field.msgClass()->create();
            if (hasField(field))
                sub->mergeFrom(*static_cast<ZAVWireGeneratedMessage*>(objectSlot(field).get()));
            read(*sub);
            setRetainedObject(field, std::move(sub));
            return;
        }
    }
}

bool ZAVWireGeneratedMessage::parseUnknownField(ZAVWireCodedInputStream& input,
                                                const ZAVWireExtensionRegistry* registry, int32_t tag) {
    const ZAVWireDescriptor* descriptor = wireDescriptor();
    uint32_t number = static_cast<uint32_t>(tag) >> 3;
    const ZAVWireExtensionField* extension = registry ? registry->getExtension(descriptor, number) : nullptr;
    if (extension && extension->wireType() == (tag & 7)) {
        extension->mergeFromCodedInputStream(input, registry, *this);
        return true;
    }
    if (!extension && descriptor->isWireFormat() && tag == 11) {
        parseMessageSet(input, registry);
        return true;
    }
    if (!ZAVWireUnknownFieldSet::isFieldTag(tag)) return false;
    return mutableUnknownFields().mergeFieldFrom(tag, input);
}

void ZAVWireGeneratedMessage::parseMessageSet(ZAVWireCodedInputStream& input,
                                              const ZAVWireExtensionRegistry* registry) {
    std::shared_ptr<ZAVWireData> bytes;
    uint32_t typeId = 0;
    const ZAVWireExtensionField* extension = nullptr;
    while (true) {
        int32_t tag = input.readTag();
        if (tag == 0) break;
        if (tag == 26) {
            bytes = input.readData();
            if (!bytes) ZAVWireRaiseParseError();
        } else if (tag == 16) {
            typeId = input.readUInt32();
            if (typeId != 0 && registry) extension = registry->getExtension(wireDescriptor(), typeId);
        } else if (!input.skipField(tag)) {
            break;
        }
    }
    input.checkLastTagWas(12);
    if (!bytes || typeId == 0) return;
    if (extension) {
        // The item is read through a stream of its own, which carries on the outer depth: items nested in
        // items (each counted where its value is read) stop at the same limit as any other nesting.
        ZAVWireCodedInputStream item(bytes);
        item.setRecursionDepth(input.recursionDepth());
        extension->mergeFromCodedInputStream(item, registry, *this);
    } else {
        mutableUnknownFields().mergeMessageSetMessage(static_cast<int32_t>(typeId), bytes);
    }
}

// ---- merging

void ZAVWireGeneratedMessage::mergeFrom(const ZAVWireGeneratedMessage& other) {
    if (!isa()->isSubclassOf(other.isa()) && !other.isa()->isSubclassOf(isa())) {
        ZAVWireRaise(NSInvalidArgumentException,
                     ZAVWireFormat("Classes must match %s != %s", isa()->name, other.isa()->name));
    }
    if (&other == this) {
        // Merging into itself would double every repeated field as it reads it; do it through a copy.
        auto copy = messageCopy();
        mergeFrom(*copy);
        return;
    }
    for (auto* f : wireDescriptor()->fieldList()) {
        if (f->isRepeated()) {
            auto theirs = other.getArray(*f);
            if (theirs->count()) getArray(*f)->appendArray(theirs.get());
            continue;
        }
        if (!other.hasField(*f)) continue;
        switch (f->type()) {
            case ZAVWireTypeBool:
                setScalar<bool>(*f, other.getScalar<bool>(*f));
                break;
            case ZAVWireTypeFixed64:
            case ZAVWireTypeSFixed64:
            case ZAVWireTypeDouble:
            case ZAVWireTypeInt64:
            case ZAVWireTypeSInt64:
            case ZAVWireTypeUInt64:
                setScalar<uint64_t>(*f, other.getScalar<uint64_t>(*f));
                break;
            case ZAVWireTypeData:
            case ZAVWireTypeString:
                setRetainedObject(*f, other.objectSlot(*f));
                break;
            case ZAVWireTypeMessage:
            case ZAVWireTypeGroup: {
                auto& theirs = static_cast<const ZAVWireGeneratedMessage&>(*other.objectSlot(*f));
                ZAVWireMessagePtr merged;
                if (hasField(*f)) {
                    merged = static_cast<ZAVWireGeneratedMessage&>(*objectSlot(*f)).messageCopy();
                    merged->mergeFrom(theirs);
                } else {
                    merged = theirs.messageCopy();
                }
                setRetainedObject(*f, merged);
                break;
            }
            default:
                setScalar<uint32_t>(*f, other.getScalar<uint32_t>(*f));
                break;
        }
    }
    mergeUnknownFields(other.unknownFields_.get());
    if (!other.extensionMap_ || other.extensionMap_->empty()) return;
    if (!extensionMap_) {
        extensionMap_ = copiedExtensionMap(*other.extensionMap_, true);
        becomeVisibleToAutocreator();
        return;
    }
    for (auto& [extension, value] : *other.extensionMap_) {
        ZAVWireObjectPtr& mine = (*extensionMap_)[extension];
        if (extension->isRepeated()) {
            auto theirs = std::static_pointer_cast<ZAVWireArray>(value);
            if (mine) {
                std::static_pointer_cast<ZAVWireMutableArray>(mine)->appendArray(theirs.get());
            } else {
                mine = theirs->mutableCopy();
            }
        } else if (auto current = asMessage(mine)) {
            auto merged = current->messageCopy();
            merged->mergeFrom(static_cast<const ZAVWireGeneratedMessage&>(*value));
            mine = merged;
        } else {
            mine = asMessage(value) ? value->mutableCopy() : value;
        }
    }
    becomeVisibleToAutocreator();
}

// ---- extensions

void ZAVWireGeneratedMessage::checkExtension(const ZAVWireExtensionField& extension) const {
    if (extension.containingType() != wireDescriptor()) {
        ZAVWireRaise(
            NSInvalidArgumentException,
            ZAVWireFormat("Extension %s used on wrong class (%s instead of %s)",
                          extension.singletonName().c_str(), wireDescriptor()->name().c_str(),
                          extension.containingType() ? extension.containingType()->name().c_str() : ""));
    }
}

ZAVWireExtensionFieldPtr ZAVWireGeneratedMessage::sharedExtension(
    const ZAVWireExtensionField& extension) const {
    return std::static_pointer_cast<const ZAVWireExtensionField>(extension.shared_from_this());
}

ZAVWireObjectPtr ZAVWireGeneratedMessage::getExtension(const ZAVWireExtensionField& extension) const {
    checkExtension(extension);
    auto key = sharedExtension(extension);
    if (extensionMap_) {
        auto it = extensionMap_->find(key);
        if (it != extensionMap_->end()) return it->second;
    }
    if (extension.isMessage() && !extension.isRepeated()) {
        std::lock_guard<std::mutex> lock(readOnlyMutex_);
        if (!autocreatedExtensionMap_) autocreatedExtensionMap_ = std::make_unique<ExtensionMap>();
        ZAVWireObjectPtr& sub = (*autocreatedExtensionMap_)[key];
        if (!sub) {
            sub = newMessageWithAutocreator(extension.messageOrGroupClass(),
                                            const_cast<ZAVWireGeneratedMessage*>(this), nullptr, key);
        }
        return sub;
    }
    return extension.defaultValue();
}

ZAVWireObjectPtr ZAVWireGeneratedMessage::getExistingExtension(const ZAVWireExtensionField& extension) const {
    checkExtension(extension);
    if (!extensionMap_) return nullptr;
    auto it = extensionMap_->find(sharedExtension(extension));
    return it == extensionMap_->end() ? nullptr : it->second;
}

bool ZAVWireGeneratedMessage::hasExtension(const ZAVWireExtensionField& extension) const {
    return getExistingExtension(extension) != nullptr;
}

void ZAVWireGeneratedMessage::setExtension(const ZAVWireExtensionField& extension, ZAVWireObjectPtr value) {
    if (!value) {
        clearExtension(extension);
        return;
    }
    checkExtension(extension);
    if (extension.isRepeated()) {
        ZAVWireRaise(NSInvalidArgumentException, "Must call addExtension() for repeated types.");
    }
    auto key = sharedExtension(extension);
    if (!extensionMap_) extensionMap_ = std::make_unique<ExtensionMap>();
    (*extensionMap_)[key] = value;
    if (extension.isMessage() && autocreatedExtensionMap_) {
        auto it = autocreatedExtensionMap_->find(key);
        if (it != autocreatedExtensionMap_->end()) {
            auto sub = std::static_pointer_cast<ZAVWireGeneratedMessage>(it->second);
            autocreatedExtensionMap_->erase(it);
            sub->clearAutocreator();
        }
    }
    becomeVisibleToAutocreator();
}

void ZAVWireGeneratedMessage::addExtension(const ZAVWireExtensionField& extension, ZAVWireObjectPtr value) {
    checkExtension(extension);
    if (!extension.isRepeated()) {
        ZAVWireRaise(NSInvalidArgumentException, "Must call setExtension() for singular types.");
    }
    if (!extensionMap_) extensionMap_ = std::make_unique<ExtensionMap>();
    ZAVWireObjectPtr& list = (*extensionMap_)[sharedExtension(extension)];
    if (!list) list = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeObject);
    std::static_pointer_cast<ZAVWireMutableArray>(list)->addObject(std::move(value));
    becomeVisibleToAutocreator();
}

void ZAVWireGeneratedMessage::setExtension(const ZAVWireExtensionField& extension, size_t index,
                                           ZAVWireObjectPtr value) {
    checkExtension(extension);
    if (!extension.isRepeated()) {
        ZAVWireRaise(NSInvalidArgumentException, "Must call setExtension() for singular types.");
    }
    if (auto list = std::static_pointer_cast<ZAVWireMutableArray>(getExistingExtension(extension))) {
        list->replaceObjectAtIndex(index, std::move(value));
    }
    becomeVisibleToAutocreator();
}

void ZAVWireGeneratedMessage::clearExtension(const ZAVWireExtensionField& extension) {
    checkExtension(extension);
    if (!extensionMap_ || !extensionMap_->erase(sharedExtension(extension))) return;
    becomeVisibleToAutocreator();
}

std::vector<ZAVWireExtensionFieldPtr> ZAVWireGeneratedMessage::extensionsCurrentlySet() const {
    std::vector<ZAVWireExtensionFieldPtr> out;
    if (extensionMap_) {
        for (auto& entry : *extensionMap_) out.push_back(entry.first);
    }
    return out;
}

std::vector<ZAVWireExtensionFieldPtr> ZAVWireGeneratedMessage::sortedExtensionsInUse() const {
    auto out = extensionsCurrentlySet();
    std::sort(out.begin(), out.end(),
              [](const auto& a, const auto& b) { return a->compareByFieldNumber(*b) < 0; });
    return out;
}

// ---- output

void ZAVWireGeneratedMessage::writeToCodedOutputStream(ZAVWireCodedOutputStream& output) const {
    const ZAVWireDescriptor* d = wireDescriptor();
    const auto& fields = d->fieldList();
    const auto& ranges = d->rangeList();
    size_t i = 0, j = 0;
    while (i < fields.size() || j < ranges.size()) {
        if (j < ranges.size() && (i >= fields.size() || fields[i]->number() >= ranges[j]->start())) {
            writeExtensionsToCodedOutputStream(output, *ranges[j++]);
        } else {
            writeField(*fields[i++], output);
        }
    }
    if (unknownFields_) {
        if (d->isWireFormat()) {
            unknownFields_->writeAsMessageSetTo(output);
        } else {
            unknownFields_->writeToCodedOutputStream(output);
        }
    }
}

void ZAVWireGeneratedMessage::writeExtensionsToCodedOutputStream(ZAVWireCodedOutputStream& output,
                                                                 const ZAVWireExtensionRange& range) const {
    if (!extensionMap_) return;
    for (const auto& extension : sortedExtensionsInUse()) {
        uint32_t number = extension->fieldNumber();
        if (number < range.start() || number >= range.end()) continue;
        extension->writeValue(extensionMap_->at(extension), output);
    }
}

void ZAVWireGeneratedMessage::writeField(const ZAVWireFieldDescriptor& f, ZAVWireCodedOutputStream& o) const {
    uint32_t n = f.number();
    if (f.isRepeated()) {
        const ZAVWireArray* array = existingArray(f);
        if (!array) return;
        const ZAVWireArray& a = *array;
        uint32_t packed = f.isPackable() ? f.tag() : 0;
        switch (f.type()) {
            case ZAVWireTypeBool:
                return o.writeBools(n, a, packed);
            case ZAVWireTypeFixed32:
                return o.writeFixed32s(n, a, packed);
            case ZAVWireTypeSFixed32:
                return o.writeSFixed32s(n, a, packed);
            case ZAVWireTypeFloat:
                return o.writeFloats(n, a, packed);
            case ZAVWireTypeFixed64:
                return o.writeFixed64s(n, a, packed);
            case ZAVWireTypeSFixed64:
                return o.writeSFixed64s(n, a, packed);
            case ZAVWireTypeDouble:
                return o.writeDoubles(n, a, packed);
            case ZAVWireTypeInt32:
                return o.writeInt32s(n, a, packed);
            case ZAVWireTypeInt64:
                return o.writeInt64s(n, a, packed);
            case ZAVWireTypeSInt32:
                return o.writeSInt32s(n, a, packed);
            case ZAVWireTypeSInt64:
                return o.writeSInt64s(n, a, packed);
            case ZAVWireTypeUInt32:
                return o.writeUInt32s(n, a, packed);
            case ZAVWireTypeUInt64:
                return o.writeUInt64s(n, a, packed);
            case ZAVWireTypeEnum:
                return o.writeEnums(n, a, packed);
            case ZAVWireTypeData:
                return o.writeDatas(n, a);
            case ZAVWireTypeString:
                return o.writeStrings(n, a);
            case ZAVWireTypeMessage:
                return o.writeMessages(n, a);
            case ZAVWireTypeGroup:
                return o.writeGroups(n, a);
        }
        return;
    }
    if (!hasField(f)) return;
    switch (f.type()) {
        case ZAVWireTypeBool:
            return o.writeBool(n, getScalar<bool>(f));
        case ZAVWireTypeFixed32:
            return o.writeFixed32(n, getScalar<uint32_t>(f));
        case ZAVWireTypeSFixed32:
            return o.writeSFixed32(n, getScalar<int32_t>(f));
        case ZAVWireTypeFloat:
            return o.writeFloat(n, getScalar<float>(f));
        case ZAVWireTypeFixed64:
            return o.writeFixed64(n, getScalar<uint64_t>(f));
        case ZAVWireTypeSFixed64:
            return o.writeSFixed64(n, getScalar<int64_t>(f));
        case ZAVWireTypeDouble:
            return o.writeDouble(n, getScalar<double>(f));
        case ZAVWireTypeInt32:
            return o.writeInt32(n, getScalar<int32_t>(f));
        case ZAVWireTypeInt64:
            return o.writeInt64(n, getScalar<int64_t>(f));
        case ZAVWireTypeSInt32:
            return o.writeSInt32(n, getScalar<int32_t>(f));
        case ZAVWireTypeSInt64:
            return o.writeSInt64(n, getScalar<int64_t>(f));
        case ZAVWireTypeUInt32:
            return o.writeUInt32(n, getScalar<uint32_t>(f));
        case ZAVWireTypeUInt64:
            return o.writeUInt64(n, getScalar<uint64_t>(f));
        case ZAVWireTypeEnum:
            return o.writeEnum(n, getScalar<int32_t>(f));
        case ZAVWireTypeData:
            return o.writeData(n, static_cast<const ZAVWireData&>(*objectSlot(f)));
        case ZAVWireTypeString:
            return o.writeString(n, static_cast<const ZAVWireString&>(*objectSlot(f)));
        case ZAVWireTypeMessage:
            return o.writeMessage(n, static_cast<const ZAVWireGeneratedMessage&>(*objectSlot(f)));
        case ZAVWireTypeGroup:
            return o.writeGroup(n, static_cast<const ZAVWireGeneratedMessage&>(*objectSlot(f)));
    }
}

namespace {

// Element size without tag, for the repeated-field sums.
size_t elementSize(const ZAVWireFieldDescriptor& f, const ZAVWireArray& a, size_t i) {
    switch (f.type()) {
        case ZAVWireTypeBool:
            return 1;
        case ZAVWireTypeFixed32:
        case ZAVWireTypeSFixed32:
        case ZAVWireTypeFloat:
            return 4;
        case ZAVWireTypeFixed64:
        case ZAVWireTypeSFixed64:
        case ZAVWireTypeDouble:
            return 8;
        case ZAVWireTypeInt32: {
            int32_t v = a.int32AtIndex(i);
            return v < 0 ? 10 : ZAVWireVarint32Size(static_cast<uint32_t>(v));
        }
        case ZAVWireTypeEnum:
            return ZAVWireVarint32Size(static_cast<uint32_t>(a.int32AtIndex(i)));
        case ZAVWireTypeSInt32:
            return ZAVWireVarint32Size(ZAVWireEncodeZigZag32(a.int32AtIndex(i)));
        case ZAVWireTypeUInt32:
            return ZAVWireVarint32Size(a.uint32AtIndex(i));
        case ZAVWireTypeInt64:
            return ZAVWireVarint64Size(a.int64AtIndex(i));
        case ZAVWireTypeSInt64:
            return ZAVWireVarint64Size(static_cast<int64_t>(ZAVWireEncodeZigZag64(a.int64AtIndex(i))));
        case ZAVWireTypeUInt64:
            return ZAVWireVarint64Size(static_cast<int64_t>(a.uint64AtIndex(i)));
        case ZAVWireTypeData: {
            size_t len = static_cast<const ZAVWireData&>(*a.objectAtIndex(i)).length();
            return ZAVWireVarint32Size(static_cast<uint32_t>(len)) + len;
        }
        case ZAVWireTypeString:
            return ZAVWireStringSizeNoTag(static_cast<const ZAVWireString&>(*a.objectAtIndex(i)));
        case ZAVWireTypeMessage: {
            size_t size = static_cast<const ZAVWireGeneratedMessage&>(*a.objectAtIndex(i)).serializedSize();
            return ZAVWireVarint32Size(static_cast<uint32_t>(size)) + size;
        }
        case ZAVWireTypeGroup:
            return static_cast<const ZAVWireGeneratedMessage&>(*a.objectAtIndex(i)).serializedSize();
    }
    return 0;
}

}  // namespace

size_t ZAVWireGeneratedMessage::fieldSize(const ZAVWireFieldDescriptor& f) const {
    uint32_t n = f.number();
    size_t t = ZAVWireTagSize(n);
    if (f.isRepeated()) {
        const ZAVWireArray* array = existingArray(f);
        size_t count = array ? array->count() : 0;
        if (count == 0) return 0;
        size_t d = 0;
        for (size_t i = 0; i < count; ++i) d += elementSize(f, *array, i);
        if (f.isPackable()) return d + t + ZAVWireVarint32Size(static_cast<uint32_t>(d));
        return d + t * count * (f.type() == ZAVWireTypeGroup ? 2 : 1);
    }
    if (!hasField(f)) return 0;
    switch (f.type()) {
        case ZAVWireTypeBool:
            return t + 1;
        case ZAVWireTypeFixed32:
        case ZAVWireTypeSFixed32:
        case ZAVWireTypeFloat:
            return t + 4;
        case ZAVWireTypeFixed64:
        case ZAVWireTypeSFixed64:
        case ZAVWireTypeDouble:
            return t + 8;
        case ZAVWireTypeInt32:
            return ZAVWireInt32FieldSize(n, getScalar<int32_t>(f));
        case ZAVWireTypeEnum:
            return ZAVWireEnumFieldSize(n, getScalar<int32_t>(f));
        case ZAVWireTypeSInt32:
            return ZAVWireSInt32FieldSize(n, getScalar<int32_t>(f));
        case ZAVWireTypeUInt32:
            return ZAVWireUInt32FieldSize(n, getScalar<uint32_t>(f));
        case ZAVWireTypeInt64:
            return ZAVWireInt64FieldSize(n, getScalar<int64_t>(f));
        case ZAVWireTypeSInt64:
            return ZAVWireSInt64FieldSize(n, getScalar<int64_t>(f));
        case ZAVWireTypeUInt64:
            return ZAVWireUInt64FieldSize(n, getScalar<uint64_t>(f));
        case ZAVWireTypeData:
            return ZAVWireDataFieldSize(n, static_cast<const ZAVWireData&>(*objectSlot(f)));
        case ZAVWireTypeString:
            return ZAVWireStringFieldSize(n, static_cast<const ZAVWireString&>(*objectSlot(f)));
        case ZAVWireTypeMessage:
            return ZAVWireMessageFieldSize(n, static_cast<const ZAVWireGeneratedMessage&>(*objectSlot(f)));
        case ZAVWireTypeGroup:
            return 2 * t + static_cast<const ZAVWireGeneratedMessage&>(*objectSlot(f)).serializedSize();
    }
    return 0;
}

size_t ZAVWireGeneratedMessage::serializedSize() const {
    size_t total = 0;
    for (auto* f : wireDescriptor()->fieldList()) total += fieldSize(*f);
    if (unknownFields_) {
        total += wireDescriptor()->isWireFormat() ? unknownFields_->serializedSizeAsMessageSet()
                                                  : unknownFields_->serializedSize();
    }
    return total + extensionsSerializedSize();
}

size_t ZAVWireGeneratedMessage::extensionsSerializedSize() const {
    size_t total = 0;
    if (extensionMap_) {
        for (auto& [extension, value] : *extensionMap_)
            total += extension->computeSerializedSizeIncludingTag(value);
    }
    return total;
}

std::shared_ptr<ZAVWireData> ZAVWireGeneratedMessage::data() const {
    auto data = ZAVWireData::withLength(serializedSize());
    ZAVWireCodedOutputStream output(nullptr, data);
    writeToCodedOutputStream(output);
    return data;
}

std::shared_ptr<ZAVWireData> ZAVWireGeneratedMessage::delimitedData() const {
    size_t size = serializedSize();
    auto data = ZAVWireData::withLength(ZAVWireVarint32Size(static_cast<uint32_t>(size)) + size);
    ZAVWireCodedOutputStream output(nullptr, data);
    writeDelimitedToCodedOutputStream(output);
    return data;
}

void ZAVWireGeneratedMessage::writeDelimitedToCodedOutputStream(ZAVWireCodedOutputStream& output) const {
    output.writeRawVarintSizeTAs32(serializedSize());
    writeToCodedOutputStream(output);
}

void ZAVWireGeneratedMessage::writeToOutputStream(const std::shared_ptr<plat::OutputStream>& output) const {
    auto coded = ZAVWireCodedOutputStream::streamWithOutputStream(output);
    writeToCodedOutputStream(*coded);
    coded->flush();
}

void ZAVWireGeneratedMessage::writeDelimitedToOutputStream(
    const std::shared_ptr<plat::OutputStream>& output) const {
    auto coded = ZAVWireCodedOutputStream::streamWithOutputStream(output);
    writeDelimitedToCodedOutputStream(*coded);
    coded->flush();
}

// ---- equality and description

bool ZAVWireGeneratedMessage::isEqual(const ZAVWireRootObject* other) const {
    if (other == this) return true;
    auto* o = dynamic_cast<const ZAVWireGeneratedMessage*>(other);
    if (!o || (!o->isa()->isSubclassOf(isa()) && !isa()->isSubclassOf(o->isa()))) return false;
    for (auto* f : wireDescriptor()->fieldList()) {
        if (f->isRepeated()) {
            const ZAVWireArray *a = existingArray(*f), *b = o->existingArray(*f);
            size_t ca = a ? a->count() : 0, cb = b ? b->count() : 0;
            if (ca == 0 && cb == 0) continue;
            if (!a || !b || !a->isEqual(b)) return false;
            continue;
        }
        bool has = hasField(*f);
        if (has != o->hasField(*f)) return false;
        if (!has) continue;
        bool same = true;
        switch (f->type()) {
            case ZAVWireTypeBool:
                same = getScalar<bool>(*f) == o->getScalar<bool>(*f);
                break;
            case ZAVWireTypeFloat:
                same = getScalar<float>(*f) == o->getScalar<float>(*f);
                break;
            case ZAVWireTypeDouble:
                same = getScalar<double>(*f) == o->getScalar<double>(*f);
                break;
            case ZAVWireTypeFixed64:
            case ZAVWireTypeSFixed64:
            case ZAVWireTypeInt64:
            case ZAVWireTypeSInt64:
            case ZAVWireTypeUInt64:
                same = getScalar<uint64_t>(*f) == o->getScalar<uint64_t>(*f);
                break;
            case ZAVWireTypeData:
            case ZAVWireTypeString:
            case ZAVWireTypeMessage:
            case ZAVWireTypeGroup:
                same = ZAVWireObjectsEqual(objectSlot(*f).get(), o->objectSlot(*f).get());
                break;
            default:
                same = getScalar<uint32_t>(*f) == o->getScalar<uint32_t>(*f);
                break;
        }
        if (!same) return false;
    }
    bool mineEmpty = !extensionMap_ || extensionMap_->empty();
    bool theirsEmpty = !o->extensionMap_ || o->extensionMap_->empty();
    if (mineEmpty != theirsEmpty) return false;
    if (!mineEmpty) {
        if (extensionMap_->size() != o->extensionMap_->size()) return false;
        for (auto& [extension, value] : *extensionMap_) {
            auto it = o->extensionMap_->find(extension);
            if (it == o->extensionMap_->end() || !ZAVWireObjectsEqual(value.get(), it->second.get()))
                return false;
        }
    }
    bool unknownEmpty = !unknownFields_ || unknownFields_->countOfFields() == 0;
    bool otherUnknownEmpty = !o->unknownFields_ || o->unknownFields_->countOfFields() == 0;
    if (unknownEmpty && otherUnknownEmpty) return true;
    if (unknownEmpty != otherUnknownEmpty) return false;
    return unknownFields_->isEqual(o->unknownFields_.get());
}

std::string ZAVWireGeneratedMessage::description() const {
    return ZAVWireFormat("<%s %p>: {\n", className(), static_cast<const void*>(this)) +
           ZAVWireTextFormatForMessage(this, "    ") + "}";
}

// ---- text format

namespace {

std::string scalarText(ZAVWireType type, const ZAVWireObjectPtr& boxed) {
    auto& n = static_cast<const ZAVWireNumber&>(*boxed);
    switch (type) {
        case ZAVWireTypeBool:
            return n.boolValue() ? "true" : "false";
        case ZAVWireTypeFixed32:
        case ZAVWireTypeUInt32:
            return ZAVWireFormat("%u", n.unsignedIntValue());
        case ZAVWireTypeFloat:
            return ZAVWireFormat("%.*g", 6, static_cast<double>(n.floatValue()));
        case ZAVWireTypeDouble:
            return ZAVWireFormat("%.*lg", 15, n.doubleValue());
        case ZAVWireTypeFixed64:
        case ZAVWireTypeUInt64:
            return ZAVWireFormat("%llu", static_cast<unsigned long long>(n.unsignedLongLongValue()));
        case ZAVWireTypeSFixed64:
        case ZAVWireTypeInt64:
        case ZAVWireTypeSInt64:
            return ZAVWireFormat("%lld", static_cast<long long>(n.longLongValue()));
        default:
            return ZAVWireFormat("%d", n.intValue());
    }
}

std::string objectText(ZAVWireType type, const ZAVWireObjectPtr& value) {
    if (type == ZAVWireTypeString)
        return ZAVWireTextFormatEscapeString(static_cast<const ZAVWireString&>(*value).utf8());
    auto& d = static_cast<const ZAVWireData&>(*value);
    return ZAVWireTextFormatEscapeBytes(d.bytes(), d.length());
}

// One value line (or block, for messages) after the label.
void appendValue(std::string& out, ZAVWireType type, const ZAVWireObjectPtr& value,
                 const std::string& comment, const std::string& indent, const std::string& label) {
    bool message = ZAVWireTypeIsMessage(type);
    out += indent + label + (message ? " " : ": ");
    if (message) {
        out += "{" + comment + "\n";
        ZAVWireAppendTextFormatForMessage(static_cast<const ZAVWireGeneratedMessage&>(*value), out,
                                          indent + "  ");
        out += indent + "}\n";
        return;
    }
    out += ZAVWireTypeIsObject(type) ? objectText(type, value) : scalarText(type, value);
    out += comment + "\n";
}

void appendExtensions(std::string& out, const ZAVWireGeneratedMessage& m, const ZAVWireExtensionRange& range,
                      const std::string& indent) {
    for (const auto& extension : m.sortedExtensionsInUse()) {
        uint32_t number = extension->fieldNumber();
        if (number < range.start()) continue;
        if (number > range.end()) break;
        ZAVWireObjectPtr value = m.getExtension(*extension);
        std::vector<ZAVWireObjectPtr> values;
        if (extension->isRepeated()) {
            values = static_cast<const ZAVWireArray&>(*value).array();
        } else {
            values.push_back(value);
        }
        std::string comment;
        if (values.size() == 1) {
            comment = "  # [" + extension->singletonName() + "]";
        } else {
            out += indent + "# [" + extension->singletonName() + "]\n";
        }
        for (const auto& v : values)
            appendValue(out, extension->type(), v, comment, indent, ZAVWireFormat("%u", number));
    }
}

void appendField(std::string& out, const ZAVWireGeneratedMessage& m, const ZAVWireFieldDescriptor& f,
                 const std::string& indent) {
    ZAVWireMutableArrayPtr array;
    size_t count;
    if (f.isRepeated()) {
        array = m.getArray(f);
        count = array->count();
    } else {
        count = m.hasField(f) ? 1 : 0;
    }
    if (count == 0) return;
    std::string label = f.textFormatName();
    std::string comment;
    if (label.empty()) {
        label = ZAVWireFormat("%u", f.number());
        if (count == 1) {
            comment = "  # " + f.name();
        } else {
            out += indent + "# " + f.name() + "\n";
        }
    }
    std::string note;
    std::vector<ZAVWireObjectPtr> boxed;
    if (array && f.type() != ZAVWireTypeEnum) boxed = array->array();
    for (size_t i = 0; i < count; ++i) {
        if (f.type() == ZAVWireTypeEnum) {
            int32_t v = array ? array->int32AtIndex(i) : m.getScalar<int32_t>(f);
            std::string text;
            if (!f.enumDescriptor()) {
                note = " EnumDescriptors not generated";
            } else {
                text = f.enumDescriptor()->textFormatNameForEnumValue(v);
                if (text.empty()) note = " EnumValueDescriptor names not generated";
            }
            if (text.empty()) text = ZAVWireFormat("%d", v);
            std::string lineComment = comment;
            if (!note.empty()) lineComment = (comment.empty() ? std::string("  #") : comment) + note;
            out += indent + label + ": " + text + lineComment + "\n";
            continue;
        }
        ZAVWireObjectPtr value = array ? boxed[i] : m.valueForKey(f.getSel());
        appendValue(out, f.type(), value, comment, indent, label);
    }
}

}  // namespace

void ZAVWireAppendTextFormatForMessage(const ZAVWireGeneratedMessage& message, std::string& out,
                                       const std::string& indent) {
    const ZAVWireDescriptor* d = message.wireDescriptor();
    const auto& fields = d->fieldList();
    const auto& ranges = d->rangeList();
    size_t j = 0;
    for (auto* f : fields) {
        while (j < ranges.size() && f->number() >= ranges[j]->start())
            appendExtensions(out, message, *ranges[j++], indent);
        appendField(out, message, *f, indent);
    }
    while (j < ranges.size()) appendExtensions(out, message, *ranges[j++], indent);
    std::string unknown = ZAVWireTextFormatForUnknownFieldSet(message.unknownFields().get(), indent);
    if (!unknown.empty()) out += indent + "# --- Unknown fields ---\n" + unknown;
}

std::string ZAVWireTextFormatForMessage(const ZAVWireGeneratedMessage* message, const std::string& indent) {
    std::string out;
    if (message) ZAVWireAppendTextFormatForMessage(*message, out, indent);
    return out;
}
