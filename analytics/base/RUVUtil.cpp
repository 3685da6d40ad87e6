#include "analytics/base/RUVUtil.h"

#include "analytics/base/RUVExceptionParser.h"
#include "analytics/base/RUVLogger.h"

std::optional<std::string> RUVUtil::descriptionFromException(const plat::Exception* exception) {
    if (!exception) return std::nullopt;
    return RUVExceptionParser::exceptionDescription(*exception, 150);
}

std::optional<std::string> RUVUtil::descriptionFromError(const plat::Error* error) {
    if (!error) return std::nullopt;
    return error->domain() + " " + std::to_string(error->code()) + ": " + error->localizedDescription();
}

std::string RUVUtil::describeError(const std::optional<plat::Error>& error) {
    return error ? *descriptionFromError(&*error) : "(null)";
}

RUVHitValue RUVUtil::valueForNumber(const plat::Value& value) {
    if (const bool* b = value.boolIf()) return std::string(*b ? "1" : "0");
    if (const int64_t* i = value.integerIf()) return std::to_string(*i);
    if (const double* d = value.realIf()) return ruvFormat("%.16g", *d);
    return std::nullopt;
}

const char* RUVUtil::typeName(const plat::Value& value) {
    switch (value.type()) {
        case plat::Value::Type::Null:
            return "(null)";
        case plat::Value::Type::Bool:
        case plat::Value::Type::Integer:
        case plat::Value::Type::Real:
            return "number";
        case plat::Value::Type::String:
            return "string";
        case plat::Value::Type::Data:
            return "data";
        case plat::Value::Type::Date:
            return "date";
        case plat::Value::Type::Array:
            return "array";
        case plat::Value::Type::Dictionary:
            return "dictionary";
    }
    return "(null)";
}
