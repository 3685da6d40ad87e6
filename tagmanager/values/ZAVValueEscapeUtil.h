#pragma once
// Escapings applied to a macro's result where a container refers to it, and the URL encoding that hits
// and the joiner use. Only URL encoding is supported; anything else is logged and passed on unchanged.
#include <memory>
#include <optional>
#include <string>

#include "tagmanager/values/ZAVFunctionCallImplementation.h"
#include "wire/ZAVWireArray.h"

class ZAVValueEscapeUtil {
  public:
    using Pair = std::shared_ptr<const ZAVPValueAndStatic>;
    ZAVValueEscapeUtil() = delete;
    // Each code in order, applied to the previous result.
    static Pair applyEscapings(const ZAVWireArray* escapings, const Pair& value);
    static Pair applyEscaping(int32_t escaping, const Pair& value);
    static Pair escapeUri(const Pair& value);
    // Only A-Z a-z 0-9 - . _ ~ stay; every other byte becomes %XX (upper-case digits).
    static std::string urlEncode(const std::string& text);
    // Every %XX decoded; empty when an escape is malformed or the bytes are not UTF-8. "+" stays.
    static std::optional<std::string> urlDecode(const std::string& text);
    static bool isValidStringType(const ZAVPValuePtr& value);
};
