#pragma once
// The one container of repeated values: a contiguous run of one value type, object references or unboxed
// scalars. Scalars sit in raw storage so that writers and size functions run over plain memory. Growth is
// exact on the first insertion, then in steps of 32 elements. A mutable array tells its delegate before every
// insertion, which lets a message hand out an empty array for an unset field and adopt it on first use.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <new>
#include <vector>

#include "wire/ZAVWireArena.h"
#include "wire/ZAVWireRootObject.h"

enum ZAVWireArrayValueType : int32_t {
    ZAVWireArrayValueTypeObject = 0,
    ZAVWireArrayValueTypeBool = 1,
    ZAVWireArrayValueTypeInt32 = 2,
    ZAVWireArrayValueTypeUInt32 = 3,
    ZAVWireArrayValueTypeInt64 = 4,
    ZAVWireArrayValueTypeUInt64 = 5,
    ZAVWireArrayValueTypeFloat = 6,
    ZAVWireArrayValueTypeDouble = 7,
};

const char* ZAVWireArrayValueTypeName(ZAVWireArrayValueType type);
size_t ZAVWireArrayValueTypeSize(ZAVWireArrayValueType type);

class ZAVWireArray;
class ZAVWireMutableArray;
class ZAVWireGeneratedMessage;
using ZAVWireArrayPtr = std::shared_ptr<ZAVWireArray>;
using ZAVWireMutableArrayPtr = std::shared_ptr<ZAVWireMutableArray>;

class ZAVWireMutableArrayDelegate {
  public:
    virtual void pbMutableArrayWillAddElements(ZAVWireMutableArray* array, uint64_t count) = 0;

  protected:
    ~ZAVWireMutableArrayDelegate() = default;
};

class ZAVWireArray : public ZAVWireRootObject {
  public:
    ZAVWireArray() = default;
    explicit ZAVWireArray(ZAVWireArrayValueType type) : valueType_(type) {}
    ZAVWireArray(const ZAVWireArray&) = delete;
    ZAVWireArray& operator=(const ZAVWireArray&) = delete;
    ~ZAVWireArray() override;

    static ZAVWireArrayPtr arrayWithValueType(ZAVWireArrayValueType type);
    // Raw elements: scalars as their C type, objects as ZAVWireObjectPtr.
    static ZAVWireArrayPtr arrayWithValues(const void* values, size_t count, ZAVWireArrayValueType type);
    static ZAVWireArrayPtr arrayWithArray(const std::vector<ZAVWireObjectPtr>& array,
                                          ZAVWireArrayValueType type);
    static ZAVWireArrayPtr arrayWithObject(ZAVWireObjectPtr object);
    static ZAVWireArrayPtr arrayWithInt32(int32_t value);
    // Objects up to the first null.
    static ZAVWireMutableArrayPtr arrayWithObjects(std::initializer_list<ZAVWireObjectPtr> objects);
    // Values up to the first INT32_MAX, which ends the list.
    static ZAVWireMutableArrayPtr arrayWithInt32s(std::initializer_list<int32_t> values);
    // Storage for exactly count elements, count in use, for the caller to fill; null when it cannot be had.
    static ZAVWireArrayPtr arrayWithCount(size_t count, ZAVWireArrayValueType type);

    const char* className() const override { return "ZAVWireArray"; }
    size_t count() const { return count_; }
    size_t capacity() const { return capacity_; }
    ZAVWireArrayValueType valueType() const { return valueType_; }
    // Raw storage: scalars, or ZAVWireObjectPtr for Object arrays.
    const void* data() const;
    void* mutableData();

    // Inline: a container's expansion reads every element of its tables; a failed check raises.
    const ZAVWireObjectPtr& objectAtIndex(size_t index) const {
        checkIndex(index);
        checkType(ZAVWireArrayValueTypeObject);
        return objects()[index];
    }
    const ZAVWireObjectPtr& operator[](size_t index) const { return objectAtIndex(index); }
    bool boolAtIndex(size_t index) const;
    int32_t int32AtIndex(size_t index) const {
        checkIndex(index);
        checkType(ZAVWireArrayValueTypeInt32);
        int32_t value;
        std::memcpy(&value, raw_ + index * sizeof(int32_t), sizeof(int32_t));
        return value;
    }
    uint32_t uint32AtIndex(size_t index) const;
    int64_t int64AtIndex(size_t index) const;
    uint64_t uint64AtIndex(size_t index) const;
    float floatAtIndex(size_t index) const;
    double doubleAtIndex(size_t index) const;
    ZAVWireObjectPtr firstObject() const;
    ZAVWireObjectPtr lastObject() const;

    virtual void enumerateObjectsUsingBlock(
        const std::function<void(const ZAVWireObjectPtr&, size_t, bool*)>& block);
    virtual void enumerateInt32sUsingBlock(const std::function<void(int32_t, size_t, bool*)>& block);

    // The elements as objects: scalars boxed.
    std::vector<ZAVWireObjectPtr> array() const;
    // The block's non-null results for each element (scalars boxed first).
    std::vector<ZAVWireObjectPtr> arrayWithConversion(
        const std::function<ZAVWireObjectPtr(const ZAVWireObjectPtr&)>& block) const;
    ZAVWireArrayPtr arrayByAppendingArray(const ZAVWireArray& other) const;
    // Object arrays: a mutable array of each element's value (the null marker where absent).
    ZAVWireObjectPtr valueForKey(const std::string& key) const override;
    void setValueForKey(const ZAVWireObjectPtr& value, const std::string& key) override;

    bool isEqual(const ZAVWireRootObject* other) const override;
    size_t hash() const override { return count_ + static_cast<size_t>(valueType_) * 100000; }
    std::string description() const override;
    ZAVWireObjectPtr copy() const override;
    ZAVWireObjectPtr mutableCopy() const override;

    // Range-for over an Object array; on a mutable array a change while iterating raises NSGenericException.
    class Iterator {
      public:
        Iterator(const ZAVWireArray* array, size_t index, const uint64_t* mutations);
        const ZAVWireObjectPtr& operator*() const;
        Iterator& operator++();
        bool operator!=(const Iterator& other) const { return index_ != other.index_; }

      private:
        void check() const;
        const ZAVWireArray* array_;
        size_t index_;
        const uint64_t* mutations_;
        uint64_t start_;
    };
    Iterator begin() const;
    Iterator end() const;

  protected:
    friend class ZAVWireMutableArray;
    // An array whose storage is room a parse took in its arena.
    ZAVWireArray(ZAVWireArrayValueType type, uint8_t* room, size_t capacity)
        : valueType_(type), arenaStorage_(true), capacity_(capacity), raw_(room), arenaCapacity_(capacity) {}
    virtual const uint64_t* mutationCounter() const { return nullptr; }
    void checkType(ZAVWireArrayValueType expected) const {
        if (valueType_ != expected) [[unlikely]]
            raiseTypeMismatch(expected);
    }
    void checkIndex(size_t index) const {
        if (index >= count_) [[unlikely]]
            raiseOutOfBounds(index);
    }
    [[noreturn]] void raiseTypeMismatch(ZAVWireArrayValueType expected) const;
    [[noreturn]] void raiseOutOfBounds(size_t index) const;
    // Resizes storage to exactly newCapacity elements; raises on failure.
    void reallocate(size_t newCapacity);
    void moveStorage(size_t newCapacity, size_t bytes);
    // Points the array at a new block of its element type (the counterpart of mutableData).
    void setData(void* block) { raw_ = static_cast<uint8_t*>(block); }
    // Copies count raw elements after the current ones (room must be there).
    void appendRaw(const void* values, size_t count);
    void releaseAll();
    // Lets go of the elements and the storage, leaving the fields as they are (the destructor needs no more).
    void freeStorage();
    void initWithValues(const void* values, size_t count);
    void initWithArray(const std::vector<ZAVWireObjectPtr>& array);
    template <typename T>
    T scalarAt(size_t index, ZAVWireArrayValueType type) const;
    std::string elementText(size_t index) const;
    ZAVWireObjectPtr boxed(size_t index) const;

    // The elements of an Object array, made in place in the raw storage.
    ZAVWireObjectPtr* objects() const { return reinterpret_cast<ZAVWireObjectPtr*>(raw_); }

    ZAVWireArrayValueType valueType_ = ZAVWireArrayValueTypeObject;
    bool arenaStorage_ = false;  // the storage is in arena_, not from the C allocator
    size_t capacity_ = 0;
    size_t count_ = 0;
    uint8_t* raw_ = nullptr;    // the elements: scalars, or ZAVWireObjectPtr for Object arrays
    ZAVWireArenaRef arena_;     // the arena storage was last taken from, kept while in use
    size_t arenaCapacity_ = 0;  // elements the arena block has room for
};

class ZAVWireMutableArray final : public ZAVWireArray {
  public:
    ZAVWireMutableArray() = default;
    explicit ZAVWireMutableArray(ZAVWireArrayValueType type) : ZAVWireArray(type) {}
    ~ZAVWireMutableArray() override;

    static ZAVWireMutableArrayPtr arrayWithValueType(ZAVWireArrayValueType type);
    static ZAVWireMutableArrayPtr arrayWithValueType(ZAVWireArrayValueType type, size_t capacity);
    static ZAVWireMutableArrayPtr arrayWithValues(const void* values, size_t count,
                                                  ZAVWireArrayValueType type);
    static ZAVWireMutableArrayPtr arrayWithArray(const std::vector<ZAVWireObjectPtr>& array,
                                                 ZAVWireArrayValueType type);
    static ZAVWireMutableArrayPtr arrayWithObject(ZAVWireObjectPtr object);
    static ZAVWireMutableArrayPtr arrayWithInt32(int32_t value);

    const char* className() const override { return "ZAVWireMutableArray"; }

    void addObject(ZAVWireObjectPtr object);
    void addBool(bool value);
    void addInt32(int32_t value);
    void addUInt32(uint32_t value);
    void addInt64(int64_t value);
    void addUInt64(uint64_t value);
    void addFloat(float value);
    void addDouble(double value);

    void replaceObjectAtIndex(size_t index, ZAVWireObjectPtr object);
    void replaceBoolAtIndex(size_t index, bool value);
    void replaceInt32AtIndex(size_t index, int32_t value);
    void replaceUInt32AtIndex(size_t index, uint32_t value);
    void replaceInt64AtIndex(size_t index, int64_t value);
    void replaceUInt64AtIndex(size_t index, uint64_t value);
    void replaceFloatAtIndex(size_t index, float value);
    void replaceDoubleAtIndex(size_t index, double value);
    // At the count adds, elsewhere replaces.
    void setObjectAtIndexedSubscript(ZAVWireObjectPtr object, size_t index);

    void appendArray(const ZAVWireArray* other);
    void appendValues(const void* values, ZAVWireArrayValueType type, size_t count);
    void setArray(const ZAVWireArray* other);
    void removeAllValues();
    void ensureAdditionalCapacity(size_t count);

    // Appends of a parse to an array it made and nobody else sees yet (no delegate, type known): the
    // common case without a call.
    void appendParsedObject(ZAVWireObjectPtr&& object, ZAVWireArena* arena) {
        if (count_ == capacity_) makeRoom(arena);
        new (&objects()[count_]) ZAVWireObjectPtr(std::move(object));
        ++count_;
        ++mutationCount_;
    }
    template <typename T>
    void appendParsedScalar(T value, ZAVWireArena* arena) {
        if (count_ == capacity_) makeRoom(arena);
        std::memcpy(raw_ + count_ * sizeof(T), &value, sizeof(T));
        ++count_;
        ++mutationCount_;
    }

    // A list a parse makes in its arena for a run of `count` scalars of type T it is about to read, made
    // together with its room; the parse fills the room through parsedRoom and counts it in with
    // setParsedCount. The list's own memory keeps the arena alive for as long as the list lives, so the room
    // needs no reference of its own. Taken in line: a parse makes thousands for short runs.
    struct ParsedRoom {};
    ZAVWireMutableArray(ParsedRoom, ZAVWireArrayValueType type, uint8_t* room, size_t count)
        : ZAVWireArray(type, room, count) {}
    template <typename T>
    __attribute__((always_inline)) static ZAVWireMutableArrayPtr makeParsed(ZAVWireArena* arena,
                                                                            ZAVWireArrayValueType type,
                                                                            size_t count) {
        auto* room = static_cast<uint8_t*>(arena->allocateObject(count * sizeof(T), alignof(uint64_t)));
        return std::allocate_shared<ZAVWireMutableArray>(ZAVWireArenaAllocator<ZAVWireMutableArray>(arena),
                                                         ParsedRoom{}, type, room, count);
    }
    template <typename T>
    T* parsedRoom() const {
        return reinterpret_cast<T*>(raw_);
    }
    // The first `count` elements of the room are filled.
    void setParsedCount(size_t count) {
        count_ = count;
        mutationCount_ = count;
    }
    // The delegate is any ZAVWireMutableArrayDelegate, or the message that made the list on read: messages,
    // made by the thousand in a parse, carry no interface table for it. One word holds either, marked.
    bool hasDelegate() const { return delegate_ != 0; }
    ZAVWireMutableArrayDelegate* delegate() const {
        return delegate_ & kMessageDelegate ? nullptr
                                            : reinterpret_cast<ZAVWireMutableArrayDelegate*>(delegate_);
    }
    ZAVWireGeneratedMessage* delegateMessage() const {
        return delegate_ & kMessageDelegate
                   ? reinterpret_cast<ZAVWireGeneratedMessage*>(delegate_ & ~kMessageDelegate)
                   : nullptr;
    }
    void setDelegate(ZAVWireMutableArrayDelegate* delegate) {
        delegate_ = reinterpret_cast<uintptr_t>(delegate);
    }
    void setDelegate(ZAVWireGeneratedMessage* message) {
        delegate_ = message ? reinterpret_cast<uintptr_t>(message) | kMessageDelegate : 0;
    }
    void setDelegate(std::nullptr_t) { delegate_ = 0; }
    uint64_t mutationCount() const { return mutationCount_; }
    [[noreturn]] void raiseMutatedFor() const;

    void enumerateObjectsUsingBlock(
        const std::function<void(const ZAVWireObjectPtr&, size_t, bool*)>& block) override;
    void enumerateInt32sUsingBlock(const std::function<void(int32_t, size_t, bool*)>& block) override;

  protected:
    const uint64_t* mutationCounter() const override { return &mutationCount_; }

  private:
    // Room for one more: the next capacity step within the arena block taken ahead, else growByOne, from
    // the parse's arena when the storage is there or not yet taken.
    void makeRoom(ZAVWireArena* arena) {
        size_t capacity = capacity_ == 0 ? 1 : ((count_ + 1 + 32) / 32) * 32;
        if (arenaStorage_ && capacity <= arenaCapacity_) {
            capacity_ = capacity;
        } else {
            growByOne(arena);
        }
    }
    void growByOne(ZAVWireArena* arena);
    template <typename T>
    void addScalar(T value, ZAVWireArrayValueType type);
    template <typename T>
    void replaceScalar(size_t index, T value, ZAVWireArrayValueType type);

    uint64_t mutationCount_ = 0;
    static constexpr uintptr_t kMessageDelegate = 1;
    void tellDelegate(uint64_t count);
    uintptr_t delegate_ = 0;
};
