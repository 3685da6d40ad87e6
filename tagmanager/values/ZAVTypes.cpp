#include "tagmanager/values/ZAVTypes.h"

#include <locale.h>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/base/Lasting.h"
#include "tagmanager/base/ZAVLog.h"
#include "wire/ZAVWireString.h"

namespace {

struct Defaults {
    ZAVObjectPtr int64 = ZAVDistinctZero::distinctZero();
    ZAVObjectPtr dbl = ZAVDistinctZero::distinctZero();
    ZAVObjectPtr number = ZAVDistinctZero::distinctZero();
    ZAVObjectPtr string = ZAVObject::text("");
    ZAVObjectPtr boolean = std::make_shared<ZAVBoolean>(false);
    ZAVObjectPtr list = ZAVObject::list({});
    ZAVObjectPtr map = ZAVObject::map({});
    // The default string's text inside values: a string object of its own, so a value made from the
    // default string (defaultValue among them) converts back to that very object, not to a new empty text.
    ZAVWireStringPtr text = ZAVWireString::create("");
    ZAVPValuePtr value;

    Defaults() {
        ZAVPValue::setHashFunction(&ZAVPValueHash);
        value = ZAVPValue::message();
        value->setType(ZAVPValue_Type_String);
        value->setString(text);
    }
};

const Defaults& defaults() {
    static const plat::Lasting<Defaults> shared;
    return *shared;
}

ZAVPValuePtr newValue(ZAVPValue_Type type) {
    defaults();  // the value hash is in place before any value of ours is hashed
    auto value = ZAVPValue::message();
    value->setType(type);
    return value;
}

ZAVPValuePtr asValue(const ZAVWireObjectPtr& object) {
    return std::dynamic_pointer_cast<ZAVPValue>(object);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// An optionally signed run of decimal digits from `at`, clamped to 64 bits; the end of the scan, or npos.
size_t scanInt64(const std::string& text, size_t at, int64_t& out) {
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    if (at >= text.size() || !isDigit(text[at])) return std::string::npos;
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    for (; at < text.size() && isDigit(text[at]); ++at) {
        uint64_t digit = static_cast<uint64_t>(text[at] - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    out = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return at;
}

// The decimal double grammar: sign, digits, fraction, exponent; the end of the scan, or npos.
size_t scanDoubleEnd(const std::string& text, size_t at) {
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    size_t digits = 0;
    for (; at < text.size() && isDigit(text[at]); ++at) ++digits;
    if (at < text.size() && text[at] == '.') {
        ++at;
        for (; at < text.size() && isDigit(text[at]); ++at) ++digits;
    }
    if (digits == 0) return std::string::npos;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        size_t exponent = at + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
        if (exponent < text.size() && isDigit(text[exponent])) {
            at = exponent;
            while (at < text.size() && isDigit(text[at])) ++at;
        }
    }
    return at;
}

double readDouble(const std::string& text) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    return strtod_l(text.c_str(), nullptr, cLocale);
}

std::string textForm(const ZAVObjectPtr& object) {
    if (!object) return std::string();
    if (object->isList()) {
        std::string out = "[";
        bool first = true;
        for (const auto& item : object->items()) {
            if (!first) out += ", ";
            first = false;
            out += textForm(item);
        }
        return out + "]";
    }
    if (object->isMap()) {
        std::string out = "{";
        bool first = true;
        for (const auto& [key, item] : object->entries()) {
            if (!first) out += ", ";
            first = false;
            out += textForm(key) + "=" + textForm(item);
        }
        return out + "}";
    }
    return object->description();
}

void logError(const std::string& message) {
    ZAVLog::error(message);
}

uint64_t stringHash(const std::string& text) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
    return h;
}

uint64_t arrayHash(uint64_t h, const ZAVWireArray* array) {
    if (!array) return h;
    for (size_t i = 0; i < array->count(); ++i) {
        auto item = asValue(array->objectAtIndex(i));
        h = 31 * h + (item ? ZAVPValueHash(*item) : 0);
    }
    return h;
}

}  // namespace

const ZAVObjectPtr& ZAVTypes::defaultInt64() {
    return defaults().int64;
}
const ZAVObjectPtr& ZAVTypes::defaultDouble() {
    return defaults().dbl;
}
const ZAVObjectPtr& ZAVTypes::defaultNumber() {
    return defaults().number;
}
const ZAVObjectPtr& ZAVTypes::defaultString() {
    return defaults().string;
}
const ZAVObjectPtr& ZAVTypes::defaultBoolean() {
    return defaults().boolean;
}
const ZAVObjectPtr& ZAVTypes::defaultList() {
    return defaults().list;
}
const ZAVObjectPtr& ZAVTypes::defaultMap() {
    return defaults().map;
}
const ZAVPValuePtr& ZAVTypes::defaultValue() {
    return defaults().value;
}

ZAVPValuePtr ZAVTypes::textToValue(const std::string& text) {
    return objectToValue(ZAVObject::text(text));
}

ZAVPValuePtr ZAVTypes::objectToValue(const ZAVObjectPtr& object) {
    const auto& failed = defaultValue();
    if (object && object->isValue()) return object->pvalue();
    if (object && object->isText()) {
        auto value = newValue(ZAVPValue_Type_String);
        value->setString(object == defaultString() ? defaults().text
                                                   : ZAVWireString::create(object->textValue()));
        return value;
    }
    if (object && object->isList()) {
        auto value = newValue(ZAVPValue_Type_List);
        bool references = false;
        auto items = value->listItemArray();
        for (const auto& item : object->items()) {
            auto converted = objectToValue(item);
            if (converted == failed) return failed;
            references = references || converted->containsReferences();
            items->addObject(converted);
        }
        if (references) value->setContainsReferences(true);
        return value;
    }
    if (object && object->isMap()) {
        auto value = newValue(ZAVPValue_Type_Map);
        bool references = false;
        auto keys = value->mapKeyArray();
        auto values = value->mapValueArray();
        for (const auto& [key, item] : object->entries()) {
            auto convertedKey = objectToValue(key);
            if (convertedKey == failed) return failed;
            auto convertedItem = objectToValue(item);
            if (convertedItem == failed) return failed;
            references =
                references || convertedKey->containsReferences() || convertedItem->containsReferences();
            keys->addObject(convertedKey);
            values->addObject(convertedItem);
        }
        if (references) value->setContainsReferences(true);
        return value;
    }
    if (object && object->isFloatingNumber()) {
        auto value = newValue(ZAVPValue_Type_String);
        value->setString(ZAVWireString::create(object->description()));
        return value;
    }
    if (object && object->isIntegerNumber()) {
        auto value = newValue(ZAVPValue_Type_Integer);
        value->setInteger(object->int64Value());
        return value;
    }
    if (object && object->isBoolean()) {
        auto value = newValue(ZAVPValue_Type_Boolean);
        value->setBoolean(object->boolValue());
        return value;
    }
    logError("Converting to Value from unknown object type: " +
             (object ? object->typeName() : std::string("nil")));
    return failed;
}

ZAVObjectPtr ZAVTypes::valueToObject(const ZAVPValuePtr& value) {
    if (!value) return nullptr;
    switch (static_cast<int32_t>(value->type())) {
        case ZAVPValue_Type_String:
            if (value->string() == defaults().text) return defaultString();
            return ZAVObject::text(value->string()->utf8());
        case ZAVPValue_Type_Integer:
            return ZAVObject::integer(value->integer());
        case ZAVPValue_Type_Boolean:
            return ZAVBoolean::booleanWithBool(value->boolean());
        case ZAVPValue_Type_List: {
            ZAVObject::List items;
            const ZAVWireArray* array = value->existingArray(*ZAVPValue::descriptor()->fieldAt(2));
            for (size_t i = 0; array && i < array->count(); ++i) {
                auto item = valueToObject(asValue(array->objectAtIndex(i)));
                if (!item) return nullptr;
                items.push_back(std::move(item));
            }
            return ZAVObject::list(std::move(items));
        }
        case ZAVPValue_Type_Map: {
            const ZAVWireArray* keys = value->existingArray(*ZAVPValue::descriptor()->fieldAt(3));
            const ZAVWireArray* values = value->existingArray(*ZAVPValue::descriptor()->fieldAt(4));
            size_t keyCount = keys ? keys->count() : 0;
            size_t valueCount = values ? values->count() : 0;
            if (keyCount != valueCount) {
                logError("Converting an invalid value to object: " + value->description());
                return nullptr;
            }
            ZAVObject::Entries entries;
            for (size_t i = 0; i < keyCount; ++i) {
                auto key = valueToObject(asValue(keys->objectAtIndex(i)));
                if (!key) return nullptr;
                auto item = valueToObject(asValue(values->objectAtIndex(i)));
                if (!item) return nullptr;
                entries.emplace_back(std::move(key), std::move(item));
            }
            return ZAVObject::map(entries);
        }
        case ZAVPValue_Type_Template: {
            std::string text;
            const ZAVWireArray* tokens = value->existingArray(*ZAVPValue::descriptor()->fieldAt(10));
            for (size_t i = 0; tokens && i < tokens->count(); ++i) {
                auto part = valueToString(asValue(tokens->objectAtIndex(i)));
                if (part == defaultString()) return nullptr;
                text += part->textValue();
            }
            return ZAVObject::text(std::move(text));
        }
        case ZAVPValue_Type_MacroReference:
            logError("Trying to convert a macro reference to object");
            return nullptr;
        case ZAVPValue_Type_FunctionId:
            logError("Trying to convert a function ID to object");
            return nullptr;
        default:
            logError(zavFormat("Failed to convert a value of type: %ld", static_cast<long>(value->type())));
            return nullptr;
    }
}

ZAVObjectPtr ZAVTypes::objectToString(const ZAVObjectPtr& object) {
    if (!object) return defaultString();
    if (object->isText()) return object;
    return ZAVObject::text(textForm(object));
}

ZAVObjectPtr ZAVTypes::objectToNumber(const ZAVObjectPtr& object) {
    if (object && object->isNumber()) return object;
    return parseNumber(objectToString(object)->textValue());
}

ZAVObjectPtr ZAVTypes::objectToInt64(const ZAVObjectPtr& object) {
    if (object && object->isIntegerNumber()) return ZAVObject::integer(object->int64Value());
    return parseInt64(objectToString(object)->textValue());
}

ZAVObjectPtr ZAVTypes::objectToDouble(const ZAVObjectPtr& object) {
    if (object && object->isFloatingNumber()) return ZAVObject::floating(object->doubleValue());
    return parseDouble(objectToString(object)->textValue());
}

ZAVObjectPtr ZAVTypes::objectToBoolean(const ZAVObjectPtr& object) {
    if (object && object->isBoolean()) return object;
    return parseBoolean(objectToString(object)->textValue());
}

ZAVObjectPtr ZAVTypes::valueToString(const ZAVPValuePtr& value) {
    return objectToString(valueToObject(value));
}
size_t ZAVTypes::escapingCount(const ZAVPValue& value) {
    const ZAVWireArray* escapings = value.existingArray(*ZAVPValue::descriptor()->fieldAt(9));
    return escapings ? escapings->count() : 0;
}

std::string ZAVTypes::valueToText(const ZAVPValuePtr& value) {
    if (value && value->type() == ZAVPValue_Type_String) return value->string()->utf8();
    return valueToString(value)->textValue();
}
ZAVObjectPtr ZAVTypes::valueToNumber(const ZAVPValuePtr& value) {
    return objectToNumber(valueToObject(value));
}
ZAVObjectPtr ZAVTypes::valueToInt64(const ZAVPValuePtr& value) {
    return objectToInt64(valueToObject(value));
}
ZAVObjectPtr ZAVTypes::valueToDouble(const ZAVPValuePtr& value) {
    return objectToDouble(valueToObject(value));
}
ZAVObjectPtr ZAVTypes::valueToBoolean(const ZAVPValuePtr& value) {
    return objectToBoolean(valueToObject(value));
}

ZAVPValuePtr ZAVTypes::functionIdToValue(const std::string& functionId) {
    auto value = newValue(ZAVPValue_Type_FunctionId);
    value->setFunctionId(ZAVWireString::create(functionId));
    return value;
}

ZAVPValuePtr ZAVTypes::macroReferenceToValue(const std::string& name, const ZAVWireArray* escapings) {
    auto value = newValue(ZAVPValue_Type_MacroReference);
    value->setMacroReference(ZAVWireString::create(name));
    value->setContainsReferences(true);
    if (escapings && escapings->count() > 0)
        value->setEscapingArray(std::static_pointer_cast<ZAVWireArray>(escapings->copy()));
    return value;
}

ZAVPValuePtr ZAVTypes::templateToValue(std::initializer_list<ZAVPValuePtr> tokens) {
    auto value = newValue(ZAVPValue_Type_Template);
    bool references = false;
    auto array = value->templateTokenArray();
    for (const auto& token : tokens) {
        if (!token) break;
        references = references || token->containsReferences();
        array->addObject(token);
    }
    if (references) value->setContainsReferences(true);
    return value;
}

bool ZAVTypes::isInt64ableNumber(const ZAVObjectPtr& object) {
    return object && object->isIntegerNumber();
}

bool ZAVTypes::isDoubleableNumber(const ZAVObjectPtr& object) {
    return object && object->isFloatingNumber();
}

int64_t ZAVTypes::getInt64(const ZAVObjectPtr& number) {
    if (!number || !number->isNumber()) {
        logError("getInt64 did not receive NSNumber");
        return 0;
    }
    return number->isIntegerNumber() ? number->int64Value() : saturatingInt64(number->doubleValue());
}

double ZAVTypes::getDouble(const ZAVObjectPtr& number) {
    if (!number || !number->isNumber()) {
        logError("getDouble did not receive NSNumber");
        return 0;
    }
    return number->doubleValue();
}

ZAVObjectPtr ZAVTypes::numberWithString(const std::string& text) {
    if (text.empty()) return nullptr;
    size_t start = 0;
    while (start < text.size() && isBlank(text[start])) ++start;
    int64_t integer = 0;
    if (scanInt64(text, start, integer) == text.size()) return ZAVObject::integer(integer);
    if (scanDoubleEnd(text, start) == text.size()) return ZAVObject::floating(readDouble(text.substr(start)));
    return nullptr;
}

ZAVObjectPtr ZAVTypes::parseNumber(const std::string& text) {
    if (auto number = numberWithString(text)) return number;
    logError("Failed to convert " + text + " to a number.");
    return defaultNumber();
}

ZAVObjectPtr ZAVTypes::parseInt64(const std::string& text) {
    auto number = parseNumber(text);
    if (number == defaultNumber()) return defaultInt64();
    return ZAVObject::integer(number->isIntegerNumber() ? number->int64Value()
                                                        : saturatingInt64(number->doubleValue()));
}

ZAVObjectPtr ZAVTypes::parseDouble(const std::string& text) {
    auto number = parseNumber(text);
    if (number == defaultNumber()) return defaultDouble();
    return ZAVObject::floating(number->doubleValue());
}

ZAVObjectPtr ZAVTypes::parseBoolean(const std::string& text) {
    if (auto boolean = ZAVBoolean::booleanWithString(text)) return boolean;
    logError("Failed to parse an invalid boolean: " + text);
    return defaultBoolean();
}

int64_t ZAVTypes::saturatingInt64(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
    if (value < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(value);
}

size_t ZAVPValueHash(const ZAVPValue& value) {
    uint64_t h = 1;
    const auto* descriptor = ZAVPValue::descriptor();
    switch (static_cast<int32_t>(value.type())) {
        case ZAVPValue_Type_String:
            h = 31 * h + stringHash(value.string()->utf8());
            break;
        case ZAVPValue_Type_MacroReference:
            h = 31 * h + stringHash(value.macroReference()->utf8());
            break;
        case ZAVPValue_Type_FunctionId:
            h = 31 * h + stringHash(value.functionId()->utf8());
            break;
        case ZAVPValue_Type_Integer:
            h = 31 * h + static_cast<uint64_t>(value.integer());
            break;
        case ZAVPValue_Type_Boolean:
            h = 31 * h + (value.boolean() ? 1 : 0);
            break;
        case ZAVPValue_Type_List:
            h = arrayHash(h, value.existingArray(*descriptor->fieldAt(2)));
            break;
        case ZAVPValue_Type_Map:
            h = arrayHash(h, value.existingArray(*descriptor->fieldAt(3)));
            h = arrayHash(h, value.existingArray(*descriptor->fieldAt(4)));
            break;
        case ZAVPValue_Type_Template:
            h = arrayHash(h, value.existingArray(*descriptor->fieldAt(10)));
            break;
        default:
            break;
    }
    return static_cast<size_t>(31 * h + (value.containsReferences() ? 1 : 0));
}
