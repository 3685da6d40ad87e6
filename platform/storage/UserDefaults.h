#pragma once
// Typed, persistent settings of the app: one property-list file in Library/Preferences/, loaded when the
// store is made and written atomically by synchronize(). All calls are thread-safe.
// Lookups see the stored values first, then the registered defaults; the registered defaults hold
// "AppleLanguages", the preferred languages taken from the locale of the environment
// (LC_ALL, LC_MESSAGES, LANG: "ja_JP.UTF-8" gives ["ja"]; unset or "C" gives ["en"]).
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace plat {

class UserDefaults {
  public:
    static constexpr const char* kStandardFileName = "potemaru.plist";
    static constexpr const char* kLanguagesKey = "AppleLanguages";

    // The app's own store in Paths::preferences(). When the app home changes (tests), the next call
    // saves pending changes of the old store and opens the one of the new home.
    static std::shared_ptr<UserDefaults> standard();
    // Drops the app's store without saving it: its home is gone (the end of a test).
    static void forgetStandard();
    // A store kept in the given file. An unreadable file is moved aside to "<file>.unreadable" (so
    // nothing is lost) and the store starts empty.
    static std::shared_ptr<UserDefaults> create(const std::filesystem::path& file);

    explicit UserDefaults(std::filesystem::path file);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    const std::filesystem::path& path() const { return file_; }

    std::optional<Value> objectForKey(const std::string& key) const;
    // A null value removes the key.
    void setObject(Value value, const std::string& key);
    void removeObjectForKey(const std::string& key);

    // Missing keys give false, 0 or 0.0; other kinds are converted like number objects do.
    bool boolForKey(const std::string& key) const;
    int64_t integerForKey(const std::string& key) const;
    float floatForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    // A string, or a number's decimal text; empty for anything else.
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::optional<Bytes> dataForKey(const std::string& key) const;
    std::optional<Value::Array> arrayForKey(const std::string& key) const;
    std::optional<Value::Dictionary> dictionaryForKey(const std::string& key) const;

    void setBool(bool value, const std::string& key);
    void setInteger(int64_t value, const std::string& key);
    void setFloat(float value, const std::string& key);
    void setDouble(double value, const std::string& key);
    void setString(const std::string& value, const std::string& key);
    void setData(const Bytes& value, const std::string& key);

    // Values used for keys that hold nothing; never stored. Later registrations win.
    void registerDefaults(const Value::Dictionary& defaults);
    // Stored and registered values together.
    Value::Dictionary dictionaryRepresentation() const;

    // Writes pending changes to the file; true when the file holds them (or nothing was pending).
    bool synchronize();

  private:
    void load();

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    Value::Dictionary stored_;
    Value::Dictionary registered_;
    bool dirty_ = false;
};

}  // namespace plat
