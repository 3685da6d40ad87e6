#include "platform/storage/KeyedArchive.h"

#include <cstdarg>
#include <cstdio>
#include <set>
#include <utility>

#include "platform/base/ClassRegistry.h"
#include "platform/base/Log.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/PropertyList.h"

namespace plat {
namespace {

constexpr const char* kUidKey = "CF$UID";
constexpr const char* kNullMarker = "$null";
constexpr const char* kArchiverName = "NSKeyedArchiver";
constexpr int64_t kArchiveVersion = 100000;
// Dates in archives count from 2001-01-01 00:00:00 UTC.
constexpr double kReferenceDateOffset = 978307200.0;

Value uidValue(int64_t uid) {
    return Value(Value::Dictionary{{kUidKey, Value(uid)}});
}

// A reference is a dictionary holding only "CF$UID" (the property-list reader's form of a unique id).
std::optional<int64_t> uidOf(const Value& v) {
    const Value::Dictionary* d = v.dictionaryIf();
    if (!d || d->size() != 1) return std::nullopt;
    const Value* n = d->find(kUidKey);
    if (!n || !n->isInteger()) return std::nullopt;
    return *n->integerIf();
}

// Keys of the archive's own ("$class", ...) start with "$"; an object's key that does too gets one more.
std::string escapeKey(std::string_view key) {
    std::string out;
    if (!key.empty() && key.front() == '$') out += '$';
    out += key;
    return out;
}

enum class Kind { Null, Date, String, Data, Array, Dictionary, Coded, Unknown };

Kind builtinKind(std::string_view name) {
    if (name == "NSNull") return Kind::Null;
    if (name == "NSDate") return Kind::Date;
    if (name == "NSString" || name == "NSMutableString") return Kind::String;
    if (name == "NSData" || name == "NSMutableData") return Kind::Data;
    if (name == "NSArray" || name == "NSMutableArray" || name == "NSSet" || name == "NSMutableSet" ||
        name == "NSOrderedSet" || name == "NSMutableOrderedSet") {
        return Kind::Array;
    }
    if (name == "NSDictionary" || name == "NSMutableDictionary") return Kind::Dictionary;
    return Kind::Unknown;
}

}  // namespace

// ---- archiving ----

struct KeyedArchiver::Impl {
    Value::Array objects{Value(kNullMarker)};
    std::map<std::string, int64_t, std::less<>> strings;
    std::map<std::string, int64_t, std::less<>> classes;
    std::map<const Coding*, int64_t> coded;
    std::set<const Coding*> inProgress;
    std::vector<Value::Dictionary*> contexts;
    std::optional<int64_t> nullObject;
    int depth = 0;
    bool failed = false;

    void fail(const char* problem) {
        if (!failed) logError("KeyedArchive: cannot archive: %s", problem);
        failed = true;
    }

    int64_t reserve() {
        objects.emplace_back();
        return static_cast<int64_t>(objects.size() - 1);
    }

    int64_t put(Value v) {
        objects.push_back(std::move(v));
        return static_cast<int64_t>(objects.size() - 1);
    }

    int64_t classUid(const std::string& name) {
        if (auto it = classes.find(name); it != classes.end()) return it->second;
        Value::Array chain{Value(name)};
        if (name != "NSObject") chain.push_back(Value("NSObject"));
        int64_t uid =
            put(Value(Value::Dictionary{{"$classes", Value(std::move(chain))}, {"$classname", name}}));
        classes.emplace(name, uid);
        return uid;
    }

    int64_t addString(const std::string& s) {
        if (auto it = strings.find(s); it != strings.end()) return it->second;
        int64_t uid = put(Value(s));
        strings.emplace(s, uid);
        return uid;
    }

    int64_t addValue(const Value& v) {
        if (failed) return 0;
        if (depth >= KeyedArchive::kMaxDepth) {
            fail("nested too deeply");
            return 0;
        }
        switch (v.type()) {
            case Value::Type::Null:
                if (!nullObject)
                    nullObject = put(Value(Value::Dictionary{{"$class", uidValue(classUid("NSNull"))}}));
                return *nullObject;
            case Value::Type::Bool:
            case Value::Type::Integer:
            case Value::Type::Real:
            case Value::Type::Data:
                return put(v);
            case Value::Type::String:
                return addString(*v.stringIf());
            case Value::Type::Date:
                return put(Value(
                    Value::Dictionary{{"NS.time", Value(v.dateIf()->secondsSince1970 - kReferenceDateOffset)},
                                      {"$class", uidValue(classUid("NSDate"))}}));
            case Value::Type::Array: {
                int64_t slot = reserve();
                ++depth;
                Value::Array refs;
                for (const Value& item : *v.arrayIf()) refs.push_back(uidValue(addValue(item)));
                --depth;
                objects[slot] = Value(Value::Dictionary{{"NS.objects", Value(std::move(refs))},
                                                        {"$class", uidValue(classUid("NSArray"))}});
                return slot;
            }
            case Value::Type::Dictionary: {
                int64_t slot = reserve();
                ++depth;
                Value::Array keys, refs;
                for (const auto& [key, item] : *v.dictionaryIf()) {
                    keys.push_back(uidValue(addString(key)));
                    refs.push_back(uidValue(addValue(item)));
                }
                --depth;
                objects[slot] = Value(Value::Dictionary{{"NS.keys", Value(std::move(keys))},
                                                        {"NS.objects", Value(std::move(refs))},
                                                        {"$class", uidValue(classUid("NSDictionary"))}});
                return slot;
            }
        }
        return 0;
    }

    int64_t addObject(const Coding* object) {
        if (!object || failed) return 0;
        if (auto it = coded.find(object); it != coded.end()) return it->second;
        if (inProgress.count(object)) {
            fail("an object refers to itself");
            return 0;
        }
        if (depth >= KeyedArchive::kMaxDepth) {
            fail("nested too deeply");
            return 0;
        }
        int64_t slot = reserve();
        inProgress.insert(object);
        Value::Dictionary fields;
        contexts.push_back(&fields);
        ++depth;
        KeyedArchiver coder(*this);
        object->encodeWithCoder(coder);
        --depth;
        contexts.pop_back();
        inProgress.erase(object);
        fields.set("$class", uidValue(classUid(object->codingClassName())));
        objects[slot] = Value(std::move(fields));
        coded.emplace(object, slot);
        return slot;
    }

    void set(std::string_view key, Value v) {
        if (contexts.empty()) return;
        contexts.back()->set(escapeKey(key), std::move(v));
    }

    std::optional<Bytes> finish(int64_t root) {
        if (failed) return std::nullopt;
        Value archive(Value::Dictionary{{"$version", kArchiveVersion},
                                        {"$archiver", kArchiverName},
                                        {"$top", Value::Dictionary{{"root", uidValue(root)}}},
                                        {"$objects", Value(std::move(objects))}});
        auto bytes = PropertyList::serialize(archive, PropertyList::Format::Binary);
        if (!bytes) logError("KeyedArchive: cannot archive: the property list cannot be written");
        return bytes;
    }
};

void KeyedArchiver::encode(std::string_view key, const Value& value) {
    impl_.set(key, uidValue(value.isNull() ? 0 : impl_.addValue(value)));
}

void KeyedArchiver::encode(std::string_view key, const std::shared_ptr<const Coding>& object) {
    impl_.set(key, uidValue(impl_.addObject(object.get())));
}

void KeyedArchiver::encodeObjects(std::string_view key,
                                  const std::vector<std::shared_ptr<const Coding>>& list) {
    int64_t slot = impl_.reserve();
    Value::Array refs;
    for (const auto& object : list)
        refs.push_back(uidValue(object ? impl_.addObject(object.get()) : impl_.addValue(Value())));
    impl_.objects[slot] = Value(Value::Dictionary{{"NS.objects", Value(std::move(refs))},
                                                  {"$class", uidValue(impl_.classUid("NSArray"))}});
    impl_.set(key, uidValue(slot));
}

void KeyedArchiver::encode(std::string_view key, bool b) {
    impl_.set(key, Value(b));
}

void KeyedArchiver::encodeInteger(std::string_view key, int64_t i) {
    impl_.set(key, Value(i));
}

void KeyedArchiver::encode(std::string_view key, double d) {
    impl_.set(key, Value(d));
}

std::optional<Bytes> KeyedArchive::archive(const Value& root) {
    KeyedArchiver::Impl impl;
    int64_t uid = impl.addValue(root);
    return impl.finish(uid);
}

std::optional<Bytes> KeyedArchive::archive(const std::shared_ptr<const Coding>& root) {
    KeyedArchiver::Impl impl;
    int64_t uid = impl.addObject(root.get());
    return impl.finish(uid);
}

// ---- unarchiving ----

struct KeyedUnarchiver::Impl {
    const Value::Array* objects = nullptr;
    std::vector<uint8_t> open;
    std::map<int64_t, std::shared_ptr<Coding>> decoded;
    std::vector<const Value::Dictionary*> contexts;
    size_t nodes = 0;
    int depth = 0;
    bool failed = false;

    __attribute__((format(printf, 2, 3))) void fail(const char* format, ...) {
        if (failed) return;
        failed = true;
        char text[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        logError("KeyedArchive: cannot unarchive: %s", text);
    }

    // The object at `uid` after the checks every reference needs; null after a failure.
    const Value* at(int64_t uid) {
        if (failed) return nullptr;
        if (uid < 0 || static_cast<uint64_t>(uid) >= objects->size()) {
            fail("reference %lld is past the %zu objects", static_cast<long long>(uid), objects->size());
            return nullptr;
        }
        if (open[uid]) {
            fail("object %lld refers to itself", static_cast<long long>(uid));
            return nullptr;
        }
        if (++nodes > KeyedArchive::kMaxNodes) {
            fail("more than %zu objects", KeyedArchive::kMaxNodes);
            return nullptr;
        }
        return &(*objects)[uid];
    }

    // The kind of an object with a "$class"; the class name goes to `name`.
    Kind kindOf(const Value& object, std::string* name) {
        const Value::Dictionary* fields = object.dictionaryIf();
        if (!fields || uidOf(object)) return Kind::Unknown;
        const Value* classRef = fields->find("$class");
        auto classUid = classRef ? uidOf(*classRef) : std::nullopt;
        if (!classUid || *classUid <= 0 || static_cast<uint64_t>(*classUid) >= objects->size())
            return Kind::Unknown;
        const Value& cls = (*objects)[*classUid];
        const std::string* className = cls["$classname"].stringIf();
        if (!className) return Kind::Unknown;
        *name = *className;
        if (Kind k = builtinKind(*className); k != Kind::Unknown) return k;
        if (ClassRegistry::shared().contains(*className)) return Kind::Coded;
        // A subclass of a built-in collection nobody registered still reads as that collection.
        if (const Value::Array* chain = cls["$classes"].arrayIf()) {
            for (const Value& super : *chain) {
                if (const std::string* s = super.stringIf()) {
                    if (Kind k = builtinKind(*s); k != Kind::Unknown) return k;
                }
            }
        }
        return Kind::Coded;
    }

    bool isCoded(int64_t uid) {
        if (uid <= 0 || static_cast<uint64_t>(uid) >= objects->size()) return false;
        std::string name;
        return kindOf((*objects)[uid], &name) == Kind::Coded;
    }

    // The uids of a field that must hold a list of references.
    const Value::Array* refList(const Value& object, const char* field, int64_t uid) {
        const Value::Array* list = object[field].arrayIf();
        if (!list) {
            fail("object %lld has no %s list", static_cast<long long>(uid), field);
            return nullptr;
        }
        for (const Value& ref : *list) {
            if (!uidOf(ref)) {
                fail("object %lld holds something other than references in %s", static_cast<long long>(uid),
                     field);
                return nullptr;
            }
        }
        return list;
    }

    std::optional<Value> decodeValue(int64_t uid) {
        if (uid == 0) return Value();
        const Value* object = at(uid);
        if (!object) return std::nullopt;
        switch (object->type()) {
            case Value::Type::Bool:
            case Value::Type::Integer:
            case Value::Type::Real:
            case Value::Type::String:
            case Value::Type::Data:
                return *object;
            default:
                break;
        }
        std::string name;
        switch (kindOf(*object, &name)) {
            case Kind::Null:
                return Value();
            case Kind::Date: {
                const Value& t = (*object)["NS.time"];
                if (!t.isInteger() && !t.isReal()) break;
                return Value(Value::Date{t.toDouble() + kReferenceDateOffset});
            }
            case Kind::String:
                if (const std::string* s = (*object)["NS.string"].stringIf()) return Value(*s);
                break;
            case Kind::Data:
                if (const Bytes* b = (*object)["NS.data"].dataIf()) return Value(*b);
                break;
            case Kind::Array: {
                const Value::Array* refs = refList(*object, "NS.objects", uid);
                if (!refs || !enter(uid)) return std::nullopt;
                Value::Array out;
                out.reserve(refs->size());
                for (const Value& ref : *refs) {
                    auto item = decodeValue(*uidOf(ref));
                    if (!item) break;
                    out.push_back(std::move(*item));
                }
                leave(uid);
                if (failed) return std::nullopt;
                return Value(std::move(out));
            }
            case Kind::Dictionary: {
                const Value::Array* keys = refList(*object, "NS.keys", uid);
                const Value::Array* refs = keys ? refList(*object, "NS.objects", uid) : nullptr;
                if (!refs) return std::nullopt;
                if (keys->size() != refs->size()) {
                    fail("dictionary %lld has %zu keys for %zu values", static_cast<long long>(uid),
                         keys->size(), refs->size());
                    return std::nullopt;
                }
                if (!enter(uid)) return std::nullopt;
                Value::Dictionary out;
                for (size_t i = 0; i < keys->size() && !failed; ++i) {
                    auto key = decodeValue(*uidOf((*keys)[i]));
                    if (!key) break;
                    if (!key->isString()) {
                        fail("dictionary %lld has a key that is not text", static_cast<long long>(uid));
                        break;
                    }
                    auto item = decodeValue(*uidOf((*refs)[i]));
                    if (!item) break;
                    out.set(std::move(*key->stringIf()), std::move(*item));
                }
                leave(uid);
                if (failed) return std::nullopt;
                return Value(std::move(out));
            }
            case Kind::Coded:
                fail("object %lld of class %s where a plain value belongs", static_cast<long long>(uid),
                     name.c_str());
                return std::nullopt;
            case Kind::Unknown:
                break;
        }
        fail("object %lld is malformed", static_cast<long long>(uid));
        return std::nullopt;
    }

    std::shared_ptr<Coding> decodeObject(int64_t uid) {
        if (uid == 0) return nullptr;
        if (auto it = decoded.find(uid); it != decoded.end()) return it->second;
        const Value* object = at(uid);
        if (!object) return nullptr;
        std::string name;
        if (kindOf(*object, &name) != Kind::Coded) {
            fail("object %lld is not an object of a class", static_cast<long long>(uid));
            return nullptr;
        }
        std::shared_ptr<Coding> made = ClassRegistry::shared().create<Coding>(name);
        if (!made) {
            fail("no class \"%s\" is registered for unarchiving", name.c_str());
            return nullptr;
        }
        if (!enter(uid)) return nullptr;
        contexts.push_back(object->dictionaryIf());
        KeyedUnarchiver coder(*this);
        bool ok = made->initWithCoder(coder);
        contexts.pop_back();
        leave(uid);
        if (!ok) made = nullptr;
        decoded.emplace(uid, made);
        return made;
    }

    bool enter(int64_t uid) {
        if (depth >= KeyedArchive::kMaxDepth) {
            fail("nested deeper than %d levels", KeyedArchive::kMaxDepth);
            return false;
        }
        ++depth;
        open[uid] = 1;
        return true;
    }

    void leave(int64_t uid) {
        --depth;
        open[uid] = 0;
    }

    const Value* field(std::string_view key) const {
        if (contexts.empty()) return nullptr;
        return contexts.back()->find(escapeKey(key));
    }

    // The root reference of a parsed archive; null after logging when the outer shape is wrong.
    std::optional<int64_t> start(const Value& archive) {
        const std::string* archiver = archive["$archiver"].stringIf();
        objects = archive["$objects"].arrayIf();
        auto root = uidOf(archive["$top"]["root"]);
        if (!archiver || *archiver != kArchiverName || !objects || objects->empty() || !root) {
            fail("not a keyed archive");
            return std::nullopt;
        }
        open.assign(objects->size(), 0);
        return root;
    }
};

bool KeyedUnarchiver::containsValue(std::string_view key) const {
    return impl_.field(key) != nullptr;
}

void KeyedUnarchiver::wrongKind(std::string_view key, const char* what) {
    logWarning("KeyedArchive: key \"%.*s\" holds %s", static_cast<int>(key.size()), key.data(), what);
}

Value KeyedUnarchiver::decodeValue(std::string_view key) {
    const Value* v = impl_.field(key);
    if (!v) return Value();
    if (auto uid = uidOf(*v)) {
        if (impl_.isCoded(*uid)) {
            wrongKind(key, "an object of a class, not a plain value");
            return Value();
        }
        return impl_.decodeValue(*uid).value_or(Value());
    }
    if (v->isBool() || v->isInteger() || v->isReal()) return *v;
    wrongKind(key, "something that is neither a reference nor a number");
    return Value();
}

std::shared_ptr<Coding> KeyedUnarchiver::decodeObject(std::string_view key) {
    const Value* v = impl_.field(key);
    if (!v) return nullptr;
    auto uid = uidOf(*v);
    if (!uid || (*uid != 0 && !impl_.isCoded(*uid))) {
        wrongKind(key, "something other than an object of a class");
        return nullptr;
    }
    return impl_.decodeObject(*uid);
}

std::vector<std::shared_ptr<Coding>> KeyedUnarchiver::decodeObjectList(std::string_view key) {
    std::vector<std::shared_ptr<Coding>> out;
    const Value* v = impl_.field(key);
    if (!v) return out;
    auto uid = uidOf(*v);
    const Value* list = uid && *uid != 0 ? impl_.at(*uid) : nullptr;
    std::string name;
    if (!list || impl_.kindOf(*list, &name) != Kind::Array) {
        if (!impl_.failed && !(uid && *uid == 0)) wrongKind(key, "something other than a list");
        return out;
    }
    const Value::Array* refs = impl_.refList(*list, "NS.objects", *uid);
    if (!refs || !impl_.enter(*uid)) return out;
    for (const Value& ref : *refs) {
        int64_t item = *uidOf(ref);
        if (item != 0 && !impl_.isCoded(item)) {
            wrongKind(key, "a list element that is not an object of a class");
            continue;
        }
        out.push_back(impl_.decodeObject(item));
        if (impl_.failed) break;
    }
    impl_.leave(*uid);
    return out;
}

namespace {

// The number under a key, or nothing (with a log line when something else is there).
std::optional<Value> numberAt(KeyedUnarchiver& coder, std::string_view key) {
    if (!coder.containsValue(key)) return std::nullopt;
    Value v = coder.decodeValue(key);
    if (v.isNumber()) return v;
    if (!v.isNull()) {
        logWarning("KeyedArchive: key \"%.*s\" holds no number", static_cast<int>(key.size()), key.data());
    }
    return std::nullopt;
}

}  // namespace

bool KeyedUnarchiver::decodeBool(std::string_view key) {
    auto v = numberAt(*this, key);
    return v && v->toBool();
}

int32_t KeyedUnarchiver::decodeInt32(std::string_view key) {
    auto v = numberAt(*this, key);
    return v ? v->toInt32() : 0;
}

int64_t KeyedUnarchiver::decodeInt64(std::string_view key) {
    auto v = numberAt(*this, key);
    return v ? v->toInt64() : 0;
}

float KeyedUnarchiver::decodeFloat(std::string_view key) {
    auto v = numberAt(*this, key);
    return v ? v->toFloat() : 0.0f;
}

double KeyedUnarchiver::decodeDouble(std::string_view key) {
    auto v = numberAt(*this, key);
    return v ? v->toDouble() : 0.0;
}

std::optional<Value> KeyedArchive::unarchiveValue(const void* data, size_t size) {
    auto archive = PropertyList::parse(data, size);
    if (!archive) {
        logError("KeyedArchive: cannot unarchive: not a property list");
        return std::nullopt;
    }
    KeyedUnarchiver::Impl impl;
    auto root = impl.start(*archive);
    if (!root) return std::nullopt;
    if (impl.isCoded(*root)) {
        logError("KeyedArchive: cannot unarchive: the root is an object of a class, not a plain value");
        return std::nullopt;
    }
    auto value = impl.decodeValue(*root);
    if (impl.failed) return std::nullopt;
    return value;
}

std::shared_ptr<Coding> KeyedArchive::objectFromArchive(const Value& archive) {
    KeyedUnarchiver::Impl impl;
    auto root = impl.start(archive);
    if (!root) return nullptr;
    if (*root != 0 && !impl.isCoded(*root)) {
        logError("KeyedArchive: cannot unarchive: the root is a plain value, not an object of a class");
        return nullptr;
    }
    auto object = impl.decodeObject(*root);
    return impl.failed ? nullptr : object;
}

std::shared_ptr<Coding> KeyedArchive::unarchiveObject(const void* data, size_t size) {
    auto archive = PropertyList::parse(data, size);
    if (!archive) {
        logError("KeyedArchive: cannot unarchive: not a property list");
        return nullptr;
    }
    return objectFromArchive(*archive);
}

std::shared_ptr<Coding> KeyedArchive::unarchiveObjectFromFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return nullptr;
    auto archive = PropertyList::readFile(path);
    if (!archive) {
        logError("KeyedArchive: cannot unarchive %s: not a property list", path.c_str());
        return nullptr;
    }
    return objectFromArchive(*archive);
}

namespace {

bool writeArchive(const std::filesystem::path& path, const std::optional<Bytes>& bytes) {
    if (!bytes) return false;
    if (writeFileAtomically(path, *bytes)) return true;
    logError("KeyedArchive: cannot write %s", path.c_str());
    return false;
}

}  // namespace

bool KeyedArchive::archiveToFile(const std::filesystem::path& path,
                                 const std::shared_ptr<const Coding>& root) {
    return writeArchive(path, archive(root));
}

bool KeyedArchive::archiveToFile(const std::filesystem::path& path, const Value& root) {
    return writeArchive(path, archive(root));
}

}  // namespace plat
