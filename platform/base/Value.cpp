#include "platform/base/Value.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/base/Lasting.h"

namespace plat {

// ---- ValueDictionary ----

ValueDictionary::ValueDictionary(std::initializer_list<Entry> entries) {
    for (const Entry& e : entries) set(e.first, e.second);
}

const Value* ValueDictionary::find(std::string_view key) const {
    auto it = index_.find(std::string(key));
    return it == index_.end() ? nullptr : &entries_[it->second].second;
}

Value* ValueDictionary::find(std::string_view key) {
    auto it = index_.find(std::string(key));
    return it == index_.end() ? nullptr : &entries_[it->second].second;
}

void ValueDictionary::set(std::string key, Value value) {
    auto it = index_.find(key);
    if (it != index_.end()) {
        entries_[it->second].second = std::move(value);
        return;
    }
    index_.emplace(key, entries_.size());
    entries_.emplace_back(std::move(key), std::move(value));
}

bool ValueDictionary::remove(std::string_view key) {
    auto it = index_.find(std::string(key));
    if (it == index_.end()) return false;
    size_t at = it->second;
    index_.erase(it);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
    for (auto& [k, i] : index_)
        if (i > at) --i;
    return true;
}

void ValueDictionary::clear() {
    entries_.clear();
    index_.clear();
}

std::vector<std::string> ValueDictionary::keys() const {
    std::vector<std::string> out;
    out.reserve(entries_.size());
    for (const Entry& e : entries_) out.push_back(e.first);
    return out;
}

// Equal dictionaries hold the same keys with equal values; the order of the keys does not matter.
bool ValueDictionary::operator==(const ValueDictionary& other) const {
    if (size() != other.size()) return false;
    for (const Entry& e : entries_) {
        const Value* v = other.find(e.first);
        if (!v || !(*v == e.second)) return false;
    }
    return true;
}

// ---- Value ----

Value::Value(Array array) : data_(Box<Array>(std::move(array))) {}
Value::Value(Dictionary dictionary) : data_(Box<Dictionary>(std::move(dictionary))) {}

const Value::Array* Value::arrayIf() const {
    auto* p = std::get_if<Box<Array>>(&data_);
    return p ? p->get() : nullptr;
}

Value::Array* Value::arrayIf() {
    auto* p = std::get_if<Box<Array>>(&data_);
    return p ? p->get() : nullptr;
}

const Value::Dictionary* Value::dictionaryIf() const {
    auto* p = std::get_if<Box<Dictionary>>(&data_);
    return p ? p->get() : nullptr;
}

Value::Dictionary* Value::dictionaryIf() {
    auto* p = std::get_if<Box<Dictionary>>(&data_);
    return p ? p->get() : nullptr;
}

namespace {

int64_t saturate(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
    if (d <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(d);
}

// The leading integer of a text after blanks, as atoll would read it, but saturating instead of overflowing.
int64_t leadingInteger(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    uint64_t magnitude = 0;
    bool overflow = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        uint64_t digit = static_cast<uint64_t>(s[i] - '0');
        if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10) {
            overflow = true;
            break;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (negative) {
        if (overflow || magnitude > 9223372036854775808ULL) return std::numeric_limits<int64_t>::min();
        return magnitude == 9223372036854775808ULL ? std::numeric_limits<int64_t>::min()
                                                   : -static_cast<int64_t>(magnitude);
    }
    if (overflow || magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(magnitude);
}

}  // namespace

bool Value::toBool() const {
    switch (type()) {
        case Type::Bool:
            return std::get<bool>(data_);
        case Type::Integer:
            return std::get<int64_t>(data_) != 0;
        case Type::Real:
            return std::get<double>(data_) != 0.0;
        case Type::String: {
            const std::string& s = std::get<std::string>(data_);
            size_t i = 0;
            while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
            if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
            while (i < s.size() && s[i] == '0') ++i;
            if (i >= s.size()) return false;
            char c = s[i];
            return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
        }
        default:
            return false;
    }
}

int64_t Value::toInt64() const {
    switch (type()) {
        case Type::Bool:
            return std::get<bool>(data_) ? 1 : 0;
        case Type::Integer:
            return std::get<int64_t>(data_);
        case Type::Real:
            return saturate(std::get<double>(data_));
        case Type::String:
            return leadingInteger(std::get<std::string>(data_));
        default:
            return 0;
    }
}

int32_t Value::toInt32() const {
    // Saturates like every other conversion: keeping the low 32 bits would turn a large count negative.
    const int64_t v = toInt64();
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

double Value::toDouble() const {
    switch (type()) {
        case Type::Bool:
            return std::get<bool>(data_) ? 1.0 : 0.0;
        case Type::Integer:
            return static_cast<double>(std::get<int64_t>(data_));
        case Type::Real:
            return std::get<double>(data_);
        case Type::String:
            return std::strtod(std::get<std::string>(data_).c_str(), nullptr);
        default:
            return 0.0;
    }
}

float Value::toFloat() const {
    double d = toDouble();
    if (d > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
    if (d < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

std::string Value::toString() const {
    switch (type()) {
        case Type::String:
            return std::get<std::string>(data_);
        case Type::Bool:
            return std::get<bool>(data_) ? "1" : "0";
        case Type::Integer:
            return std::to_string(std::get<int64_t>(data_));
        case Type::Real: {
            double d = std::get<double>(data_);
            if (std::isnan(d)) return "nan";
            if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
            char buffer[64];
            auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
            return std::string(buffer, result.ptr);
        }
        default:
            return std::string();
    }
}

const Value& Value::operator[](std::string_view key) const {
    const Dictionary* d = dictionaryIf();
    if (!d) return null();
    const Value* v = d->find(key);
    return v ? *v : null();
}

const Value& Value::operator[](size_t index) const {
    const Array* a = arrayIf();
    if (!a || index >= a->size()) return null();
    return (*a)[index];
}

bool Value::operator==(const Value& other) const {
    if (type() != other.type()) return false;
    switch (type()) {
        case Type::Array:
            return *arrayIf() == *other.arrayIf();
        case Type::Dictionary:
            return *dictionaryIf() == *other.dictionaryIf();
        case Type::Null:
            return true;
        case Type::Bool:
            return *boolIf() == *other.boolIf();
        case Type::Integer:
            return *integerIf() == *other.integerIf();
        case Type::Real:
            return *realIf() == *other.realIf();
        case Type::String:
            return *stringIf() == *other.stringIf();
        case Type::Data:
            return *dataIf() == *other.dataIf();
        case Type::Date:
            return *dateIf() == *other.dateIf();
    }
    return false;
}

const Value& Value::null() {
    static const Lasting<Value> nullValue;
    return *nullValue;
}

}  // namespace plat
