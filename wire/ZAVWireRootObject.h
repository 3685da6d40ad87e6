#pragma once
// The runtime's object model: messages, strings, data, numbers, arrays and unknown-field sets share one base
// so that arrays of objects, descriptions, equality and key-value access work the same for all of them.
// Failures are plat::Exception with the names below; broken invariants raise
// NSInternalInconsistencyException.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* NSParseErrorException = "NSParseErrorException";
inline constexpr const char* NSInvalidArgumentException = "NSInvalidArgumentException";
inline constexpr const char* NSRangeException = "NSRangeException";
inline constexpr const char* NSInternalInconsistencyException = "NSInternalInconsistencyException";
inline constexpr const char* NSGenericException = "NSGenericException";
inline constexpr const char* NSUndefinedKeyException = "NSUndefinedKeyException";

[[noreturn]] void ZAVWireRaise(const char* name, std::string reason);
std::string ZAVWireFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// An internal consistency check: raises NSInternalInconsistencyException with the formatted text.
#define ZAVWIRE_ASSERT(condition, ...)                                                                  \
    do {                                                                                                \
        if (!(condition)) ::ZAVWireRaise(NSInternalInconsistencyException, ZAVWireFormat(__VA_ARGS__)); \
    } while (0)

class ZAVWireRootObject;
using ZAVWireObjectPtr = std::shared_ptr<ZAVWireRootObject>;

class ZAVWireRootObject {
  public:
    virtual ~ZAVWireRootObject() = default;

    virtual const char* className() const = 0;
    // "<Class: 0x...>" unless the kind says more.
    virtual std::string description() const;
    // Identity unless the kind compares contents.
    virtual bool isEqual(const ZAVWireRootObject* other) const { return other == this; }
    bool isEqual(const ZAVWireObjectPtr& other) const { return isEqual(other.get()); }
    virtual size_t hash() const { return reinterpret_cast<size_t>(this); }
    virtual ZAVWireObjectPtr copy() const = 0;
    virtual ZAVWireObjectPtr mutableCopy() const { return copy(); }
    // Key-value access; kinds without keys raise NSUndefinedKeyException.
    virtual ZAVWireObjectPtr valueForKey(const std::string& key) const;
    virtual void setValueForKey(const ZAVWireObjectPtr& value, const std::string& key);

    // "%p" of this object, as descriptions print it.
    std::string addressText() const { return ZAVWireFormat("%p", static_cast<const void*>(this)); }
};

// The kinds that hand out references to themselves: immutable values (a copy is the object itself),
// descriptors and extensions. Messages and arrays, made by the thousand in a parse, carry no reference to
// themselves, which keeps them smaller and their making and releasing free of atomic operations.
class ZAVWireSharedObject : public ZAVWireRootObject,
                            public std::enable_shared_from_this<ZAVWireSharedObject> {
  public:
    // Immutable kinds answer themselves.
    ZAVWireObjectPtr copy() const override;
};

// Equality of two possibly absent objects: both absent, or equal by isEqual.
bool ZAVWireObjectsEqual(const ZAVWireRootObject* a, const ZAVWireRootObject* b);

// The single null marker that key-value answers use where a value is absent.
class ZAVWireNull final : public ZAVWireSharedObject {
  public:
    static const std::shared_ptr<ZAVWireNull>& null();
    const char* className() const override { return "NSNull"; }
    std::string description() const override { return "<null>"; }
};

// An immutable byte string.
class ZAVWireData : public ZAVWireSharedObject {
  public:
    static std::shared_ptr<ZAVWireData> create(const uint8_t* bytes, size_t length);
    static std::shared_ptr<ZAVWireData> create(std::string_view bytes);
    static std::shared_ptr<ZAVWireData> create(std::vector<uint8_t> bytes);
    // A zero-filled buffer of the given length that a writer fills.
    static std::shared_ptr<ZAVWireData> withLength(size_t length);

    const char* className() const override { return "NSData"; }
    const uint8_t* bytes() const { return bytes_.data(); }
    uint8_t* mutableBytes() { return bytes_.data(); }
    size_t length() const { return bytes_.size(); }
    const std::vector<uint8_t>& vector() const { return bytes_; }

    // "<0a0b0c0d 0e>": hex in groups of four bytes.
    std::string description() const override;
    bool isEqual(const ZAVWireRootObject* other) const override;
    size_t hash() const override;
    ZAVWireObjectPtr copy() const override;
    ZAVWireObjectPtr mutableCopy() const override;

  private:
    std::vector<uint8_t> bytes_;
};

// A boxed scalar that keeps its kind: a float stays a float, an unsigned 64-bit value stays unsigned.
class ZAVWireNumber final : public ZAVWireSharedObject {
  public:
    enum class Kind { Bool, Int32, UInt32, Int64, UInt64, Float, Double };

    static std::shared_ptr<ZAVWireNumber> withBool(bool v);
    static std::shared_ptr<ZAVWireNumber> withInt32(int32_t v);
    static std::shared_ptr<ZAVWireNumber> withUInt32(uint32_t v);
    static std::shared_ptr<ZAVWireNumber> withInt64(int64_t v);
    static std::shared_ptr<ZAVWireNumber> withUInt64(uint64_t v);
    static std::shared_ptr<ZAVWireNumber> withFloat(float v);
    static std::shared_ptr<ZAVWireNumber> withDouble(double v);

    const char* className() const override { return "NSNumber"; }
    Kind kind() const { return kind_; }
    bool boolValue() const;
    int8_t charValue() const { return static_cast<int8_t>(longLongValue()); }
    int32_t intValue() const { return static_cast<int32_t>(longLongValue()); }
    uint32_t unsignedIntValue() const { return static_cast<uint32_t>(unsignedLongLongValue()); }
    int64_t longLongValue() const;
    uint64_t unsignedLongLongValue() const;
    float floatValue() const { return static_cast<float>(doubleValue()); }
    double doubleValue() const;

    std::string description() const override;
    bool isEqual(const ZAVWireRootObject* other) const override;
    size_t hash() const override;

  private:
    Kind kind_ = Kind::Int64;
    union {
        int64_t i;
        uint64_t u;
        double d;
    } v_{};
};
