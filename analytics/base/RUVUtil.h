#pragma once
// Small value helpers shared by the SDK.
#include <optional>
#include <string>

#include "analytics/base/RUVHitRecord.h"
#include "platform/base/Error.h"
#include "platform/base/Value.h"

class RUVUtil {
  public:
    // The exception's name and trace, cut at 150 characters; empty for no exception.
    static std::optional<std::string> descriptionFromException(const plat::Exception* exception);
    // "<domain> <code>: <localized description>"; empty for no error.
    static std::optional<std::string> descriptionFromError(const plat::Error* error);
    // The same for log lines: "(null)" for no error.
    static std::string describeError(const std::optional<plat::Error>& error);
    // A number's text (integers plain, booleans "1"/"0", reals by "%.16g"); anything else the null marker.
    static RUVHitValue valueForNumber(const plat::Value& value);
    static RUVHitValue valueForString(const std::optional<std::string>& value) { return value; }
    // The kind of a value as log lines name it ("(null)" for null).
    static const char* typeName(const plat::Value& value);

    RUVUtil() = delete;
};
