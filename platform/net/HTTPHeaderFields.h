#pragma once
// HTTP header fields in the order they were set. Names compare without case, as HTTP says; a field
// set twice keeps its first place.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plat {

class HTTPHeaderFields {
  public:
    using Field = std::pair<std::string, std::string>;
    using const_iterator = std::vector<Field>::const_iterator;

    HTTPHeaderFields() = default;
    HTTPHeaderFields(std::initializer_list<Field> fields);

    std::optional<std::string> value(std::string_view name) const;
    // Replaces the field's value (adds the field when absent).
    void set(std::string_view name, std::string value);
    // Appends to an existing value with ", " (adds the field when absent).
    void add(std::string_view name, std::string_view value);
    bool remove(std::string_view name);
    bool contains(std::string_view name) const { return value(name).has_value(); }

    size_t size() const { return fields_.size(); }
    bool empty() const { return fields_.empty(); }
    const_iterator begin() const { return fields_.begin(); }
    const_iterator end() const { return fields_.end(); }
    bool operator==(const HTTPHeaderFields&) const = default;

    static bool sameName(std::string_view a, std::string_view b);

  private:
    std::vector<Field> fields_;
};

}  // namespace plat
