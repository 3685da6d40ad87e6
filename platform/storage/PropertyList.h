#pragma once
// Property lists, XML and binary, to and from Value trees.
// Reading takes outside files: anything malformed, too large, too deeply nested, cyclic or expanding
// beyond kMaxNodes gives an empty optional and a log line. A unique id (the keyed-archive reference
// type) reads as the dictionary {"CF$UID": n} and such a dictionary is written back as a unique id.
// A null Value has no property-list form; serializing one fails.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/base/Value.h"

namespace plat {

class PropertyList {
  public:
    enum class Format { Xml, Binary };

    static constexpr size_t kMaxInputSize = 16u * 1024 * 1024;
    static constexpr int kMaxDepth = 512;
    static constexpr uint64_t kMaxNodes = 1u << 20;

    // The format is detected from the bytes and reported through `format` when given.
    static std::optional<Value> parse(const void* data, size_t size, Format* format = nullptr);
    static std::optional<Value> readFile(const std::filesystem::path& path, Format* format = nullptr);

    static std::optional<Bytes> serialize(const Value& value, Format format);
    // Written atomically; false with a log line when the value cannot be serialized or written.
    static bool writeFile(const std::filesystem::path& path, const Value& value, Format format = Format::Xml);
};

}  // namespace plat
