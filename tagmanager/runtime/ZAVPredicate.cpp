#include "tagmanager/runtime/ZAVPredicate.h"

#include <cmath>

#include "platform/base/Regex.h"
#include "tagmanager/values/ZAVTypes.h"

namespace {

ZAVPValuePtr truth(bool value) {
    return ZAVTypes::objectToValue(ZAVBoolean::booleanWithBool(value));
}

// -1, 0 or 1 for an integer against a double, exactly; NaN compares as unordered (2).
int compareIntegerWithDouble(int64_t i, double d) {
    if (std::isnan(d)) return 2;
    if (d >= 9223372036854775808.0) return -1;
    if (d < -9223372036854775808.0) return 1;
    double whole = std::trunc(d);
    int64_t w = static_cast<int64_t>(whole);
    if (i != w) return i < w ? -1 : 1;
    double fraction = d - whole;
    return fraction > 0 ? -1 : fraction < 0 ? 1 : 0;
}

}  // namespace

ZAVPredicate::ZAVPredicate(std::string functionId)
    : ZAVFunctionCallImplementation(std::move(functionId), {arg0Key(), arg1Key()}) {}

const std::string& ZAVPredicate::arg0Key() {
    static const std::string key = "arg0";
    return key;
}

const std::string& ZAVPredicate::arg1Key() {
    static const std::string key = "arg1";
    return key;
}

ZAVPValuePtr ZAVPredicate::evaluate(const Properties& properties) {
    for (const auto& [key, value] : properties)
        if (value == ZAVTypes::defaultValue()) return truth(false);
    auto arg0 = properties.find(arg0Key());
    auto arg1 = properties.find(arg1Key());
    if (arg0 == properties.end() || arg1 == properties.end() || !arg0->second || !arg1->second)
        return truth(false);
    return truth(evaluateNoDefaultValues(arg0->second, arg1->second, properties));
}

bool ZAVStringPredicate::evaluateNoDefaultValues(const ZAVPValuePtr& arg0, const ZAVPValuePtr& arg1,
                                                 const Properties& parameters) {
    auto text0 = ZAVTypes::valueToString(arg0);
    auto text1 = ZAVTypes::valueToString(arg1);
    if (text0 == ZAVTypes::defaultString() || text1 == ZAVTypes::defaultString()) return false;
    return evaluateWithArg0(text0->textValue(), text1->textValue(), parameters);
}

bool ZAVNumberPredicate::evaluateNoDefaultValues(const ZAVPValuePtr& arg0, const ZAVPValuePtr& arg1,
                                                 const Properties& parameters) {
    auto number0 = ZAVTypes::valueToNumber(arg0);
    auto number1 = ZAVTypes::valueToNumber(arg1);
    if (number0 == ZAVTypes::defaultNumber() || number1 == ZAVTypes::defaultNumber()) return false;
    int comparison = compare(number0, number1);
    if (comparison == 2) return false;  // NaN is neither less, equal nor greater
    return evaluateWithArg0(comparison, parameters);
}

int ZAVNumberPredicate::compare(const ZAVObjectPtr& a, const ZAVObjectPtr& b) {
    if (a->isIntegerNumber() && b->isIntegerNumber())
        return a->int64Value() < b->int64Value() ? -1 : a->int64Value() > b->int64Value() ? 1 : 0;
    if (a->isIntegerNumber()) return compareIntegerWithDouble(a->int64Value(), b->doubleValue());
    if (b->isIntegerNumber()) {
        int reversed = compareIntegerWithDouble(b->int64Value(), a->doubleValue());
        return reversed == 2 ? 2 : -reversed;
    }
    double x = a->doubleValue(), y = b->doubleValue();
    if (std::isnan(x) || std::isnan(y)) return 2;
    return x < y ? -1 : x > y ? 1 : 0;
}

const std::string& ZAVRegexIgnoreCaseKey() {
    static const std::string key = "ignore_case";
    return key;
}

bool ZAVContains::evaluateWithArg0(const std::string& arg0, const std::string& arg1, const Properties&) {
    return arg1.empty() || arg0.find(arg1) != std::string::npos;
}

bool ZAVEndsWith::evaluateWithArg0(const std::string& arg0, const std::string& arg1, const Properties&) {
    return arg0.ends_with(arg1);
}

bool ZAVEquals::evaluateWithArg0(const std::string& arg0, const std::string& arg1, const Properties&) {
    return arg0 == arg1;
}

bool ZAVStartsWith::evaluateWithArg0(const std::string& arg0, const std::string& arg1, const Properties&) {
    return arg0.starts_with(arg1);
}

bool ZAVRegex::evaluateWithArg0(const std::string& arg0, const std::string& arg1,
                                const Properties& parameters) {
    if (arg1.empty()) return true;
    bool ignoreCase = false;
    auto flag = parameters.find(ZAVRegexIgnoreCaseKey());
    if (flag != parameters.end()) ignoreCase = ZAVTypes::valueToBoolean(flag->second)->boolValue();
    auto regex = plat::Regex::cached(arg1, ignoreCase ? plat::Regex::kCaseInsensitive : plat::Regex::kNone);
    return regex && regex->firstMatch(arg0).has_value();
}

bool ZAVGreaterEquals::evaluateWithArg0(int comparison, const Properties&) {
    return comparison >= 0;
}

bool ZAVGreaterThan::evaluateWithArg0(int comparison, const Properties&) {
    return comparison > 0;
}

bool ZAVLessEquals::evaluateWithArg0(int comparison, const Properties&) {
    return comparison <= 0;
}

bool ZAVLessThan::evaluateWithArg0(int comparison, const Properties&) {
    return comparison < 0;
}
