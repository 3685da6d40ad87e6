#include "platform/net/HTTPHeaderFields.h"

#include <algorithm>

namespace plat {

HTTPHeaderFields::HTTPHeaderFields(std::initializer_list<Field> fields) {
    for (const auto& [name, value] : fields) set(name, value);
}

bool HTTPHeaderFields::sameName(std::string_view a, std::string_view b) {
    // Field names are ASCII tokens; no locale is involved.
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::optional<std::string> HTTPHeaderFields::value(std::string_view name) const {
    for (const auto& f : fields_)
        if (sameName(f.first, name)) return f.second;
    return std::nullopt;
}

void HTTPHeaderFields::set(std::string_view name, std::string value) {
    for (auto& f : fields_) {
        if (sameName(f.first, name)) {
            f.second = std::move(value);
            return;
        }
    }
    fields_.emplace_back(std::string(name), std::move(value));
}

void HTTPHeaderFields::add(std::string_view name, std::string_view value) {
    for (auto& f : fields_) {
        if (sameName(f.first, name)) {
            f.second.append(", ").append(value);
            return;
        }
    }
    fields_.emplace_back(std::string(name), std::string(value));
}

bool HTTPHeaderFields::remove(std::string_view name) {
    auto it =
        std::find_if(fields_.begin(), fields_.end(), [&](const Field& f) { return sameName(f.first, name); });
    if (it == fields_.end()) return false;
    fields_.erase(it);
    return true;
}

}  // namespace plat
