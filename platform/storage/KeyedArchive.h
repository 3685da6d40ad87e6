#pragma once
// The platform's keyed object archive: a binary property list {"$archiver": "NSKeyedArchiver",
// "$version": 100000, "$top": {"root": <uid>}, "$objects": ["$null", ...]} in which objects refer to each
// other by unique ids. Value trees archive as the platform's dictionaries, arrays, strings, numbers, data,
// dates and null markers; other classes implement Coding and write their own keys.
//
// Unarchiving reads outside files. An archive that is malformed anywhere (a reference past the object
// table, a cycle, a container of the wrong shape, a class nobody registered, nesting past kMaxDepth or
// expansion past kMaxNodes) gives nothing at all, with a log line: a partly decoded object is never handed
// out. Classes are found by their "$classname" through ClassRegistry::shared(), as Coding factories.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/base/Value.h"

namespace plat {

class KeyedArchiver;
class KeyedUnarchiver;

// What a class implements to go into an archive. Register a factory for its class name
// (ClassRegistry::shared().registerFactory<Coding>(name, ...)) so that it can come back out.
class Coding {
  public:
    virtual ~Coding() = default;
    // The "$classname" written for the object.
    virtual std::string codingClassName() const = 0;
    virtual void encodeWithCoder(KeyedArchiver& coder) const = 0;
    // Called on a fresh object from the class's factory; false means the object could not be made and
    // decodes as null.
    virtual bool initWithCoder(KeyedUnarchiver& coder) = 0;
};

class KeyedArchive {
  public:
    static constexpr int kMaxDepth = 256;
    // Objects read from one archive, counting each visit of a shared one. Archiving what was read
    // writes several property-list nodes an object, so the bound stays far below the property list's
    // own, and whatever was read archives again and reads back; it also keeps a small file from
    // expanding into a tree that fills memory.
    static constexpr size_t kMaxNodes = 1u << 16;

    static std::optional<Bytes> archive(const Value& root);
    static std::optional<Bytes> archive(const std::shared_ptr<const Coding>& root);
    // Written atomically; false with a log line when the archive cannot be made or written.
    static bool archiveToFile(const std::filesystem::path& path, const std::shared_ptr<const Coding>& root);
    static bool archiveToFile(const std::filesystem::path& path, const Value& root);

    // The root as a Value tree; nothing when the archive is bad or its root is an object of a Coding class.
    static std::optional<Value> unarchiveValue(const void* data, size_t size);
    static std::optional<Value> unarchiveValue(const Bytes& bytes) {
        return unarchiveValue(bytes.data(), bytes.size());
    }
    // The root object; null when the archive is bad, the root is not a Coding object or not a T.
    static std::shared_ptr<Coding> unarchiveObject(const void* data, size_t size);
    template <typename T>
    static std::shared_ptr<T> unarchiveObject(const Bytes& bytes) {
        return std::dynamic_pointer_cast<T>(unarchiveObject(bytes.data(), bytes.size()));
    }
    // Null (quietly) when the file does not exist.
    static std::shared_ptr<Coding> unarchiveObjectFromFile(const std::filesystem::path& path);

  private:
    static std::shared_ptr<Coding> objectFromArchive(const Value& archive);
};

// Handed to Coding::encodeWithCoder: each encode writes one key of the object being archived.
class KeyedArchiver {
  public:
    // Objects: a Value tree (null writes the null reference), text, another Coding object, or a list of them.
    void encode(std::string_view key, const Value& value);
    void encode(std::string_view key, const char* text) { encode(key, Value(text)); }
    void encode(std::string_view key, const std::string& text) { encode(key, Value(text)); }
    void encode(std::string_view key, const std::shared_ptr<const Coding>& object);
    template <typename T, std::enable_if_t<std::is_base_of_v<Coding, T>, int> = 0>
    void encode(std::string_view key, const std::shared_ptr<T>& object) {
        encode(key, std::shared_ptr<const Coding>(object));
    }
    template <typename T, std::enable_if_t<std::is_base_of_v<Coding, T>, int> = 0>
    void encode(std::string_view key, const std::vector<std::shared_ptr<T>>& objects) {
        std::vector<std::shared_ptr<const Coding>> list(objects.begin(), objects.end());
        encodeObjects(key, list);
    }
    // Scalars are written in place, as the platform's encodeBool/encodeInt/encodeFloat/encodeDouble do.
    void encode(std::string_view key, bool b);
    template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
    void encode(std::string_view key, T i) {
        encodeInteger(key, static_cast<int64_t>(i));
    }
    void encode(std::string_view key, double d);
    void encode(std::string_view key, float f) { encode(key, static_cast<double>(f)); }

  private:
    friend class KeyedArchive;
    struct Impl;
    explicit KeyedArchiver(Impl& impl) : impl_(impl) {}
    void encodeInteger(std::string_view key, int64_t i);
    void encodeObjects(std::string_view key, const std::vector<std::shared_ptr<const Coding>>& objects);
    Impl& impl_;
};

// Handed to Coding::initWithCoder: each decode reads one key of the object being unarchived. An absent
// key gives null, false or 0; a key of the wrong kind gives the same with a log line.
class KeyedUnarchiver {
  public:
    bool containsValue(std::string_view key) const;
    // A Value tree, text or number; null for an object of a Coding class.
    Value decodeValue(std::string_view key);
    std::shared_ptr<Coding> decodeObject(std::string_view key);
    template <typename T>
    std::shared_ptr<T> decodeObject(std::string_view key) {
        auto object = decodeObject(key);
        auto typed = std::dynamic_pointer_cast<T>(object);
        if (object && !typed) wrongKind(key, "an object of another class");
        return typed;
    }
    // A list of objects of one class; elements of another kind are left out with a log line.
    template <typename T>
    std::vector<std::shared_ptr<T>> decodeObjects(std::string_view key) {
        std::vector<std::shared_ptr<T>> out;
        for (auto& object : decodeObjectList(key)) {
            if (auto typed = std::dynamic_pointer_cast<T>(object)) {
                out.push_back(std::move(typed));
            } else {
                wrongKind(key, "a list element of another class");
            }
        }
        return out;
    }
    bool decodeBool(std::string_view key);
    int32_t decodeInt32(std::string_view key);
    int64_t decodeInt64(std::string_view key);
    float decodeFloat(std::string_view key);
    double decodeDouble(std::string_view key);

  private:
    friend class KeyedArchive;
    struct Impl;
    explicit KeyedUnarchiver(Impl& impl) : impl_(impl) {}
    std::vector<std::shared_ptr<Coding>> decodeObjectList(std::string_view key);
    void wrongKind(std::string_view key, const char* what);
    Impl& impl_;
};

}  // namespace plat
