#include "platform/base/Json.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "platform/base/Log.h"

namespace plat {
namespace {

void fail(Error* error, std::string description) {
    if (error) *error = Error::withDescription(Json::kErrorDomain, Json::kErrorCode, std::move(description));
}

// Builds the Value tree straight from the parser's events, without an intermediate document. Open
// containers wait on an explicit stack, so nesting costs no native stack; the depth limit exists because
// destroying a Value tree recurses.
class Builder : public nlohmann::json_sax<nlohmann::json> {
  public:
    bool null() override { return add(Value()); }
    bool boolean(bool b) override { return add(Value(b)); }
    bool number_integer(number_integer_t i) override { return add(Value(static_cast<int64_t>(i))); }
    bool number_unsigned(number_unsigned_t u) override {
        if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            return add(Value(static_cast<double>(u)));
        }
        return add(Value(static_cast<int64_t>(u)));
    }
    bool number_float(number_float_t d, const string_t&) override {
        return add(Value(static_cast<double>(d)));
    }
    bool string(string_t& s) override { return add(Value(std::move(s))); }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t) override { return open(Value(Value::Dictionary{})); }
    bool key(string_t& k) override {
        keys_.push_back(std::move(k));
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(Value(Value::Array{})); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& e) override {
        problem_ = "invalid JSON at byte " + std::to_string(position) + ": " + e.what();
        return false;
    }

    bool tooDeep() const { return tooDeep_; }
    const std::string& problem() const { return problem_; }
    std::optional<Value> take() { return std::move(root_); }

  private:
    bool open(Value container) {
        if (open_.size() >= static_cast<size_t>(Json::kMaxDepth)) {
            tooDeep_ = true;
            problem_ = "JSON nested too deeply";
            return false;
        }
        open_.push_back(std::move(container));
        return true;
    }
    bool close() {
        Value done = std::move(open_.back());
        open_.pop_back();
        return add(std::move(done));
    }
    bool add(Value v) {
        if (open_.empty()) {
            root_ = std::move(v);
            return true;
        }
        Value& top = open_.back();
        if (Value::Array* array = top.arrayIf()) {
            array->push_back(std::move(v));
        } else {
            top.dictionaryIf()->set(std::move(keys_.back()), std::move(v));
            keys_.pop_back();
        }
        return true;
    }

    std::vector<Value> open_;
    std::vector<std::string> keys_;
    std::optional<Value> root_;
    std::string problem_ = "invalid JSON";
    bool tooDeep_ = false;
};

template <typename Document>
bool toDocument(const Value& value, int depth, Document* out, std::string* problem) {
    if (depth > Json::kMaxDepth) {
        *problem = "nested too deeply";
        return false;
    }
    switch (value.type()) {
        case Value::Type::Null:
            *out = nullptr;
            return true;
        case Value::Type::Bool:
            *out = *value.boolIf();
            return true;
        case Value::Type::Integer:
            *out = *value.integerIf();
            return true;
        case Value::Type::Real:
            if (!std::isfinite(*value.realIf())) {
                *problem = "a number is not finite";
                return false;
            }
            *out = *value.realIf();
            return true;
        case Value::Type::String:
            *out = *value.stringIf();
            return true;
        case Value::Type::Data:
            *problem = "data has no JSON form";
            return false;
        case Value::Type::Date:
            *problem = "a date has no JSON form";
            return false;
        case Value::Type::Array: {
            *out = Document::array();
            for (const Value& item : *value.arrayIf()) {
                Document child;
                if (!toDocument(item, depth + 1, &child, problem)) return false;
                out->push_back(std::move(child));
            }
            return true;
        }
        case Value::Type::Dictionary: {
            *out = Document::object();
            for (const auto& [key, item] : *value.dictionaryIf()) {
                Document child;
                if (!toDocument(item, depth + 1, &child, problem)) return false;
                (*out)[key] = std::move(child);
            }
            return true;
        }
    }
    return false;
}

template <typename Document>
std::optional<std::string> dump(const Value& value, bool pretty, Error* error) {
    Document document;
    std::string problem;
    if (!toDocument(value, 0, &document, &problem)) {
        fail(error, "cannot write JSON: " + problem);
        return std::nullopt;
    }
    try {
        // Strict: text that is not UTF-8 is refused rather than replaced.
        return document.dump(pretty ? 2 : -1, ' ', false, nlohmann::detail::error_handler_t::strict);
    } catch (const std::exception& e) {
        fail(error, std::string("cannot write JSON: ") + e.what());
        return std::nullopt;
    }
}

}  // namespace

std::optional<Value> Json::parse(std::string_view text, Error* error) {
    return parse(text.data(), text.size(), error);
}

std::optional<Value> Json::parse(const void* data, size_t size, Error* error) {
    if (size > kMaxInputSize) {
        logWarning("Json: refusing %zu bytes of input (limit %zu)", size, kMaxInputSize);
        fail(error, "JSON input too large");
        return std::nullopt;
    }
    if (!data || size == 0) {
        fail(error, "no JSON input");
        return std::nullopt;
    }
    const char* begin = static_cast<const char*>(data);
    Builder builder;
    bool ok = false;
    try {
        ok = nlohmann::json::sax_parse(begin, begin + size, &builder);
    } catch (const std::exception& e) {
        fail(error, std::string("invalid JSON: ") + e.what());
        return std::nullopt;
    }
    if (builder.tooDeep()) logWarning("Json: input nested deeper than %d levels refused", kMaxDepth);
    if (!ok) {
        fail(error, builder.problem());
        return std::nullopt;
    }
    return builder.take();
}

std::optional<std::string> Json::write(const Value& value, Error* error) {
    return write(value, WriteOptions{}, error);
}

std::optional<std::string> Json::write(const Value& value, const WriteOptions& options, Error* error) {
    if (options.keyOrder == KeyOrder::Sorted) return dump<nlohmann::json>(value, options.pretty, error);
    return dump<nlohmann::ordered_json>(value, options.pretty, error);
}

}  // namespace plat
