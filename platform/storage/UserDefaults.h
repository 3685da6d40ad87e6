#pragma once
// Typed, persistent settings of the app: one property-list file in Library/Preferences/, loaded when the
// store is made and written atomically by synchronize(), or by synchronizeInBackground() on a writer
// thread for callers that must not wait for the disk. All calls are thread-safe; the values in memory
// are the truth, so reads see every write at once, whether or not it is on disk yet.
// Lookups see the stored values first, then the registered defaults; the registered defaults hold
// "AppleLanguages", the preferred languages taken from the locale of the environment
// (LC_ALL, LC_MESSAGES, LANG: "ja_JP.UTF-8" gives ["ja"]; unset or "C" gives ["en"]).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Value.h"

namespace plat {

class SerialQueue;

class UserDefaults {
  public:
    // The app's own store's file name: the main bundle's appName and ".plist".
    static std::string standardFileName();
    // The same for an app of that name.
    static std::string standardFileNameFor(const std::string& appName);
    // The longest name a store kept in a file named `fileName` gives a file in its folder: the file's
    // own, a save's temporary, or the file set aside as damaged.
    static size_t longestNameBeside(const std::string& fileName);
    static constexpr const char* kLanguagesKey = "AppleLanguages";

    // The app's own store in Paths::preferences(). When the app home changes (tests), the next call
    // saves pending changes of the old store and opens the one of the new home.
    static std::shared_ptr<UserDefaults> standard();
    // Drops the app's store without saving its changes (its home is gone: the end of a test); writes
    // already handed to its writer finish first.
    static void forgetStandard();
    // The standard store's waitForBackgroundWrites(), without opening a store when none is open.
    static bool waitForStandardWrites();
    // A store kept in the given file. A file that is there but cannot be read now (no permission, no
    // descriptor free, an I/O error) is left exactly as it is: the store starts empty and never writes
    // the file, so a later store on it reads it again. A file read whole that holds no settings is set
    // aside as "<file>.unreadable" ("-2", "-3", ... beside earlier ones) and the store starts empty;
    // where it cannot be set aside it stays and is not written either. Background writes run on
    // `writer` when given, else on a thread of the store's own, started by the first of them.
    static std::shared_ptr<UserDefaults> create(const std::filesystem::path& file,
                                                std::shared_ptr<SerialQueue> writer = nullptr);

    explicit UserDefaults(std::filesystem::path file, std::shared_ptr<SerialQueue> writer = nullptr);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    const std::filesystem::path& path() const { return file_; }
    // True when the file is there but what it holds did not reach this store (it could not be read, or
    // damage could not be set aside): the values in memory are only those set since, and saving them
    // fails rather than replace the file.
    bool storedSettingsUnread() const { return unread_; }

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

    // Writes pending changes to the file now, after a background write still running; true when the
    // file holds them (or nothing was pending).
    bool synchronize();
    // Hands the changes made so far to the writer and returns at once. The writer stores them as
    // synchronize() would, in the order they were handed over; what is handed over while a write
    // waits to start joins that write.
    void synchronizeInBackground();
    // The same, then `written` runs on the writer once the file holds everything handed over so far
    // (false when writing it failed), even when nothing new was handed over.
    void synchronizeInBackground(std::function<void(bool)> written);
    // Returns once everything handed to the writer is in the file; false when writing it failed.
    bool waitForBackgroundWrites();

  private:
    // One key's change since the last hand-over. Each key has at most one, kept where replaying them
    // in order gives the keys their order in the store: a key removed and set again goes last.
    struct Change {
        enum class Kind { Set, Remove, RemoveAndSet };
        std::string key;
        Value value;
        Kind kind;
    };
    using Changes = std::vector<Change>;
    // What the file holds and what is on its way there; shared with queued writes, which may outlive
    // the store when the writer queue is not its own.
    struct Disk;

    void load();
    bool handOver();
    SerialQueue* writer();

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    Value::Dictionary stored_;
    Value::Dictionary registered_;
    Changes changes_;
    std::shared_ptr<Disk> disk_;
    std::shared_ptr<SerialQueue> writer_;
    bool unread_ = false;  // set while the store is made, never after
};

}  // namespace plat
