#include "platform/storage/PropertyList.h"

#include <plist/plist.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/base/Log.h"
#include "platform/base/Utf8.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/FileManager.h"

namespace plat {
namespace {

// Dates in property lists count from 2001-01-01 00:00:00 UTC.
constexpr double kReferenceDateOffset = 978307200.0;
constexpr const char* kUidKey = "CF$UID";

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

uint64_t readBigEndian(const uint8_t* p, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

// The binary reader underneath rebuilds shared objects once per reference and descends recursively, so
// a small hostile file could nest it past the stack or expand into millions of nodes. The object graph
// is walked here first, without recursion: cycles, broken references, excessive depth and excessive
// expansion are refused before the reader sees the bytes.
bool checkBinaryStructure(const uint8_t* data, size_t size, const char** problem) {
    *problem = "malformed binary property list";
    if (size < 8 + 32) return false;
    const uint8_t* trailer = data + size - 32;
    size_t offsetSize = trailer[6];
    size_t refSize = trailer[7];
    uint64_t objectCount = readBigEndian(trailer + 8, 8);
    uint64_t root = readBigEndian(trailer + 16, 8);
    uint64_t tableOffset = readBigEndian(trailer + 24, 8);
    uint64_t objectArea = size - 32;
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8) return false;
    if (objectCount == 0 || root >= objectCount) return false;
    if (tableOffset < 8 || tableOffset > objectArea) return false;
    if (objectCount > (objectArea - tableOffset) / offsetSize) return false;

    const uint8_t* table = data + tableOffset;
    auto offsetOf = [&](uint64_t index) { return readBigEndian(table + index * offsetSize, offsetSize); };

    // The element count of the object at `offset` (low nibble, or a following integer object when it
    // is 0xF) and where its payload starts; false when malformed.
    auto countOf = [&](uint64_t offset, uint64_t* count, uint64_t* payload) -> bool {
        uint64_t n = data[offset] & 0x0F;
        uint64_t at = offset + 1;
        if (n == 0x0F) {
            if (at >= tableOffset) return false;
            uint8_t intMarker = data[at];
            if ((intMarker >> 4) != 0x1 || (intMarker & 0x0F) > 3) return false;
            size_t width = size_t{1} << (intMarker & 0x0F);
            if (at + 1 + width > tableOffset) return false;
            n = readBigEndian(data + at + 1, width);
            at += 1 + width;
        }
        *count = n;
        *payload = at;
        return true;
    };

    // Dictionary keys must be strings without NUL characters: the reader underneath stops the process
    // on a key whose text is shorter than its stored length.
    auto validKey = [&](uint64_t index) -> bool {
        uint64_t offset = offsetOf(index);
        if (offset < 8 || offset >= tableOffset) return false;
        uint8_t kind = data[offset] >> 4;
        if (kind != 0x5 && kind != 0x6) return false;
        uint64_t count = 0, at = 0;
        if (!countOf(offset, &count, &at)) return false;
        uint64_t width = kind == 0x6 ? 2 : 1;
        if (count > (tableOffset - at) / width) return false;
        for (uint64_t i = 0; i < count; ++i) {
            const uint8_t* unit = data + at + i * width;
            if (unit[0] == 0 && (width == 1 || unit[1] == 0)) return false;
        }
        return true;
    };

    // Children of a container object as (first reference position, reference count); false when malformed.
    auto children = [&](uint64_t index, uint64_t* refsAt, uint64_t* refCount) -> bool {
        uint64_t offset = offsetOf(index);
        *refCount = 0;
        if (offset < 8 || offset >= tableOffset) return false;
        uint8_t kind = data[offset] >> 4;
        if (kind != 0xA && kind != 0xC && kind != 0xD) return true;  // not a container
        uint64_t count = 0, at = 0;
        if (!countOf(offset, &count, &at)) return false;
        uint64_t refs = kind == 0xD ? count * 2 : count;
        if (kind == 0xD && refs / 2 != count) return false;
        if (refs > (tableOffset - at) / refSize) return false;
        if (kind == 0xD) {
            for (uint64_t i = 0; i < count; ++i) {
                uint64_t key = readBigEndian(data + at + i * refSize, refSize);
                if (key >= objectCount || !validKey(key)) return false;
            }
        }
        *refsAt = at;
        *refCount = refs;
        return true;
    };

    enum : uint8_t { kUnseen, kOpen, kDone };
    std::vector<uint8_t> state(objectCount, kUnseen);
    std::vector<uint16_t> depth(objectCount, 0);
    std::vector<uint64_t> nodes(objectCount, 0);
    struct Frame {
        uint64_t index, refsAt, refCount, next;
    };
    std::vector<Frame> stack;
    auto open = [&](uint64_t index) -> bool {
        Frame f{index, 0, 0, 0};
        if (!children(index, &f.refsAt, &f.refCount)) return false;
        state[index] = kOpen;
        stack.push_back(f);
        return true;
    };
    if (!open(root)) return false;
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next < f.refCount) {
            uint64_t child = readBigEndian(data + f.refsAt + f.next * refSize, refSize);
            ++f.next;
            if (child >= objectCount) return false;
            if (state[child] == kOpen) {
                *problem = "binary property list refers to itself";
                return false;
            }
            if (state[child] == kUnseen) {
                if (stack.size() >= static_cast<size_t>(PropertyList::kMaxDepth)) {
                    *problem = "property list nested too deeply";
                    return false;
                }
                if (!open(child)) return false;
            }
            continue;
        }
        // All children are done: fold their depth and node counts into this object.
        uint16_t d = 0;
        uint64_t n = 1;
        for (uint64_t i = 0; i < f.refCount; ++i) {
            uint64_t child = readBigEndian(data + f.refsAt + i * refSize, refSize);
            if (depth[child] > d) d = depth[child];
            n += nodes[child];
            if (n > PropertyList::kMaxNodes) {
                *problem = "property list too large";
                return false;
            }
        }
        depth[f.index] = static_cast<uint16_t>(d + 1);
        if (depth[f.index] > PropertyList::kMaxDepth) {
            *problem = "property list nested too deeply";
            return false;
        }
        nodes[f.index] = n;
        state[f.index] = kDone;
        stack.pop_back();
    }
    return true;
}

bool startsWith(const char* p, const char* end, std::string_view s) {
    return static_cast<size_t>(end - p) >= s.size() && std::memcmp(p, s.data(), s.size()) == 0;
}

const char* findText(const char* p, const char* end, std::string_view s) {
    for (; p + s.size() <= end; ++p)
        if (std::memcmp(p, s.data(), s.size()) == 0) return p;
    return nullptr;
}

// Nesting of arrays and dictionaries in XML text, skipping comments, character data, processing
// instructions and declarations; the tree the reader builds is freed and walked recursively afterwards.
bool checkXmlDepth(const char* p, const char* end) {
    int depth = 0;
    auto isNameEnd = [&](const char* q) {
        return q >= end || *q == '>' || *q == '/' || std::isspace(static_cast<unsigned char>(*q));
    };
    while (p < end) {
        const char* lt = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
        if (!lt) break;
        p = lt;
        const char* close = nullptr;
        if (startsWith(p, end, "<!--")) {
            close = findText(p + 4, end, "-->");
            if (!close) break;
            p = close + 3;
            continue;
        }
        if (startsWith(p, end, "<![CDATA[")) {
            close = findText(p + 9, end, "]]>");
            if (!close) break;
            p = close + 3;
            continue;
        }
        bool closing = startsWith(p, end, "</");
        const char* name = p + (closing ? 2 : 1);
        bool container = false;
        if (startsWith(name, end, "array") && isNameEnd(name + 5)) container = true;
        if (startsWith(name, end, "dict") && isNameEnd(name + 4)) container = true;
        const char* gt = static_cast<const char*>(std::memchr(name, '>', static_cast<size_t>(end - name)));
        if (!gt) break;
        if (container) {
            if (closing) {
                if (depth > 0) --depth;
            } else if (gt[-1] != '/') {
                if (++depth > PropertyList::kMaxDepth) return false;
            }
        }
        p = gt + 1;
    }
    return true;
}

std::optional<Value> toValue(plist_t node, int depth) {
    if (!node || depth > PropertyList::kMaxDepth) return std::nullopt;
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return Value(b != 0);
        }
        case PLIST_UINT: {
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            return Value(static_cast<int64_t>(u));  // negative numbers are kept as their 64-bit pattern
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return Value(d);
        }
        case PLIST_STRING: {
            uint64_t length = 0;
            const char* s = plist_get_string_ptr(node, &length);
            return Value(std::string(s ? s : "", s ? length : 0));
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* d = plist_get_data_ptr(node, &length);
            const uint8_t* bytes = reinterpret_cast<const uint8_t*>(d);
            return Value(d ? Bytes(bytes, bytes + length) : Bytes());
        }
        case PLIST_DATE: {
            int32_t sec = 0, usec = 0;
            plist_get_date_val(node, &sec, &usec);
            return Value(Value::Date{kReferenceDateOffset + sec + usec / 1e6});
        }
        case PLIST_UID: {
            uint64_t uid = 0;
            plist_get_uid_val(node, &uid);
            return Value(Value::Dictionary{{kUidKey, Value(static_cast<int64_t>(uid))}});
        }
        case PLIST_ARRAY: {
            // Walked with the library's iterator: fetching items by index counts from the first each time,
            // which over the large arrays a small file may expand to takes seconds.
            const uint32_t n = plist_array_get_size(node);
            Value::Array array;
            array.reserve(n);
            plist_array_iter it = nullptr;
            plist_array_new_iter(node, &it);
            if (!it) return std::nullopt;
            bool ok = true;
            for (uint32_t i = 0; ok && i < n; ++i) {
                plist_t child = nullptr;
                plist_array_next_item(node, it, &child);
                auto item = toValue(child, depth + 1);
                if (item)
                    array.push_back(std::move(*item));
                else
                    ok = false;
            }
            std::free(it);
            if (!ok) return std::nullopt;
            return Value(std::move(array));
        }
        case PLIST_DICT: {
            Value::Dictionary dict;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            if (!it) return std::nullopt;
            bool ok = true;
            while (true) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, it, &key, &item);
                if (!key && !item) break;
                if (!key || !item) {
                    std::free(key);
                    ok = false;
                    break;
                }
                auto v = toValue(item, depth + 1);
                if (!v) {
                    std::free(key);
                    ok = false;
                    break;
                }
                dict.set(key, std::move(*v));
                std::free(key);
            }
            std::free(it);
            if (!ok) return std::nullopt;
            return Value(std::move(dict));
        }
        default:
            return std::nullopt;
    }
}

// Strings must be valid UTF-8 without NUL characters: the binary encoder silently mangles anything else.
bool writableText(const std::string& s, const char** problem) {
    if (s.find('\0') != std::string::npos) {
        *problem = "a string holds a NUL character";
        return false;
    }
    if (!isValidUtf8(s)) {
        *problem = "a string is not valid UTF-8";
        return false;
    }
    return true;
}

plist_t fromValue(const Value& value, int depth, const char** problem) {
    if (depth > PropertyList::kMaxDepth) {
        *problem = "nested too deeply";
        return nullptr;
    }
    switch (value.type()) {
        case Value::Type::Null:
            *problem = "a null value has no property-list form";
            return nullptr;
        case Value::Type::Bool:
            return plist_new_bool(*value.boolIf() ? 1 : 0);
        case Value::Type::Integer:
            return plist_new_uint(static_cast<uint64_t>(*value.integerIf()));
        case Value::Type::Real:
            return plist_new_real(*value.realIf());
        case Value::Type::String: {
            const std::string& s = *value.stringIf();
            if (!writableText(s, problem)) return nullptr;
            return plist_new_string(s.c_str());
        }
        case Value::Type::Data: {
            const Bytes& b = *value.dataIf();
            return plist_new_data(reinterpret_cast<const char*>(b.data()), b.size());
        }
        case Value::Type::Date: {
            double t = value.dateIf()->secondsSince1970 - kReferenceDateOffset;
            double whole = std::floor(t);
            if (!std::isfinite(t) || whole < std::numeric_limits<int32_t>::min() ||
                whole > std::numeric_limits<int32_t>::max()) {
                *problem = "a date is out of range";
                return nullptr;
            }
            int32_t usec = static_cast<int32_t>(std::lround((t - whole) * 1e6));
            if (usec >= 1000000) usec = 999999;
            return plist_new_date(static_cast<int32_t>(whole), usec);
        }
        case Value::Type::Array: {
            plist_t array = plist_new_array();
            for (const Value& item : *value.arrayIf()) {
                plist_t child = fromValue(item, depth + 1, problem);
                if (!child) {
                    plist_free(array);
                    return nullptr;
                }
                plist_array_append_item(array, child);
            }
            return array;
        }
        case Value::Type::Dictionary: {
            const Value::Dictionary& d = *value.dictionaryIf();
            if (d.size() == 1 && d.begin()->first == kUidKey && d.begin()->second.isInteger())
                return plist_new_uid(static_cast<uint64_t>(*d.begin()->second.integerIf()));
            plist_t dict = plist_new_dict();
            for (const auto& [key, item] : d) {
                plist_t child = writableText(key, problem) ? fromValue(item, depth + 1, problem) : nullptr;
                if (!child) {
                    plist_free(dict);
                    return nullptr;
                }
                plist_dict_set_item(dict, key.c_str(), child);
            }
            return dict;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<Value> PropertyList::parse(const void* data, size_t size, Format* format) {
    if (!data || size == 0) {
        logError("cannot read a property list: no bytes");
        return std::nullopt;
    }
    if (size > kMaxInputSize) {
        logError("cannot read a property list: %zu bytes is too large", size);
        return std::nullopt;
    }
    const char* bytes = static_cast<const char*>(data);
    uint32_t length = static_cast<uint32_t>(size);
    bool binary = plist_is_binary(bytes, length) != 0;
    plist_t root = nullptr;
    if (binary) {
        const char* problem = nullptr;
        if (!checkBinaryStructure(reinterpret_cast<const uint8_t*>(bytes), size, &problem)) {
            logError("cannot read a property list: %s", problem);
            return std::nullopt;
        }
        plist_from_bin(bytes, length, &root);
    } else {
        if (!checkXmlDepth(bytes, bytes + size)) {
            logError("cannot read a property list: nested too deeply");
            return std::nullopt;
        }
        plist_from_xml(bytes, length, &root);
    }
    PlistPtr owner(root);
    if (!root) {
        logError("cannot read a property list: malformed %s", binary ? "binary data" : "XML");
        return std::nullopt;
    }
    auto value = toValue(root, 0);
    if (!value) {
        logError("cannot read a property list: malformed content");
        return std::nullopt;
    }
    if (format) *format = binary ? Format::Binary : Format::Xml;
    return value;
}

std::optional<Value> PropertyList::readFile(const std::filesystem::path& path, Format* format) {
    auto bytes = FileManager::contentsAtPath(path, kMaxInputSize);
    if (!bytes) return std::nullopt;
    auto value = parse(bytes->data(), bytes->size(), format);
    if (!value) logError("%s is not a readable property list", path.c_str());
    return value;
}

std::optional<Bytes> PropertyList::serialize(const Value& value, Format format) {
    const char* problem = "cannot convert";
    PlistPtr root(fromValue(value, 0, &problem));
    if (!root) {
        logError("cannot write a property list: %s", problem);
        return std::nullopt;
    }
    char* out = nullptr;
    uint32_t length = 0;
    if (format == Format::Binary)
        plist_to_bin(root.get(), &out, &length);
    else
        plist_to_xml(root.get(), &out, &length);
    if (!out) {
        logError("cannot write a property list: the encoder failed");
        return std::nullopt;
    }
    Bytes result(reinterpret_cast<uint8_t*>(out), reinterpret_cast<uint8_t*>(out) + length);
    if (format == Format::Binary)
        plist_to_bin_free(out);
    else
        plist_to_xml_free(out);
    return result;
}

bool PropertyList::writeFile(const std::filesystem::path& path, const Value& value, Format format) {
    auto bytes = serialize(value, format);
    if (!bytes) {
        logError("cannot write %s", path.c_str());
        return false;
    }
    return writeFileAtomically(path, *bytes);
}

}  // namespace plat
