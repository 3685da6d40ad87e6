#pragma once
// The plain objects of the tag manager: what the data layer, the container getters and the tags hand
// around. Immutable and shared; absent is a null pointer. Identity is the pointer's (the default objects
// of ZAVTypes are told apart from real data that way); equality and hashing go by content, so maps can
// be keyed by any object. Maps keep their keys in insertion order, so text forms come out fixed.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/base/Value.h"
#include "wire/schema/ZAVPTypeSystem.h"

class ZAVObject;
using ZAVObjectPtr = std::shared_ptr<const ZAVObject>;
using ZAVPValuePtr = std::shared_ptr<ZAVPValue>;

class ZAVObject {
  public:
    enum class Kind { Text, Integer, Floating, Boolean, List, Map, Value, Null, NotPresent, Opaque };

    struct Hash {
        size_t operator()(const ZAVObjectPtr& object) const;
    };
    struct Equal {
        bool operator()(const ZAVObjectPtr& a, const ZAVObjectPtr& b) const;
    };
    using List = std::vector<ZAVObjectPtr>;
    using Entries = std::vector<std::pair<ZAVObjectPtr, ZAVObjectPtr>>;

    virtual ~ZAVObject() = default;
    ZAVObject(const ZAVObject&) = delete;
    ZAVObject& operator=(const ZAVObject&) = delete;

    static ZAVObjectPtr text(std::string text);
    static ZAVObjectPtr integer(int64_t value);
    static ZAVObjectPtr floating(double value);
    static ZAVObjectPtr list(List items);
    // A later key equal to an earlier one replaces its value in the earlier place.
    static ZAVObjectPtr map(const Entries& entries);
    // A map with the keys of the map `keysOf`, in its order, and new values: `entries` holds exactly its
    // keys, in its order. The key index is shared rather than built again.
    static ZAVObjectPtr mapWithKeysOf(const ZAVObjectPtr& keysOf, Entries entries);
    static ZAVObjectPtr value(ZAVPValuePtr value);
    // Dates and bytes: carried through unchanged, converted by nothing.
    static ZAVObjectPtr opaque(plat::Value value);
    // The data layer's explicit null and its "no such key" marker: one object each.
    static const ZAVObjectPtr& nullMarker();
    static const ZAVObjectPtr& notPresent();

    Kind kind() const { return kind_; }
    bool isText() const { return kind_ == Kind::Text; }
    bool isNumber() const { return kind_ == Kind::Integer || kind_ == Kind::Floating; }
    bool isIntegerNumber() const { return kind_ == Kind::Integer; }
    bool isFloatingNumber() const { return kind_ == Kind::Floating; }
    bool isBoolean() const { return kind_ == Kind::Boolean; }
    bool isList() const { return kind_ == Kind::List; }
    bool isMap() const { return kind_ == Kind::Map; }
    bool isValue() const { return kind_ == Kind::Value; }

    // Typed contents; empty or zero for another kind.
    const std::string& textValue() const;
    int64_t int64Value() const;
    // A number as double (an integer converted); 0 for anything else.
    double doubleValue() const;
    virtual bool boolValue() const { return false; }
    const List& items() const;
    const Entries& entries() const;
    // The map's value for a key; null when absent or not a map.
    ZAVObjectPtr objectForKey(const ZAVObjectPtr& key) const;
    ZAVObjectPtr objectForKey(const std::string& key) const;
    // Where the key is in entries(); none when absent or not a map.
    std::optional<size_t> positionOfKey(const ZAVObjectPtr& key) const;
    const ZAVPValuePtr& pvalue() const;
    const plat::Value& opaqueValue() const;

    // By content: numbers by value (an integer 1 equals a floating 1.0); a boolean only equals a boolean;
    // values by message equality; the markers only themselves.
    virtual bool isEqual(const ZAVObject& other) const;
    virtual size_t hash() const;
    // A short name of the kind, for log lines.
    virtual std::string typeName() const;
    // The object's own text: text itself, "true"/"false", the shortest decimal form of a number, a
    // value's message description, lists and maps as "[a, b]" and "{k=v}".
    virtual std::string description() const;

    // To and from the platform's value trees (JSON, property lists, archives). A platform boolean reads as
    // an integer 1 or 0, as the platform's readers deliver them; null reads as the null marker. Writing
    // fails (empty) for container values, the not-present marker and maps with keys that are not text.
    static ZAVObjectPtr fromPlatformValue(const plat::Value& value);
    static std::optional<plat::Value> toPlatformValue(const ZAVObjectPtr& object);

  protected:
    explicit ZAVObject(Kind kind) : kind_(kind) {}

  private:
    // Maps up to this many entries keep no hash index: their keys are scanned.
    static constexpr size_t kScannedMapSize = 8;
    Kind kind_;
    std::string text_;
    int64_t integer_ = 0;
    double floating_ = 0;
    List list_;
    Entries entries_;
    std::shared_ptr<const std::unordered_map<ZAVObjectPtr, size_t, Hash, Equal>> index_;  // null: scanned
    ZAVPValuePtr pvalue_;
    plat::Value opaque_;
};

// The shortest decimal text that reads back to the same double ("1.5", "12", "1e+30").
std::string ZAVFloatingText(double value);
