#pragma once
// Base of every message. Each message class keeps one storage block inside the object (has-bit words, then
// value slots at the offsets its field table gives), its unknown fields, its extension values and, for a
// sub-message made on read, a non-owning link to the parent that made it. Reading an unset sub-message or
// repeated field creates an empty one without setting anything; the first change to it makes it part of
// the parent (and the parent's parent). Creation on read is exclusive per message, so concurrent readers
// agree on one object.
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/storage/OutputStream.h"
#include "wire/ZAVWireArena.h"
#include "wire/ZAVWireArray.h"
#include "wire/ZAVWireCodedInputStream.h"
#include "wire/ZAVWireCodedOutputStream.h"
#include "wire/ZAVWireDescriptor.h"
#include "wire/ZAVWireExtensionField.h"
#include "wire/ZAVWireExtensionMap.h"
#include "wire/ZAVWireString.h"
#include "wire/ZAVWireUnknownFieldSet.h"

class ZAVWireGeneratedMessage;
using ZAVWireMessagePtr = std::shared_ptr<ZAVWireGeneratedMessage>;

// The lock of creation on read: 32 bits, held only while one empty object is made, so a waiter spins.
class ZAVWireSpinLock {
  public:
    void lock() {
        while (flag_.exchange(1, std::memory_order_acquire)) {
            while (flag_.load(std::memory_order_relaxed)) std::this_thread::yield();
        }
    }
    void unlock() { flag_.store(0, std::memory_order_release); }

  private:
    std::atomic<uint32_t> flag_{0};
};

class ZAVWireGeneratedMessage : public ZAVWireRootObject {
  public:
    ZAVWireGeneratedMessage() = default;
    ZAVWireGeneratedMessage(const ZAVWireGeneratedMessage&) = delete;
    ZAVWireGeneratedMessage& operator=(const ZAVWireGeneratedMessage&) = delete;
    ~ZAVWireGeneratedMessage() override;

    // The base class: a message type with no fields.
    static const ZAVWireClass& wireClass();
    static const ZAVWireDescriptor* descriptor();
    static ZAVWireMessagePtr message();

    virtual const ZAVWireClass* isa() const { return &wireClass(); }
    const char* className() const override { return isa()->name; }
    const ZAVWireDescriptor* wireDescriptor() const { return isa()->descriptor(); }
    // A new empty message of the same class.
    ZAVWireMessagePtr newInstance() const { return isa()->create(); }

    // ---- presence, clearing, copies (base)
    void clear();
    bool isInitialized() const;
    static bool isInitialized(const ZAVWireObjectPtr& object);
    // A copy has its own repeated fields, repeated extensions and unknown fields, so nothing done to it
    // reaches the source; singular sub-messages are shared until one of the two replaces them.
    ZAVWireObjectPtr copy() const override { return mutableCopy(); }
    ZAVWireObjectPtr mutableCopy() const override;
    ZAVWireMessagePtr messageCopy() const {
        return std::static_pointer_cast<ZAVWireGeneratedMessage>(mutableCopy());
    }
    void clearAutocreator();
    bool wasAutocreatedBy(const ZAVWireGeneratedMessage* message) const {
        const RareState* rare = rareState();
        return rare && rare->autocreator == message;
    }
    const ZAVWireUnknownFieldSetPtr& unknownFields() const;

    // ---- parsing and merging
    void mergeFromData(std::shared_ptr<const ZAVWireData> data,
                       const ZAVWireExtensionRegistry* registry = nullptr);
    void mergeFromCodedInputStream(ZAVWireCodedInputStream& input, const ZAVWireExtensionRegistry* registry);
    void mergeDelimitedFromCodedInputStream(ZAVWireCodedInputStream& input,
                                            const ZAVWireExtensionRegistry* registry);
    bool parseUnknownField(ZAVWireCodedInputStream& input, const ZAVWireExtensionRegistry* registry,
                           int32_t tag);
    void parseMessageSet(ZAVWireCodedInputStream& input, const ZAVWireExtensionRegistry* registry);
    void mergeFrom(const ZAVWireGeneratedMessage& other);
    void setUnknownFields(const ZAVWireUnknownFieldSet* fields);
    ZAVWireUnknownFieldSet& mutableUnknownFields();
    void mergeUnknownFields(const ZAVWireUnknownFieldSet* fields);

    // ---- extensions
    ZAVWireObjectPtr getExtension(const ZAVWireExtensionField& extension) const;
    ZAVWireObjectPtr getExistingExtension(const ZAVWireExtensionField& extension) const;
    // The same, looked at where it is (null when not set): a reader that only looks needs no counted
    // reference.
    const ZAVWireRootObject* presentExtension(const ZAVWireExtensionField& extension) const;
    bool hasExtension(const ZAVWireExtensionField& extension) const;
    void setExtension(const ZAVWireExtensionField& extension, ZAVWireObjectPtr value);
    void addExtension(const ZAVWireExtensionField& extension, ZAVWireObjectPtr value);
    void setExtension(const ZAVWireExtensionField& extension, size_t index, ZAVWireObjectPtr value);
    void clearExtension(const ZAVWireExtensionField& extension);
    std::vector<ZAVWireExtensionFieldPtr> extensionsCurrentlySet() const;
    std::vector<ZAVWireExtensionFieldPtr> sortedExtensionsInUse() const;

    // ---- output
    void writeToCodedOutputStream(ZAVWireCodedOutputStream& output) const;
    // Flushes before returning, so a refused write raises "WriteFailed" here.
    void writeToOutputStream(const std::shared_ptr<plat::OutputStream>& output) const;
    void writeDelimitedToCodedOutputStream(ZAVWireCodedOutputStream& output) const;
    void writeDelimitedToOutputStream(const std::shared_ptr<plat::OutputStream>& output) const;
    void writeField(const ZAVWireFieldDescriptor& field, ZAVWireCodedOutputStream& output) const;
    void writeExtensionsToCodedOutputStream(ZAVWireCodedOutputStream& output,
                                            const ZAVWireExtensionRange& range) const;
    std::shared_ptr<ZAVWireData> data() const;
    std::shared_ptr<ZAVWireData> delimitedData() const;
    size_t serializedSize() const;
    size_t extensionsSerializedSize() const;
    bool isEqual(const ZAVWireRootObject* other) const override;
    size_t hash() const override { return reinterpret_cast<size_t>(isa()); }
    std::string description() const override;

    // Key-value access by accessor name (getter or has-test to read, getter name to set).
    ZAVWireObjectPtr valueForKey(const std::string& key) const override;
    void setValueForKey(const ZAVWireObjectPtr& value, const std::string& key) override;

    // ---- field routines shared by accessors, parsing, merging and output
    bool hasField(const ZAVWireFieldDescriptor& field) const {
        if (!messageStorage_) return false;
        int32_t index = field.hasIndex();
        uint32_t word;
        std::memcpy(&word, messageStorage_ + (index / 32) * 4, 4);
        return (word >> (index % 32)) & 1;
    }
    bool hasFieldAt(size_t index) const { return hasField(*wireDescriptor()->fieldAt(index)); }
    // The presence marks of the fields whose has index is below 32, bit by has index: a reader that
    // checks several fields at once compares them with a mask.
    uint32_t presenceWord() const {
        uint32_t word = 0;
        if (messageStorage_) std::memcpy(&word, messageStorage_, 4);
        return word;
    }
    // Whether any extension is set, without listing them.
    bool hasExtensions() const { return extensionMap_ && !extensionMap_->empty(); }
    // Read where the value sits: the accessors of every parsed message come through here.
    template <typename T>
    T getScalar(const ZAVWireFieldDescriptor& field) const {
        if (hasField(field)) {
            T value;
            std::memcpy(&value, messageStorage_ + field.offset(), sizeof(T));
            return value;
        }
        return scalarDefault<T>(field);
    }
    template <typename T>
    void setScalar(const ZAVWireFieldDescriptor& field, T value);
    template <typename T>
    void clearScalar(const ZAVWireFieldDescriptor& field);
    // Stored object; an unset sub-message is made on read; otherwise the field default.
    ZAVWireObjectPtr getObject(const ZAVWireFieldDescriptor& field) const;
    // The field's array, made on read.
    ZAVWireMutableArrayPtr getArray(const ZAVWireFieldDescriptor& field) const {
        if (const ZAVWireObjectPtr* s = presentSlot(field))
            return std::static_pointer_cast<ZAVWireMutableArray>(*s);
        return getArrayLocked(field);
    }
    ZAVWireObjectPtr getObjectNoAutocreate(const ZAVWireFieldDescriptor& field) const;
    // The object of a field marked present, else null: a reader that only looks needs no counted reference.
    const ZAVWireRootObject* presentObject(const ZAVWireFieldDescriptor& field) const {
        const ZAVWireObjectPtr* s = presentSlot(field);
        return s ? s->get() : nullptr;
    }
    // The field's array when there is one, else null: readers that only look need not make one.
    const ZAVWireArray* existingArray(const ZAVWireFieldDescriptor& field) const {
        if (const ZAVWireObjectPtr* s = presentSlot(field)) return static_cast<const ZAVWireArray*>(s->get());
        return existingArrayLocked(field);
    }
    void setRetainedObject(const ZAVWireFieldDescriptor& field, ZAVWireObjectPtr value);
    void setAutocreatedRetainedObject(const ZAVWireFieldDescriptor& field, ZAVWireObjectPtr value) const;
    // The setter of an object field (String, Data, Message, Group).
    void setObject(const ZAVWireFieldDescriptor& field, ZAVWireObjectPtr value) {
        setRetainedObject(field, std::move(value));
    }
    // The setter of a repeated field: null clears; an immutable array is stored as a mutable copy.
    void setArray(const ZAVWireFieldDescriptor& field, const ZAVWireArrayPtr& value) {
        setArray(field, ZAVWireArrayPtr(value));
    }
    // The same, taking the caller's reference.
    void setArray(const ZAVWireFieldDescriptor& field, ZAVWireArrayPtr&& value);
    // The has-clear accessor: true raises, false clears the field.
    void setHas(const ZAVWireFieldDescriptor& field, bool value);
    // Run after every change: a message made on read becomes part of its parent.
    void becomeVisibleToAutocreator();

    // An array this message made on read is about to get elements.
    void pbMutableArrayWillAddElements(ZAVWireMutableArray* array, uint64_t count);

  protected:
    // The derived class hands over its storage block of `Size` bytes once constructed, and takes it back
    // first thing in its destructor. Its object slots are the run of `Count` references at `Start`; the
    // rest is zero-filled. Everything is placed at compile time, so making a message's storage is a few
    // wide stores.
    template <size_t Start, size_t Count, size_t Size>
    void attachStorage(uint8_t* storage) {
        static_assert(Start + Count * sizeof(ZAVWireObjectPtr) <= Size || Count == 0);
        messageStorage_ = storage;
        constexpr size_t kEnd = Start + Count * sizeof(ZAVWireObjectPtr);
        std::memset(storage, 0, Count ? Start : Size);
        [storage]<size_t... I>(std::index_sequence<I...>) {
            ((void)::new (storage + Start + I * sizeof(ZAVWireObjectPtr)) ZAVWireObjectPtr(), ...);
        }
        (std::make_index_sequence<Count>{});
        if constexpr (Count != 0 && Size > kEnd) std::memset(storage + kEnd, 0, Size - kEnd);
    }
    // Releasing everything leaves every slot empty, and an empty reference's destructor does nothing: the
    // slots end with the storage, without a destructor call each.
    void detachStorage() {
        if (!messageStorage_) return;
        internalClear();
        messageStorage_ = nullptr;
    }

  private:
    friend class ZAVWireExtensionField;
    // The object slot of a field marked present, else null. Creation on read writes only a slot that is
    // empty and unmarked, and a marked one changes only when the message is changed, which is never done
    // beside readers: so a reader that finds the mark needs no lock.
    const ZAVWireObjectPtr* presentSlot(const ZAVWireFieldDescriptor& field) const {
        if (!hasField(field)) return nullptr;
        const auto* s =
            std::launder(reinterpret_cast<const ZAVWireObjectPtr*>(messageStorage_ + field.offset()));
        return *s ? s : nullptr;
    }
    ZAVWireMutableArrayPtr getArrayLocked(const ZAVWireFieldDescriptor& field) const;
    const ZAVWireArray* existingArrayLocked(const ZAVWireFieldDescriptor& field) const;
    template <typename T>
    static T scalarDefault(const ZAVWireFieldDescriptor& field);
    uint8_t* slot(const ZAVWireFieldDescriptor& field) const;
    ZAVWireObjectPtr& objectSlot(const ZAVWireFieldDescriptor& field) const;
    void setHasBit(const ZAVWireFieldDescriptor& field, bool value);
    void internalClear();
    void clearObjectField(const ZAVWireFieldDescriptor& field);
    void mergeFieldFromStream(const ZAVWireFieldDescriptor& field, ZAVWireCodedInputStream& input,
                              const ZAVWireExtensionRegistry* registry);
    template <typename T, typename Read>
    void mergeScalar(const ZAVWireFieldDescriptor& field, ZAVWireCodedInputStream& input, Read read);
    void mergeEnum(const ZAVWireFieldDescriptor& field, ZAVWireCodedInputStream& input);
    ZAVWireMutableArray* parsedArray(const ZAVWireFieldDescriptor& field);
    size_t fieldSize(const ZAVWireFieldDescriptor& field) const;
    void checkExtension(const ZAVWireExtensionField& extension) const;
    ZAVWireExtensionFieldPtr sharedExtension(const ZAVWireExtensionField& extension) const;
    const ZAVWireObjectPtr* existingExtensionSlot(const ZAVWireExtensionField& extension) const;
    static ZAVWireMessagePtr newMessageWithAutocreator(const ZAVWireClass* cls,
                                                       ZAVWireGeneratedMessage* parent,
                                                       const ZAVWireFieldDescriptor* field,
                                                       ZAVWireExtensionFieldPtr extension);

    // A parse keeps extension entries in its arena; copies and maps made outside parsing use the heap.
    using ExtensionMap = ZAVWireExtensionMap;
    struct ExtensionMapDeleter {
        void operator()(ExtensionMap* map) const { ZAVWireExtensionMap::destroy(map); }
    };
    using ExtensionMapPtr = std::unique_ptr<ExtensionMap, ExtensionMapDeleter>;
    static ExtensionMapPtr makeExtensionMap(std::pmr::memory_resource* memory);
    static ExtensionMapPtr copiedExtensionMap(const ExtensionMap& source, bool copyMessages);
    void mergeFieldsFromCodedInputStream(ZAVWireCodedInputStream& input,
                                         const ZAVWireExtensionRegistry* registry);
    // Reading into a message the parse has just made, which nobody else can see yet: fields are stored
    // straight into their slots, with no visibility step, no lock and the parse's arena passed down.
    struct ParseContext;
    void parseFresh(ZAVWireCodedInputStream& input, ParseContext& context,
                    const ZAVWireDescriptor* descriptor);
    // `descriptor` is this message's.
    bool parseFreshUnknownField(ZAVWireCodedInputStream& input, ParseContext& context, int32_t tag,
                                const ZAVWireDescriptor* descriptor);
    // A new message of `cls` read from the length-delimited contents at the input's position.
    static ZAVWireMessagePtr readFresh(const ZAVWireClass* cls, ZAVWireCodedInputStream& input,
                                       ParseContext& context);
    static ZAVWireMessagePtr readFreshOnHeap(const ZAVWireClass* cls, ZAVWireCodedInputStream& input,
                                             ParseContext& context);

    // What a parsed message almost never has sits in one side block, made on first need, so that every
    // message is smaller and cheaper to make and to release.
    struct RareState {
        // The arena this message took memory from for its own contents (parsing into it), kept alive with
        // it. Declared first so that it goes last.
        ZAVWireArenaRef arena;
        ZAVWireUnknownFieldSetPtr unknownFields;
        ExtensionMapPtr autocreatedExtensionMap;
        ZAVWireGeneratedMessage* autocreator = nullptr;
        const ZAVWireFieldDescriptor* autocreatorField = nullptr;
        ZAVWireExtensionFieldPtr autocreatorExtension;
    };
    const RareState* rareState() const { return rare_.load(std::memory_order_acquire); }
    RareState* rareState() { return rare_.load(std::memory_order_acquire); }
    // The side block, made if missing. Creation on read makes it under the lock; writers make it freely,
    // as nothing reads a message while it is written.
    RareState& rare() const;

    ExtensionMapPtr extensionMap_;
    uint8_t* messageStorage_ = nullptr;
    mutable std::atomic<RareState*> rare_{nullptr};
    mutable ZAVWireSpinLock readOnlyMutex_;
};

// A message as a sub-message or group field writes it. Messages, made by the thousand in a parse, carry no
// interface table of their own for it.
class ZAVWireMessageWriting final : public ZAVWireSerializable {
  public:
    explicit ZAVWireMessageWriting(const ZAVWireGeneratedMessage& message) : message_(message) {}
    size_t serializedSize() const override { return message_.serializedSize(); }
    void writeToCodedOutputStream(ZAVWireCodedOutputStream& output) const override {
        message_.writeToCodedOutputStream(output);
    }

  private:
    const ZAVWireGeneratedMessage& message_;
};

// Text dumps (one-way, for descriptions and logs).
std::string ZAVWireTextFormatForMessage(const ZAVWireGeneratedMessage* message, const std::string& indent);
void ZAVWireAppendTextFormatForMessage(const ZAVWireGeneratedMessage& message, std::string& output,
                                       const std::string& indent);

// ---- writing a message class by hand
//
// class Foo final : public ZAVWireGeneratedMessage {
//   public:
//     static constexpr auto kFields = ZAVWireLayout(std::array{ZAVWireFieldRecord(...), ...});
//     ZAVWIRE_MESSAGE_BODY(Foo, kFields)
//     ZAVWIRE_SCALAR_FIELD(int32_t, count, Count, 0)
//     ...
// };
// and in the .cpp the class record and descriptor with ZAVWIRE_MESSAGE_IMPL.

#define ZAVWIRE_MESSAGE_BODY(Class, Fields)                                                             \
  public:                                                                                               \
    static_assert(ZAVWireObjectSlotsAreOneRun(Fields), "fields not laid out by ZAVWireLayout");         \
    Class() {                                                                                           \
        attachStorage<ZAVWireObjectSlotStart(Fields), ZAVWireObjectSlotCount(Fields),                   \
                      ZAVWireStorageSize(Fields)>(storage_);                                            \
    }                                                                                                   \
    ~Class() override {                                                                                 \
        detachStorage();                                                                                \
    }                                                                                                   \
    static const ZAVWireClass& wireClass();                                                             \
    /* Built once by makeDescriptor; the look-up itself is taken in line by every accessor. */          \
    static const ZAVWireDescriptor* descriptor() {                                                      \
        static const ZAVWireDescriptor* const d = makeDescriptor();                                     \
        return d;                                                                                       \
    }                                                                                                   \
    static const ZAVWireDescriptor* makeDescriptor();                                                   \
    static std::shared_ptr<Class> message() {                                                           \
        return std::make_shared<Class>();                                                               \
    }                                                                                                   \
    const ZAVWireClass* isa() const override {                                                          \
        return &wireClass();                                                                            \
    }                                                                                                   \
    static std::shared_ptr<Class> parseFromData(std::shared_ptr<const ZAVWireData> data,                \
                                                const ZAVWireExtensionRegistry* registry = nullptr) {   \
        auto m = message();                                                                             \
        m->mergeFromData(std::move(data), registry);                                                    \
        return m;                                                                                       \
    }                                                                                                   \
    static std::shared_ptr<Class> parseFromCodedInputStream(ZAVWireCodedInputStream& input,             \
                                                            const ZAVWireExtensionRegistry* registry) { \
        auto m = message();                                                                             \
        m->mergeFromCodedInputStream(input, registry);                                                  \
        return m;                                                                                       \
    }                                                                                                   \
    static std::shared_ptr<Class> parseDelimitedFromCodedInputStream(                                   \
        ZAVWireCodedInputStream& input, const ZAVWireExtensionRegistry* registry) {                     \
        auto m = message();                                                                             \
        m->mergeDelimitedFromCodedInputStream(input, registry);                                         \
        return m;                                                                                       \
    }                                                                                                   \
                                                                                                        \
  private:                                                                                              \
    alignas(8) uint8_t storage_[ZAVWireStorageSize(Fields) ? ZAVWireStorageSize(Fields) : 1];           \
                                                                                                        \
  public:

#define ZAVWIRE_FIELD_AT(index) (*descriptor()->fieldAt(index))

// Scalars and enums: name(), setName(v), hasName(), setHasName(false).
#define ZAVWIRE_SCALAR_FIELD(CType, name, Name, index)    \
    CType name() const {                                  \
        return getScalar<CType>(ZAVWIRE_FIELD_AT(index)); \
    }                                                     \
    void set##Name(CType value) {                         \
        setScalar<CType>(ZAVWIRE_FIELD_AT(index), value); \
    }                                                     \
    bool has##Name() const {                              \
        return hasField(ZAVWIRE_FIELD_AT(index));         \
    }                                                     \
    void setHas##Name(bool value) {                       \
        setHas(ZAVWIRE_FIELD_AT(index), value);           \
    }

// Enums: stored and read as their 32-bit number.
#define ZAVWIRE_ENUM_FIELD(EnumType, name, Name, index)                            \
    EnumType name() const {                                                        \
        return static_cast<EnumType>(getScalar<int32_t>(ZAVWIRE_FIELD_AT(index))); \
    }                                                                              \
    void set##Name(EnumType value) {                                               \
        setScalar<int32_t>(ZAVWIRE_FIELD_AT(index), static_cast<int32_t>(value));  \
    }                                                                              \
    bool has##Name() const {                                                       \
        return hasField(ZAVWIRE_FIELD_AT(index));                                  \
    }                                                                              \
    void setHas##Name(bool value) {                                                \
        setHas(ZAVWIRE_FIELD_AT(index), value);                                    \
    }

// Strings, data and sub-messages (made on read when unset).
#define ZAVWIRE_OBJECT_FIELD(Type, name, Name, index)                              \
    std::shared_ptr<Type> name() const {                                           \
        return std::static_pointer_cast<Type>(getObject(ZAVWIRE_FIELD_AT(index))); \
    }                                                                              \
    void set##Name(std::shared_ptr<Type> value) {                                  \
        setObject(ZAVWIRE_FIELD_AT(index), std::move(value));                      \
    }                                                                              \
    bool has##Name() const {                                                       \
        return hasField(ZAVWIRE_FIELD_AT(index));                                  \
    }                                                                              \
    void setHas##Name(bool value) {                                                \
        setHas(ZAVWIRE_FIELD_AT(index), value);                                    \
    }

// Repeated fields: the array, made on read.
#define ZAVWIRE_ARRAY_FIELD(name, Name, index)             \
    ZAVWireMutableArrayPtr name() const {                  \
        return getArray(ZAVWIRE_FIELD_AT(index));          \
    }                                                      \
    void set##Name(const ZAVWireArrayPtr& value) {         \
        setArray(ZAVWIRE_FIELD_AT(index), value);          \
    }                                                      \
    bool has##Name() const {                               \
        return hasField(ZAVWIRE_FIELD_AT(index));          \
    }                                                      \
    void setHas##Name(bool value) {                        \
        setHas(ZAVWIRE_FIELD_AT(index), value);            \
    }                                                      \
    size_t name##_Count() const {                          \
        return getArray(ZAVWIRE_FIELD_AT(index))->count(); \
    }

// The class record and the descriptor, built once on first use.
#define ZAVWIRE_MESSAGE_IMPL(Class, RootClass, Enums, EnumCount, Ranges, RangeCount, WireFormat, TextInfo)  \
    const ZAVWireClass& Class::wireClass() {                                                                \
        static const ZAVWireClass record{                                                                   \
            .name = #Class,                                                                                 \
            .descriptor = [] { return Class::descriptor(); },                                               \
            .create = []() -> ZAVWireMessagePtr { return ZAVWireMakeShared<Class>(); },                     \
            .createInArena = [](ZAVWireArena* arena) -> ZAVWireMessagePtr {                                 \
                return std::allocate_shared<Class>(ZAVWireArenaAllocator<Class>(arena));                    \
            },                                                                                              \
        };                                                                                                  \
        return record;                                                                                      \
    }                                                                                                       \
    const ZAVWireDescriptor* Class::makeDescriptor() {                                                      \
        static const auto d = ZAVWireDescriptor::allocDescriptorForClass(                                   \
            &Class::wireClass(), RootClass, Class::kFields.data(), Class::kFields.size(), Enums, EnumCount, \
            Ranges, RangeCount, ZAVWireStorageSize(Class::kFields), WireFormat, TextInfo);                  \
        return d.get();                                                                                     \
    }
