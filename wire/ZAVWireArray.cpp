#include "wire/ZAVWireArray.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/base/Assert.h"
#include "wire/ZAVWireGeneratedMessage.h"

namespace {

struct TypeRow {
    const char* name;
    size_t size;
};

constexpr TypeRow kTypes[] = {
    {"ZAVWireArrayValueTypeObject", sizeof(ZAVWireObjectPtr)},
    {"ZAVWireArrayValueTypeBool", 1},
    {"ZAVWireArrayValueTypeInt32", 4},
    {"ZAVWireArrayValueTypeUInt32", 4},
    {"ZAVWireArrayValueTypeInt64", 8},
    {"ZAVWireArrayValueTypeUInt64", 8},
    {"ZAVWireArrayValueTypeFloat", 4},
    {"ZAVWireArrayValueTypeDouble", 8},
};

[[noreturn]] void raiseMismatch(const char* expected) {
    ZAVWireRaise("ZAVWireArrayTypeMismatchException",
                 ZAVWireFormat("array value type mismatch (expected '%s')", expected));
}

}  // namespace

// The arrays made immutable: a copy of one is the array itself, so they keep a reference to themselves (the
// mutable arrays a parse makes by the thousand do not).
class ZAVWireImmutableArray final : public ZAVWireArray,
                                    public std::enable_shared_from_this<ZAVWireImmutableArray> {
  public:
    using ZAVWireArray::ZAVWireArray;
    ZAVWireObjectPtr copy() const override {
        return std::const_pointer_cast<ZAVWireImmutableArray>(shared_from_this());
    }
};

const char* ZAVWireArrayValueTypeName(ZAVWireArrayValueType type) {
    return (type >= 0 && type <= 7) ? kTypes[type].name : "?";
}

size_t ZAVWireArrayValueTypeSize(ZAVWireArrayValueType type) {
    return kTypes[type].size;
}

// ---- storage

ZAVWireArray::~ZAVWireArray() {
    freeStorage();
}

void ZAVWireArray::freeStorage() {
    if (valueType_ == ZAVWireArrayValueTypeObject) {
        for (size_t i = 0; i < count_; ++i) objects()[i].~ZAVWireObjectPtr();
    }
    if (arenaStorage_) {
        ZAVWIRE_ARENA_POISON(raw_, arenaCapacity_ * kTypes[valueType_].size);
    } else {
        std::free(raw_);
    }
}

void ZAVWireArray::releaseAll() {
    freeStorage();
    raw_ = nullptr;
    arenaStorage_ = false;
    arenaCapacity_ = 0;
    count_ = 0;
    capacity_ = 0;
}

const void* ZAVWireArray::data() const {
    return raw_;
}

void* ZAVWireArray::mutableData() {
    return raw_;
}

void ZAVWireArray::reallocate(size_t newCapacity) {
    size_t size = kTypes[valueType_].size;
    if (newCapacity > SIZE_MAX / size) {
        ZAVWireRaise("ZAVWireArrayAllocationFailureException",
                     ZAVWireFormat("failed to allocate %lu bytes", static_cast<unsigned long>(SIZE_MAX)));
    }
    size_t bytes = newCapacity * size;
    if (ZAVWireArena::current() || arenaStorage_) {
        moveStorage(newCapacity, bytes);
        return;
    }
    if (valueType_ == ZAVWireArrayValueTypeObject) {
        // Object references are moved by copying their bytes: a shared_ptr holds two plain pointers and
        // nothing refers back to where it lives, so growing a long list costs one block copy, not a move
        // of every element.
        static_assert(sizeof(ZAVWireObjectPtr) == 2 * sizeof(void*));
        void* fresh = std::realloc(raw_, bytes ? bytes : 1);
        if (!fresh) {
            ZAVWireRaise("ZAVWireArrayAllocationFailureException",
                         ZAVWireFormat("failed to allocate %lu bytes", static_cast<unsigned long>(bytes)));
        }
        raw_ = static_cast<uint8_t*>(fresh);
    } else {
        auto* fresh = static_cast<uint8_t*>(std::realloc(raw_, bytes ? bytes : 1));
        if (!fresh) {
            ZAVWireRaise("ZAVWireArrayAllocationFailureException",
                         ZAVWireFormat("failed to allocate %lu bytes", static_cast<unsigned long>(bytes)));
        }
        raw_ = fresh;
    }
    capacity_ = newCapacity;
}

// Storage is taken from the parse's arena while one runs; arena storage cannot be resized in place, so
// growing it (or growing any storage during a parse) copies the elements' bytes to a new block.
void ZAVWireArray::moveStorage(size_t newCapacity, size_t bytes) {
    void* old = static_cast<void*>(raw_);
    size_t oldArenaBytes = arenaCapacity_ * kTypes[valueType_].size;
    void* fresh;
    bool inArena = ZAVWireArena::current() != nullptr;
    if (arenaStorage_ && newCapacity <= arenaCapacity_) {
        capacity_ = newCapacity;
        return;
    }
    if (inArena) {
        // The block is sized ahead (doubling), so that a long list read element by element is not copied
        // at every step; the capacity the array reports keeps its own rule.
        size_t room = std::max(newCapacity, std::min(capacity_ * 2, SIZE_MAX / kTypes[valueType_].size));
        size_t roomBytes = room * kTypes[valueType_].size;
        fresh = ZAVWireBorrowMemory(arena_)->allocate(roomBytes ? roomBytes : 1, alignof(std::max_align_t));
        arenaCapacity_ = room;
    } else {
        fresh = std::malloc(bytes ? bytes : 1);
        if (!fresh) {
            ZAVWireRaise("ZAVWireArrayAllocationFailureException",
                         ZAVWireFormat("failed to allocate %lu bytes", static_cast<unsigned long>(bytes)));
        }
    }
    if (old) {
        std::memcpy(fresh, old, std::min(count_, newCapacity) * kTypes[valueType_].size);
        if (arenaStorage_) {
            ZAVWIRE_ARENA_POISON(old, oldArenaBytes);
        } else {
            std::free(old);
        }
    }
    setData(fresh);
    arenaStorage_ = inArena;
    capacity_ = newCapacity;
}

void ZAVWireArray::appendRaw(const void* values, size_t count) {
    if (count == 0) return;
    if (valueType_ == ZAVWireArrayValueTypeObject) {
        auto* src = static_cast<const ZAVWireObjectPtr*>(values);
        for (size_t i = 0; i < count; ++i) new (&objects()[count_ + i]) ZAVWireObjectPtr(src[i]);
    } else {
        std::memcpy(raw_ + count_ * kTypes[valueType_].size, values, count * kTypes[valueType_].size);
    }
    count_ += count;
}

// ---- creation

void ZAVWireArray::initWithValues(const void* values, size_t count) {
    if (count == 0) return;
    reallocate(count);
    appendRaw(values, count);
}

void ZAVWireArray::initWithArray(const std::vector<ZAVWireObjectPtr>& array) {
    if (array.empty()) return;
    if (valueType_ == ZAVWireArrayValueTypeObject) {
        initWithValues(array.data(), array.size());
        return;
    }
    reallocate(array.size());
    for (const auto& element : array) {
        auto* number = dynamic_cast<const ZAVWireNumber*>(element.get());
        if (!number) {
            ZAVWireRaise(
                "ZAVWireArrayNumberExpectedException",
                ZAVWireFormat("NSNumber expected (got '%s')", element ? element->className() : "nil"));
        }
        uint8_t* slot = raw_ + count_ * kTypes[valueType_].size;
        switch (valueType_) {
            case ZAVWireArrayValueTypeBool:
                *slot = number->charValue() != 0 ? 1 : 0;
                break;
            case ZAVWireArrayValueTypeInt32: {
                int32_t v = number->intValue();
                std::memcpy(slot, &v, 4);
                break;
            }
            case ZAVWireArrayValueTypeUInt32: {
                uint32_t v = number->unsignedIntValue();
                std::memcpy(slot, &v, 4);
                break;
            }
            case ZAVWireArrayValueTypeInt64: {
                int64_t v = number->longLongValue();
                std::memcpy(slot, &v, 8);
                break;
            }
            case ZAVWireArrayValueTypeUInt64: {
                uint64_t v = number->unsignedLongLongValue();
                std::memcpy(slot, &v, 8);
                break;
            }
            case ZAVWireArrayValueTypeFloat: {
                float v = number->floatValue();
                std::memcpy(slot, &v, 4);
                break;
            }
            case ZAVWireArrayValueTypeDouble: {
                double v = number->doubleValue();
                std::memcpy(slot, &v, 8);
                break;
            }
            default:
                break;
        }
        ++count_;
    }
}

ZAVWireArrayPtr ZAVWireArray::arrayWithValueType(ZAVWireArrayValueType type) {
    return ZAVWireMakeShared<ZAVWireImmutableArray>(type);
}

ZAVWireArrayPtr ZAVWireArray::arrayWithValues(const void* values, size_t count, ZAVWireArrayValueType type) {
    auto a = ZAVWireMakeShared<ZAVWireImmutableArray>(type);
    a->initWithValues(values, count);
    return a;
}

ZAVWireArrayPtr ZAVWireArray::arrayWithArray(const std::vector<ZAVWireObjectPtr>& array,
                                             ZAVWireArrayValueType type) {
    auto a = ZAVWireMakeShared<ZAVWireImmutableArray>(type);
    a->initWithArray(array);
    return a;
}

ZAVWireArrayPtr ZAVWireArray::arrayWithObject(ZAVWireObjectPtr object) {
    return arrayWithValues(&object, 1, ZAVWireArrayValueTypeObject);
}

ZAVWireArrayPtr ZAVWireArray::arrayWithInt32(int32_t value) {
    return arrayWithValues(&value, 1, ZAVWireArrayValueTypeInt32);
}

ZAVWireMutableArrayPtr ZAVWireArray::arrayWithObjects(std::initializer_list<ZAVWireObjectPtr> objects) {
    auto a = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeObject);
    for (const auto& o : objects) {
        if (!o) break;
        a->addObject(o);
    }
    return a;
}

ZAVWireMutableArrayPtr ZAVWireArray::arrayWithInt32s(std::initializer_list<int32_t> values) {
    auto a = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeInt32);
    for (int32_t v : values) {
        if (v == INT32_MAX) break;
        a->addInt32(v);
    }
    return a;
}

ZAVWireArrayPtr ZAVWireArray::arrayWithCount(size_t count, ZAVWireArrayValueType type) {
    auto a = ZAVWireMakeShared<ZAVWireImmutableArray>(type);
    if (count == 0) return a;
    try {
        a->reallocate(count);
    } catch (const std::exception&) {
        return nullptr;
    }
    if (type == ZAVWireArrayValueTypeObject) {
        for (size_t i = 0; i < count; ++i) new (&a->objects()[i]) ZAVWireObjectPtr();
    } else {
        std::memset(a->raw_, 0, count * kTypes[type].size);
    }
    a->count_ = count;
    return a;
}

ZAVWireMutableArrayPtr ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueType type) {
    return ZAVWireMakeShared<ZAVWireMutableArray>(type);
}

ZAVWireMutableArrayPtr ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueType type, size_t capacity) {
    auto a = ZAVWireMakeShared<ZAVWireMutableArray>(type);
    a->ensureAdditionalCapacity(capacity);
    return a;
}

ZAVWireMutableArrayPtr ZAVWireMutableArray::arrayWithValues(const void* values, size_t count,
                                                            ZAVWireArrayValueType type) {
    auto a = ZAVWireMakeShared<ZAVWireMutableArray>(type);
    a->initWithValues(values, count);
    return a;
}

ZAVWireMutableArrayPtr ZAVWireMutableArray::arrayWithArray(const std::vector<ZAVWireObjectPtr>& array,
                                                           ZAVWireArrayValueType type) {
    auto a = ZAVWireMakeShared<ZAVWireMutableArray>(type);
    a->initWithArray(array);
    return a;
}

ZAVWireMutableArrayPtr ZAVWireMutableArray::arrayWithObject(ZAVWireObjectPtr object) {
    return arrayWithValues(&object, 1, ZAVWireArrayValueTypeObject);
}

ZAVWireMutableArrayPtr ZAVWireMutableArray::arrayWithInt32(int32_t value) {
    return arrayWithValues(&value, 1, ZAVWireArrayValueTypeInt32);
}

// ---- reading

void ZAVWireArray::raiseTypeMismatch(ZAVWireArrayValueType expected) const {
    raiseMismatch(kTypes[expected].name);
}

void ZAVWireArray::raiseOutOfBounds(size_t index) const {
    ZAVWireRaise(NSRangeException,
                 ZAVWireFormat("idx (%lu) beyond bounds (%lu)", static_cast<unsigned long>(index),
                               static_cast<unsigned long>(count_)));
}

template <typename T>
T ZAVWireArray::scalarAt(size_t index, ZAVWireArrayValueType type) const {
    checkIndex(index);
    checkType(type);
    T v;
    std::memcpy(&v, raw_ + index * sizeof(T), sizeof(T));
    return v;
}

bool ZAVWireArray::boolAtIndex(size_t index) const {
    return scalarAt<uint8_t>(index, ZAVWireArrayValueTypeBool) != 0;
}
uint32_t ZAVWireArray::uint32AtIndex(size_t index) const {
    return scalarAt<uint32_t>(index, ZAVWireArrayValueTypeUInt32);
}
int64_t ZAVWireArray::int64AtIndex(size_t index) const {
    return scalarAt<int64_t>(index, ZAVWireArrayValueTypeInt64);
}
uint64_t ZAVWireArray::uint64AtIndex(size_t index) const {
    return scalarAt<uint64_t>(index, ZAVWireArrayValueTypeUInt64);
}
float ZAVWireArray::floatAtIndex(size_t index) const {
    return scalarAt<float>(index, ZAVWireArrayValueTypeFloat);
}
double ZAVWireArray::doubleAtIndex(size_t index) const {
    return scalarAt<double>(index, ZAVWireArrayValueTypeDouble);
}

ZAVWireObjectPtr ZAVWireArray::firstObject() const {
    checkType(ZAVWireArrayValueTypeObject);
    return count_ ? objects()[0] : nullptr;
}

ZAVWireObjectPtr ZAVWireArray::lastObject() const {
    checkType(ZAVWireArrayValueTypeObject);
    return count_ ? objects()[count_ - 1] : nullptr;
}

void ZAVWireArray::enumerateObjectsUsingBlock(
    const std::function<void(const ZAVWireObjectPtr&, size_t, bool*)>& block) {
    checkType(ZAVWireArrayValueTypeObject);
    bool stop = false;
    for (size_t i = 0; i < count_ && !stop; ++i) block(objects()[i], i, &stop);
}

void ZAVWireArray::enumerateInt32sUsingBlock(const std::function<void(int32_t, size_t, bool*)>& block) {
    checkType(ZAVWireArrayValueTypeInt32);
    bool stop = false;
    for (size_t i = 0; i < count_ && !stop; ++i) block(int32AtIndex(i), i, &stop);
}

ZAVWireObjectPtr ZAVWireArray::boxed(size_t index) const {
    // An object array has no value bytes at all (raw_ may be null), so it never indexes them.
    if (valueType_ == ZAVWireArrayValueTypeObject) return objects()[index];
    const uint8_t* p = raw_ + index * kTypes[valueType_].size;
    switch (valueType_) {
        case ZAVWireArrayValueTypeObject:
            return objects()[index];
        case ZAVWireArrayValueTypeBool:
            return ZAVWireNumber::withBool(*p != 0);
        case ZAVWireArrayValueTypeInt32:
            return ZAVWireNumber::withInt32(int32AtIndex(index));
        case ZAVWireArrayValueTypeUInt32:
            return ZAVWireNumber::withUInt32(uint32AtIndex(index));
        case ZAVWireArrayValueTypeInt64:
            return ZAVWireNumber::withInt64(int64AtIndex(index));
        case ZAVWireArrayValueTypeUInt64:
            return ZAVWireNumber::withUInt64(uint64AtIndex(index));
        case ZAVWireArrayValueTypeFloat:
            return ZAVWireNumber::withFloat(floatAtIndex(index));
        case ZAVWireArrayValueTypeDouble:
            return ZAVWireNumber::withDouble(doubleAtIndex(index));
    }
    return nullptr;
}

std::vector<ZAVWireObjectPtr> ZAVWireArray::array() const {
    std::vector<ZAVWireObjectPtr> out;
    out.reserve(count_);
    for (size_t i = 0; i < count_; ++i) out.push_back(boxed(i));
    return out;
}

std::vector<ZAVWireObjectPtr> ZAVWireArray::arrayWithConversion(
    const std::function<ZAVWireObjectPtr(const ZAVWireObjectPtr&)>& block) const {
    std::vector<ZAVWireObjectPtr> out;
    for (size_t i = 0; i < count_; ++i) {
        if (auto r = block(boxed(i))) out.push_back(std::move(r));
    }
    return out;
}

ZAVWireArrayPtr ZAVWireArray::arrayByAppendingArray(const ZAVWireArray& other) const {
    if (other.valueType_ != valueType_) raiseMismatch("array->_valueType");
    ZAVWireArrayPtr result;
    if (mutationCounter()) {
        result = ZAVWireMakeShared<ZAVWireMutableArray>(valueType_);
    } else {
        result = ZAVWireMakeShared<ZAVWireImmutableArray>(valueType_);
    }
    if (count_ + other.count_ == 0) return result;
    result->reallocate(count_ + other.count_);
    result->appendRaw(data(), count_);
    result->appendRaw(other.data(), other.count_);
    return result;
}

ZAVWireObjectPtr ZAVWireArray::valueForKey(const std::string& key) const {
    checkType(ZAVWireArrayValueTypeObject);
    auto out = ZAVWireMutableArray::arrayWithValueType(ZAVWireArrayValueTypeObject);
    for (size_t i = 0; i < count_; ++i) {
        ZAVWireObjectPtr v = objects()[i] ? objects()[i]->valueForKey(key) : nullptr;
        out->addObject(v ? v : ZAVWireObjectPtr(ZAVWireNull::null()));
    }
    return out;
}

void ZAVWireArray::setValueForKey(const ZAVWireObjectPtr& value, const std::string& key) {
    checkType(ZAVWireArrayValueTypeObject);
    for (size_t i = 0; i < count_; ++i) {
        if (objects()[i]) objects()[i]->setValueForKey(value, key);
    }
}

bool ZAVWireArray::isEqual(const ZAVWireRootObject* other) const {
    if (other == this) return true;
    auto* a = dynamic_cast<const ZAVWireArray*>(other);
    if (!a || a->valueType_ != valueType_ || a->count_ != count_) return false;
    if (valueType_ == ZAVWireArrayValueTypeObject) {
        for (size_t i = 0; i < count_; ++i) {
            if (!ZAVWireObjectsEqual(objects()[i].get(), a->objects()[i].get())) return false;
        }
        return true;
    }
    return count_ == 0 || std::memcmp(raw_, a->raw_, count_ * kTypes[valueType_].size) == 0;
}

std::string ZAVWireArray::elementText(size_t index) const {
    switch (valueType_) {
        case ZAVWireArrayValueTypeObject: {
            std::string text = objects()[index] ? objects()[index]->description() : "(null)";
            std::string out;
            for (char c : text) {
                out += c;
                if (c == '\n') out += '\t';
            }
            return out;
        }
        case ZAVWireArrayValueTypeBool:
            return boolAtIndex(index) ? "YES" : "NO";
        case ZAVWireArrayValueTypeInt32:
            return ZAVWireFormat("%d", int32AtIndex(index));
        case ZAVWireArrayValueTypeUInt32:
            return ZAVWireFormat("%u", uint32AtIndex(index));
        case ZAVWireArrayValueTypeInt64:
            return ZAVWireFormat("%lld", static_cast<long long>(int64AtIndex(index)));
        case ZAVWireArrayValueTypeUInt64:
            return ZAVWireFormat("%llu", static_cast<unsigned long long>(uint64AtIndex(index)));
        case ZAVWireArrayValueTypeFloat:
            return ZAVWireFormat("%f", static_cast<double>(floatAtIndex(index)));
        case ZAVWireArrayValueTypeDouble:
            return ZAVWireFormat("%lf", doubleAtIndex(index));
    }
    return {};
}

std::string ZAVWireArray::description() const {
    std::string out = ZAVWireFormat("<%s %p> { ", className(), static_cast<const void*>(this));
    bool objects = valueType_ == ZAVWireArrayValueTypeObject;
    for (size_t i = 0; i < count_; ++i) {
        bool last = i + 1 == count_;
        if (objects) out += i == 0 ? "\n\t" : "\t";
        out += elementText(i);
        out += objects ? (last ? "\n" : ",\n") : (last ? "" : ", ");
    }
    return out + " }";
}

ZAVWireObjectPtr ZAVWireArray::copy() const {
    auto a = ZAVWireMakeShared<ZAVWireImmutableArray>(valueType_);
    a->initWithValues(data(), count_);
    return a;
}

ZAVWireObjectPtr ZAVWireArray::mutableCopy() const {
    auto a = ZAVWireMakeShared<ZAVWireMutableArray>(valueType_);
    a->initWithValues(data(), count_);
    return a;
}

// ---- iteration

ZAVWireArray::Iterator::Iterator(const ZAVWireArray* array, size_t index, const uint64_t* mutations)
    : array_(array), index_(index), mutations_(mutations), start_(mutations ? *mutations : 0) {}

void ZAVWireArray::Iterator::check() const {
    if (mutations_ && *mutations_ != start_) {
        static_cast<const ZAVWireMutableArray*>(array_)->raiseMutatedFor();
    }
}

const ZAVWireObjectPtr& ZAVWireArray::Iterator::operator*() const {
    check();
    return array_->objectAtIndex(index_);
}

ZAVWireArray::Iterator& ZAVWireArray::Iterator::operator++() {
    check();
    ++index_;
    return *this;
}

ZAVWireArray::Iterator ZAVWireArray::begin() const {
    checkType(ZAVWireArrayValueTypeObject);
    return Iterator(this, 0, mutationCounter());
}

ZAVWireArray::Iterator ZAVWireArray::end() const {
    return Iterator(this, count_, nullptr);
}

// ---- changing

ZAVWireMutableArray::~ZAVWireMutableArray() {
    PLAT_ASSERT(delegate_ == 0, "Delegate must be cleared before release.");
}

void ZAVWireMutableArray::tellDelegate(uint64_t count) {
    if (ZAVWireGeneratedMessage* message = delegateMessage()) {
        message->pbMutableArrayWillAddElements(this, count);
    } else {
        delegate()->pbMutableArrayWillAddElements(this, count);
    }
}

void ZAVWireMutableArray::raiseMutatedFor() const {
    ZAVWireRaise(NSGenericException,
                 ZAVWireFormat("*** Collection <%s: %p> was mutated while being enumerated.", className(),
                               static_cast<const void*>(this)));
}

void ZAVWireMutableArray::ensureAdditionalCapacity(size_t n) {
    if (n > SIZE_MAX - count_) {
        ZAVWireRaise("ZAVWireArrayAllocationFailureException",
                     ZAVWireFormat("failed to allocate %lu bytes", static_cast<unsigned long>(SIZE_MAX)));
    }
    size_t needed = count_ + n;
    if (delegate_) tellDelegate(n);
    if (needed > capacity_) {
        size_t fresh = capacity_ == 0 ? needed : ((needed + 32) / 32) * 32;
        reallocate(fresh);
    }
}

void ZAVWireMutableArray::growByOne(ZAVWireArena* arena) {
    size_t needed = count_ + 1;
    size_t capacity = capacity_ == 0 ? needed : ((needed + 32) / 32) * 32;
    if (arenaStorage_ && capacity <= arenaCapacity_) {
        capacity_ = capacity;
        return;
    }
    bool fromArena = arenaStorage_ || !raw_;
    if (!arena || !fromArena || (arena_ && arena_.get() != arena)) {
        reallocate(capacity);
        return;
    }
    // Sized ahead (doubling) as the general path does, without its look-ups, in the arena's region for
    // growing lists, where the list being filled mostly grows in place.
    size_t size = kTypes[valueType_].size;
    size_t room = std::max(capacity, arenaCapacity_ * 2);
    // A short list of scalars would be copied on its second element (capacity 1, then 33): it gets the
    // room of the second step at once, a few dozen bytes.
    if (capacity_ == 0 && valueType_ != ZAVWireArrayValueTypeObject) room = std::max<size_t>(room, 33);
    if (room > SIZE_MAX / 2 / size) {
        reallocate(capacity);
        return;
    }
    void* old = mutableData();
    if (!arena_) arena_ = ZAVWireArenaRef::whileParsing(arena);
    if (old && arena->growInPlace(old, arenaCapacity_ * size, room * size)) {
        arenaCapacity_ = room;
        capacity_ = capacity;
        return;
    }
    void* fresh = arena->allocateGrowable(room * size);
    if (old) {
        std::memcpy(fresh, old, count_ * size);
        ZAVWIRE_ARENA_POISON(old, arenaCapacity_ * size);
    }
    setData(fresh);
    arenaStorage_ = true;
    arenaCapacity_ = room;
    capacity_ = capacity;
}

void ZAVWireMutableArray::addObject(ZAVWireObjectPtr object) {
    checkType(ZAVWireArrayValueTypeObject);
    ensureAdditionalCapacity(1);
    new (&objects()[count_]) ZAVWireObjectPtr(std::move(object));
    ++count_;
    ++mutationCount_;
}

template <typename T>
void ZAVWireMutableArray::addScalar(T value, ZAVWireArrayValueType type) {
    checkType(type);
    ensureAdditionalCapacity(1);
    std::memcpy(raw_ + count_ * sizeof(T), &value, sizeof(T));
    ++count_;
    ++mutationCount_;
}

void ZAVWireMutableArray::addBool(bool value) {
    addScalar<uint8_t>(value ? 1 : 0, ZAVWireArrayValueTypeBool);
}
void ZAVWireMutableArray::addInt32(int32_t value) {
    addScalar(value, ZAVWireArrayValueTypeInt32);
}
void ZAVWireMutableArray::addUInt32(uint32_t value) {
    addScalar(value, ZAVWireArrayValueTypeUInt32);
}
void ZAVWireMutableArray::addInt64(int64_t value) {
    addScalar(value, ZAVWireArrayValueTypeInt64);
}
void ZAVWireMutableArray::addUInt64(uint64_t value) {
    addScalar(value, ZAVWireArrayValueTypeUInt64);
}
void ZAVWireMutableArray::addFloat(float value) {
    addScalar(value, ZAVWireArrayValueTypeFloat);
}
void ZAVWireMutableArray::addDouble(double value) {
    addScalar(value, ZAVWireArrayValueTypeDouble);
}

template <typename T>
void ZAVWireMutableArray::replaceScalar(size_t index, T value, ZAVWireArrayValueType type) {
    checkType(type);
    checkIndex(index);
    std::memcpy(raw_ + index * sizeof(T), &value, sizeof(T));
    ++mutationCount_;
}

void ZAVWireMutableArray::replaceObjectAtIndex(size_t index, ZAVWireObjectPtr object) {
    checkType(ZAVWireArrayValueTypeObject);
    checkIndex(index);
    if (objects()[index] != object) objects()[index] = std::move(object);
    ++mutationCount_;
}

void ZAVWireMutableArray::replaceBoolAtIndex(size_t index, bool value) {
    replaceScalar<uint8_t>(index, value ? 1 : 0, ZAVWireArrayValueTypeBool);
}
void ZAVWireMutableArray::replaceInt32AtIndex(size_t index, int32_t value) {
    replaceScalar(index, value, ZAVWireArrayValueTypeInt32);
}
void ZAVWireMutableArray::replaceUInt32AtIndex(size_t index, uint32_t value) {
    replaceScalar(index, value, ZAVWireArrayValueTypeUInt32);
}
void ZAVWireMutableArray::replaceInt64AtIndex(size_t index, int64_t value) {
    replaceScalar(index, value, ZAVWireArrayValueTypeInt64);
}
void ZAVWireMutableArray::replaceUInt64AtIndex(size_t index, uint64_t value) {
    replaceScalar(index, value, ZAVWireArrayValueTypeUInt64);
}
void ZAVWireMutableArray::replaceFloatAtIndex(size_t index, float value) {
    replaceScalar(index, value, ZAVWireArrayValueTypeFloat);
}
void ZAVWireMutableArray::replaceDoubleAtIndex(size_t index, double value) {
    replaceScalar(index, value, ZAVWireArrayValueTypeDouble);
}

void ZAVWireMutableArray::setObjectAtIndexedSubscript(ZAVWireObjectPtr object, size_t index) {
    if (index == count_) {
        addObject(std::move(object));
    } else {
        replaceObjectAtIndex(index, std::move(object));
    }
}

void ZAVWireMutableArray::appendArray(const ZAVWireArray* other) {
    if (!other || other->capacity_ == 0) return;
    if (other->valueType_ != valueType_) raiseMismatch("array->_valueType");
    size_t n = other->count_;
    // Copy first: the other array may be this one.
    if (other == this) {
        auto copy = std::static_pointer_cast<ZAVWireArray>(mutableCopy());
        ensureAdditionalCapacity(n);
        appendRaw(copy->data(), n);
    } else {
        ensureAdditionalCapacity(n);
        appendRaw(other->data(), n);
    }
    ++mutationCount_;
}

void ZAVWireMutableArray::appendValues(const void* values, ZAVWireArrayValueType type, size_t count) {
    if (type != valueType_) raiseMismatch("valueType");
    ensureAdditionalCapacity(count);
    appendRaw(values, count);
    ++mutationCount_;
}

void ZAVWireMutableArray::setArray(const ZAVWireArray* other) {
    if (other == this) return;
    removeAllValues();
    appendArray(other);
}

void ZAVWireMutableArray::removeAllValues() {
    releaseAll();
    ++mutationCount_;
}

void ZAVWireMutableArray::enumerateObjectsUsingBlock(
    const std::function<void(const ZAVWireObjectPtr&, size_t, bool*)>& block) {
    checkType(ZAVWireArrayValueTypeObject);
    uint64_t start = mutationCount_;
    bool stop = false;
    for (size_t i = 0; i < count_ && !stop; ++i) {
        ZAVWireObjectPtr element = objects()[i];  // the block may replace it
        block(element, i, &stop);
        if (mutationCount_ != start) raiseMutatedFor();
    }
}

void ZAVWireMutableArray::enumerateInt32sUsingBlock(
    const std::function<void(int32_t, size_t, bool*)>& block) {
    checkType(ZAVWireArrayValueTypeInt32);
    uint64_t start = mutationCount_;
    bool stop = false;
    for (size_t i = 0; i < count_ && !stop; ++i) {
        block(int32AtIndex(i), i, &stop);
        if (mutationCount_ != start) raiseMutatedFor();
    }
}
