#pragma once
// JSON text to and from Value trees.
// Reading takes outside input: any top-level value is accepted (a bare string or number too), nothing is
// thrown, and input larger than kMaxInputSize or nested deeper than kMaxDepth is refused with a log line.
// Integers beyond the 64-bit range read as reals. Writing refuses what JSON cannot hold (data, dates,
// non-finite numbers, text that is not UTF-8) instead of writing something else.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Error.h"
#include "platform/base/Value.h"

namespace plat {

class Json {
  public:
    static constexpr size_t kMaxInputSize = 32u * 1024 * 1024;
    static constexpr int kMaxDepth = 512;
    // The domain and code a failed read or write reports.
    static constexpr const char* kErrorDomain = "NSCocoaErrorDomain";
    static constexpr int64_t kErrorCode = 3840;

    enum class KeyOrder { Insertion, Sorted };
    struct WriteOptions {
        KeyOrder keyOrder = KeyOrder::Insertion;
        // Two-space indentation and one member per line.
        bool pretty = false;
    };

    // An empty optional, with `error` filled when given, for anything that is not one JSON value.
    static std::optional<Value> parse(std::string_view text, Error* error = nullptr);
    static std::optional<Value> parse(const void* data, size_t size, Error* error = nullptr);

    static std::optional<std::string> write(const Value& value, Error* error = nullptr);
    static std::optional<std::string> write(const Value& value, const WriteOptions& options,
                                            Error* error = nullptr);
};

}  // namespace plat
