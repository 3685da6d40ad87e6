#include "platform/base/Locale.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace plat {
namespace {

constexpr const char* kFallback = "en_US";

bool isLetters(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(),
                                     [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The locale name the environment selects for messages; empty when none or the C locale.
std::string environmentName() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            std::string_view name(value);
            if (name == "C" || name == "POSIX" || name.substr(0, 2) == "C.") return {};
            return std::string(name);
        }
    }
    return {};
}

// Splits "ja_JP.UTF-8@mod" into "ja" and "JP"; false for a name that is not of that shape.
bool splitName(std::string_view posixName, std::string* language, std::string* country) {
    std::string_view name = posixName.substr(0, posixName.find_first_of(".@"));
    std::string_view lang = name.substr(0, name.find_first_of("_-"));
    std::string_view region = lang.size() < name.size() ? name.substr(lang.size() + 1) : std::string_view();
    if (!isLetters(lang) || lang.size() < 2 || lang.size() > 3) return false;
    if (!region.empty() && (!isLetters(region) || region.size() != 2)) return false;
    *language = lower(lang);
    *country = upper(region);
    return true;
}

}  // namespace

Locale::Locale(std::string_view posixName) {
    if (!splitName(posixName, &language_, &country_)) splitName(kFallback, &language_, &country_);
    identifier_ = country_.empty() ? language_ : language_ + "_" + country_;
}

Locale Locale::current() {
    std::string name = environmentName();
    return Locale(name.empty() ? kFallback : name);
}

std::vector<std::string> Locale::preferredLanguages() {
    std::vector<std::string> out, languages;
    auto add = [&](std::string_view name) {
        std::string language, country;
        if (!splitName(name, &language, &country)) return;
        std::string tag = country.empty() ? language : language + "-" + country;
        if (std::find(out.begin(), out.end(), tag) != out.end()) return;
        out.push_back(std::move(tag));
        languages.push_back(std::move(language));
    };
    std::string primary = environmentName();
    const char* list = std::getenv("LANGUAGE");
    // As with message catalogues, the language list only counts when a real locale is selected.
    if (list && *list && !primary.empty()) {
        std::string_view rest(list);
        while (!rest.empty()) {
            std::string_view entry = rest.substr(0, rest.find(':'));
            rest = entry.size() < rest.size() ? rest.substr(entry.size() + 1) : std::string_view();
            if (!entry.empty()) add(entry);
        }
    }
    // The locale's own language closes the list unless an entry already named it.
    std::string language = current().languageCode();
    if (std::find(languages.begin(), languages.end(), language) == languages.end()) out.push_back(language);
    return out;
}

}  // namespace plat
