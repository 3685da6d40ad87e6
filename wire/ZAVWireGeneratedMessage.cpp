#include "wire/ZAVWireGeneratedMessage.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>
#include <typeinfo>

#include "platform/base/Assert.h"
#include "wire/ZAVWireGeneratedMessageInternal.h"

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

ZAVWireGeneratedMessage::~ZAVWireGeneratedMessage() {
    // Derived classes have already let go of their storage, and with it of everything else; what a message
    // without storage may still hold is the base's own state.
    RareState* rare = rareState();
    if (rare || extensionMap_) internalClear();
    if (rare) {
        PLAT_ASSERT(rare->autocreator == nullptr, "Autocreator was not cleared before dealloc.");
        delete rare;
    }
}

ZAVWireGeneratedMessage::RareState& ZAVWireGeneratedMessage::rare() const {
    if (RareState* rare = rare_.load(std::memory_order_acquire)) return *rare;
    auto* made = new RareState;
    rare_.store(made, std::memory_order_release);
    return *made;
}

const ZAVWireUnknownFieldSetPtr& ZAVWireGeneratedMessage::unknownFields() const {
    static const ZAVWireUnknownFieldSetPtr none;
    const RareState* rare = rareState();
    return rare ? rare->unknownFields : none;
}

uint8_t* ZAVWireGeneratedMessage::slot(const ZAVWireFieldDescriptor& field) const {
    ZAVWIRE_ASSERT(messageStorage_ != nullptr, "NULL typeptr");
    return messageStorage_ + field.offset();
}

ZAVWireObjectPtr& ZAVWireGeneratedMessage::objectSlot(const ZAVWireFieldDescriptor& field) const {
    return *std::launder(reinterpret_cast<ZAVWireObjectPtr*>(slot(field)));
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
T ZAVWireGeneratedMessage::scalarDefault(const ZAVWireFieldDescriptor& field) {
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
    template T ZAVWireGeneratedMessage::scalarDefault<T>(const ZAVWireFieldDescriptor&);   \
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
    RareState& rare = m->rare();
    rare.autocreator = parent;
    rare.autocreatorField = field;
    rare.autocreatorExtension = std::move(extension);
    return m;
}

ZAVWireObjectPtr ZAVWireGeneratedMessage::getObjectNoAutocreate(const ZAVWireFieldDescriptor& field) const {
    if (!messageStorage_) return nullptr;
    return objectSlot(field);
}

const ZAVWireArray* ZAVWireGeneratedMessage::existingArrayLocked(const ZAVWireFieldDescriptor& field) const {
    if (!messageStorage_) return nullptr;
    std::lock_guard<ZAVWireSpinLock> lock(readOnlyMutex_);
    return static_cast<const ZAVWireArray*>(objectSlot(field).get());
}

ZAVWireObjectPtr ZAVWireGeneratedMessage::getObject(const ZAVWireFieldDescriptor& field) const {
    if (hasField(field)) return objectSlot(field);
    if (field.isMessage() && !field.isRepeated()) {
        std::lock_guard<ZAVWireSpinLock> lock(readOnlyMutex_);
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

ZAVWireMutableArrayPtr ZAVWireGeneratedMessage::getArrayLocked(const ZAVWireFieldDescriptor& field) const {
    std::lock_guard<ZAVWireSpinLock> lock(readOnlyMutex_);
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
            if (array->delegateMessage() == this) array->setDelegate(nullptr);
        } else if (field.isMessage()) {
            auto* sub = static_cast<ZAVWireGeneratedMessage*>(old.get());
            if (sub->wasAutocreatedBy(this)) sub->clearAutocreator();
        }
    }
    old.reset();
    becomeVisibleToAutocreator();
}

void ZAVWireGeneratedMessage::setArray(const ZAVWireFieldDescriptor& field, ZAVWireArrayPtr&& value) {
    if (!value) {
        setRetainedObject(field, nullptr);
        return;
    }
    if (value->valueType() != field.valueType()) {
        ZAVWireRaise(NSInvalidArgumentException,
                     ZAVWireFormat("Trying to set array %s to non mutable array", field.setSel().c_str()));
    }
    // The mutable list class is final: its exact type answers what a dynamic cast would.
    const ZAVWireArray& array = *value;
    if (typeid(array) == typeid(ZAVWireMutableArray)) {
        setRetainedObject(field, std::move(value));
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
            if (array->delegateMessage() == this) array->setDelegate(nullptr);
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
    RareState* rare = rareState();
    if (!rare || !rare->autocreator) return;
    ZAVWireGeneratedMessage* parent = rare->autocreator;
    // While it is linked to its parent, a message made on read is held by the parent's slot or on-demand
    // extension map: that reference is the one the parent keeps.
    if (rare->autocreatorField) {
        ZAVWireObjectPtr self = parent->objectSlot(*rare->autocreatorField);
        ZAVWIRE_ASSERT(self.get() == this, "Autocreated object is not held by its autocreator.");
        parent->setRetainedObject(*rare->autocreatorField, std::move(self));
    } else if (rare->autocreatorExtension) {
        ZAVWireExtensionFieldPtr extension = rare->autocreatorExtension;
        RareState* parentRare = parent->rareState();
        ZAVWireObjectPtr self;
        if (parentRare && parentRare->autocreatedExtensionMap) {
            auto it = parentRare->autocreatedExtensionMap->find(extension);
            if (it != parentRare->autocreatedExtensionMap->end()) self = it->second;
        }
        ZAVWIRE_ASSERT(self.get() == this, "Autocreated object is not held by its autocreator.");
        parent->setExtension(*extension, self);
    }
}

void ZAVWireGeneratedMessage::clearAutocreator() {
    RareState* rare = rareState();
    if (!rare || !rare->autocreator) return;
    rare->autocreator = nullptr;
    rare->autocreatorField = nullptr;
    rare->autocreatorExtension.reset();
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
        for (const ZAVWireObjectSlot& slot : wireDescriptor()->objectSlots()) {
            // The slots exist whenever the storage does: no checked look-up for each.
            ZAVWireObjectPtr& s =
                *std::launder(reinterpret_cast<ZAVWireObjectPtr*>(messageStorage_ + slot.offset));
            if (!s) continue;
            if (slot.kind == ZAVWireObjectSlot::Array) {
                auto* array = static_cast<ZAVWireMutableArray*>(s.get());
                if (array->delegateMessage() == this) array->setDelegate(nullptr);
            } else if (slot.kind == ZAVWireObjectSlot::Message) {
                auto* sub = static_cast<ZAVWireGeneratedMessage*>(s.get());
                if (sub->wasAutocreatedBy(this)) sub->clearAutocreator();
            }
            s.reset();
        }
    }
    RareState* rare = rareState();
    if (rare && rare->autocreatedExtensionMap) {
        auto map = std::move(rare->autocreatedExtensionMap);
        for (auto& [extension, value] : *map) {
            auto* sub = static_cast<ZAVWireGeneratedMessage*>(value.get());
            ZAVWIRE_ASSERT(sub->wasAutocreatedBy(this), "Autocreated extension does not refer back to self.");
            sub->clearAutocreator();
        }
    }
    extensionMap_.reset();
    if (rare) rare->unknownFields.reset();
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
    if (const ZAVWireUnknownFieldSetPtr& unknown = unknownFields())
        copy->rare().unknownFields = std::static_pointer_cast<ZAVWireUnknownFieldSet>(unknown->copy());
    if (extensionMap_) copy->extensionMap_ = copiedExtensionMap(*extensionMap_, false);
    return copy;
}

// Repeated extension values are lists that addExtension and parsing append to, so each message gets its own;
// singular sub-messages are copied when `copyMessages` asks for it, as a merge of fields copies them.
ZAVWireGeneratedMessage::ExtensionMapPtr ZAVWireGeneratedMessage::makeExtensionMap(
    std::pmr::memory_resource* memory) {
    // Room for two in the map's own block: more are rare.
    return ExtensionMapPtr(ZAVWireExtensionMap::make(memory, 2));
}

ZAVWireGeneratedMessage::ExtensionMapPtr ZAVWireGeneratedMessage::copiedExtensionMap(
    const ExtensionMap& source, bool copyMessages) {
    auto map = makeExtensionMap(std::pmr::new_delete_resource());
    for (const auto& [extension, value] : source) map->emplace(extension, value);
    for (auto& [extension, value] : *map) {
        if (extension->isRepeated() || (copyMessages && asMessage(value))) value = value->mutableCopy();
    }
    return map;
}

// ---- unknown fields

void ZAVWireGeneratedMessage::setUnknownFields(const ZAVWireUnknownFieldSet* fields) {
    if (fields == unknownFields().get()) return;
    rare().unknownFields =
        fields ? std::static_pointer_cast<ZAVWireUnknownFieldSet>(fields->copy()) : nullptr;
    becomeVisibleToAutocreator();
}

ZAVWireUnknownFieldSet& ZAVWireGeneratedMessage::mutableUnknownFields() {
    ZAVWireUnknownFieldSetPtr& unknown = rare().unknownFields;
    if (!unknown) {
        unknown = ZAVWireMakeShared<ZAVWireUnknownFieldSet>();
        becomeVisibleToAutocreator();
    }
    return *unknown;
}

void ZAVWireGeneratedMessage::mergeUnknownFields(const ZAVWireUnknownFieldSet* fields) {
    if (const ZAVWireUnknownFieldSetPtr& unknown = unknownFields(); !unknown) {
        setUnknownFields(fields);
    } else {
        unknown->mergeUnknownFields(fields);
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
        std::lock_guard<ZAVWireSpinLock> lock(readOnlyMutex_);
        ExtensionMapPtr& made = rare().autocreatedExtensionMap;
        if (!made) made = makeExtensionMap(std::pmr::new_delete_resource());
        ZAVWireObjectPtr& sub = (*made)[key];
        if (!sub) {
            sub = newMessageWithAutocreator(extension.messageOrGroupClass(),
                                            const_cast<ZAVWireGeneratedMessage*>(this), nullptr, key);
        }
        return sub;
    }
    return extension.defaultValue();
}

ZAVWireObjectPtr ZAVWireGeneratedMessage::getExistingExtension(const ZAVWireExtensionField& extension) const {
    const ZAVWireObjectPtr* value = existingExtensionSlot(extension);
    return value ? *value : nullptr;
}

const ZAVWireRootObject* ZAVWireGeneratedMessage::presentExtension(
    const ZAVWireExtensionField& extension) const {
    const ZAVWireObjectPtr* value = existingExtensionSlot(extension);
    return value ? value->get() : nullptr;
}

const ZAVWireObjectPtr* ZAVWireGeneratedMessage::existingExtensionSlot(
    const ZAVWireExtensionField& extension) const {
    checkExtension(extension);
    if (!extensionMap_) return nullptr;
    const ExtensionMap& map = *extensionMap_;
    auto it = map.find(&extension);
    return it == map.end() ? nullptr : &it->second;
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
    if (!extensionMap_) extensionMap_ = makeExtensionMap(ZAVWireBorrowMemory(rare().arena));
    (*extensionMap_)[key] = value;
    RareState* rare = rareState();
    if (extension.isMessage() && rare && rare->autocreatedExtensionMap) {
        auto it = rare->autocreatedExtensionMap->find(key);
        if (it != rare->autocreatedExtensionMap->end()) {
            auto sub = std::static_pointer_cast<ZAVWireGeneratedMessage>(it->second);
            rare->autocreatedExtensionMap->erase(it);
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
    if (!extensionMap_) extensionMap_ = makeExtensionMap(ZAVWireBorrowMemory(rare().arena));
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
