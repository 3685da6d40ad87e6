#pragma once
// A small tree of plain values: null, bool, integer, real, string, bytes, date, array and dictionary.
// Property lists, JSON, user defaults and the SDKs' settings all travel as Value trees.
// Dictionaries keep their keys in insertion order (the order a property list or JSON file lists them);
// replacing the value of an existing key keeps its place.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace plat {

class Value;

using Bytes = std::vector<uint8_t>;

class ValueDictionary {
  public:
    using Entry = std::pair<std::string, Value>;
    using const_iterator = std::vector<Entry>::const_iterator;
    using iterator = std::vector<Entry>::iterator;

    ValueDictionary() = default;
    ValueDictionary(std::initializer_list<Entry> entries);

    size_t size() const;
    bool empty() const;
    bool contains(std::string_view key) const { return find(key) != nullptr; }

    // Null when the key is absent.
    const Value* find(std::string_view key) const;
    Value* find(std::string_view key);

    // Adds the key at the end, or replaces the value of an existing key in place.
    void set(std::string key, Value value);
    // False when the key was absent.
    bool remove(std::string_view key);
    void clear();

    std::vector<std::string> keys() const;

    const_iterator begin() const;
    const_iterator end() const;
    // Values may be changed in place; keys must not be.
    iterator begin();
    iterator end();

    bool operator==(const ValueDictionary& other) const;

  private:
    std::vector<Entry> entries_;
    std::unordered_map<std::string, size_t> index_;
};

class Value {
  public:
    enum class Type { Null, Bool, Integer, Real, String, Data, Date, Array, Dictionary };

    // A point in time as seconds since 1970-01-01 00:00:00 UTC.
    struct Date {
        double secondsSince1970 = 0;
        bool operator==(const Date&) const = default;
    };
    using Array = std::vector<Value>;
    using Dictionary = ValueDictionary;

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : data_(b) {}
    template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
    Value(T i) : data_(static_cast<int64_t>(i)) {}
    Value(double d) : data_(d) {}
    Value(float f) : data_(static_cast<double>(f)) {}
    Value(const char* s) : data_(std::string(s ? s : "")) {}
    Value(std::string s) : data_(std::move(s)) {}
    Value(std::string_view s) : data_(std::string(s)) {}
    Value(Bytes bytes) : data_(std::move(bytes)) {}
    Value(Date date) : data_(date) {}
    Value(Array array);
    Value(Dictionary dictionary);

    Value(const Value&) = default;
    Value& operator=(const Value&) = default;
    // A moved-from value is null.
    Value(Value&& other) noexcept : data_(std::move(other.data_)) { other.data_ = std::monostate{}; }
    Value& operator=(Value&& other) noexcept {
        if (this != &other) {
            data_ = std::move(other.data_);
            other.data_ = std::monostate{};
        }
        return *this;
    }
    ~Value() = default;

    Type type() const { return static_cast<Type>(data_.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isBool() const { return type() == Type::Bool; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isReal() const { return type() == Type::Real; }
    bool isNumber() const { return isBool() || isInteger() || isReal(); }
    bool isString() const { return type() == Type::String; }
    bool isData() const { return type() == Type::Data; }
    bool isDate() const { return type() == Type::Date; }
    bool isArray() const { return type() == Type::Array; }
    bool isDictionary() const { return type() == Type::Dictionary; }

    // Typed access: null when the value is of another kind.
    const bool* boolIf() const { return std::get_if<bool>(&data_); }
    const int64_t* integerIf() const { return std::get_if<int64_t>(&data_); }
    const double* realIf() const { return std::get_if<double>(&data_); }
    const std::string* stringIf() const { return std::get_if<std::string>(&data_); }
    const Bytes* dataIf() const { return std::get_if<Bytes>(&data_); }
    const Date* dateIf() const { return std::get_if<Date>(&data_); }
    const Array* arrayIf() const;
    Array* arrayIf();
    const Dictionary* dictionaryIf() const;
    Dictionary* dictionaryIf();

    // Lenient conversions in the manner of a number or string object's accessors: numbers convert
    // between each other (reals truncate toward zero, saturating), strings are parsed from their leading
    // number ("12abc" is 12; a string is true when it starts with Y, y, T, t or a non-zero digit);
    // anything else gives false or 0.
    bool toBool() const;
    int64_t toInt64() const;
    int32_t toInt32() const;
    double toDouble() const;
    // Out of the float range gives an infinity.
    float toFloat() const;
    // A string's text; a number's decimal form ("1", "42", "1.5"); empty for anything else.
    std::string toString() const;

    // Dictionary lookup; a shared null Value when this is not a dictionary or the key is absent.
    const Value& operator[](std::string_view key) const;
    // Array element; a shared null Value when this is not an array or the index is out of range.
    const Value& operator[](size_t index) const;

    bool operator==(const Value& other) const;
    bool operator!=(const Value& other) const { return !(*this == other); }

    static const Value& null();

  private:
    // Owns a nested container on the heap and copies it deeply, so Value can hold its own kind.
    template <typename T>
    class Box {
      public:
        explicit Box(T v) : p_(std::make_unique<T>(std::move(v))) {}
        Box(const Box& o) : p_(std::make_unique<T>(*o.p_)) {}
        Box(Box&&) noexcept = default;
        Box& operator=(const Box& o) {
            p_ = std::make_unique<T>(*o.p_);
            return *this;
        }
        Box& operator=(Box&&) noexcept = default;
        T* get() const { return p_.get(); }

      private:
        std::unique_ptr<T> p_;
    };
    using Storage = std::variant<std::monostate, bool, int64_t, double, std::string, Bytes, Date, Box<Array>,
                                 Box<Dictionary>>;
    Storage data_;
};

// Defined here, where Value is complete.
inline size_t ValueDictionary::size() const {
    return entries_.size();
}
inline bool ValueDictionary::empty() const {
    return entries_.empty();
}
inline ValueDictionary::const_iterator ValueDictionary::begin() const {
    return entries_.begin();
}
inline ValueDictionary::const_iterator ValueDictionary::end() const {
    return entries_.end();
}
inline ValueDictionary::iterator ValueDictionary::begin() {
    return entries_.begin();
}
inline ValueDictionary::iterator ValueDictionary::end() {
    return entries_.end();
}

}  // namespace plat
