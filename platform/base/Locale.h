#pragma once
// The user's language and region, from the locale environment: LC_ALL, then LC_MESSAGES, then LANG
// ("ja_JP.UTF-8" is the locale "ja_JP": language "ja", country "JP"). The C and POSIX locales, and no
// setting at all, count as "en_US". Preferred languages list LANGUAGE's entries ("pt_BR:ja") in the
// platform's form ("pt-BR", "ja"), then the locale's language. Read afresh on every call.
#include <string>
#include <string_view>
#include <vector>

namespace plat {

class Locale {
  public:
    static Locale current();
    static std::vector<std::string> preferredLanguages();

    // From a POSIX locale name; the code set (".UTF-8") and modifier ("@euro") are dropped.
    explicit Locale(std::string_view posixName);

    // "ja_JP", or just "ja" when the name has no country.
    const std::string& identifier() const { return identifier_; }
    const std::string& languageCode() const { return language_; }
    // Upper case; empty when the name has no country.
    const std::string& countryCode() const { return country_; }

  private:
    std::string identifier_;
    std::string language_;
    std::string country_;
};

}  // namespace plat
