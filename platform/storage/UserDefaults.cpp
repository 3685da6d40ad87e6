#include "platform/storage/UserDefaults.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "platform/base/Lasting.h"
#include "platform/base/Locale.h"
#include "platform/base/Log.h"
#include "platform/runloop/SerialQueue.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/FileManager.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"

namespace plat {
namespace fs = std::filesystem;

namespace {

// What a file read whole that holds no settings is set aside as: "<file>.unreadable".
constexpr const char* kUnreadableSuffix = ".unreadable";

// Nulls have no stored form; refusing them here keeps one bad value from blocking every later save.
bool storable(const Value& v, int depth = 0) {
    if (depth > PropertyList::kMaxDepth || v.isNull()) return false;
    if (const auto* a = v.arrayIf()) {
        for (const Value& item : *a)
            if (!storable(item, depth + 1)) return false;
    } else if (const auto* d = v.dictionaryIf()) {
        for (const auto& [key, item] : *d)
            if (!storable(item, depth + 1)) return false;
    }
    return true;
}

std::mutex& standardMutex() {
    static std::mutex m;
    return m;
}

// Worker threads read the defaults until the process ends.
std::shared_ptr<UserDefaults>& standardSlot() {
    static Lasting<std::shared_ptr<UserDefaults>> instance;
    return *instance;
}

}  // namespace

struct UserDefaults::Disk {
    explicit Disk(fs::path f) : file(std::move(f)) {}

    // Adds one change to `log`; a null value is a removal.
    static void record(Changes& log, const std::string& key, const Value* value) {
        auto it = std::find_if(log.begin(), log.end(), [&](const Change& c) { return c.key == key; });
        if (!value) {
            // Removing is in place: it moves no other key.
            if (it == log.end()) {
                log.push_back({key, Value(), Change::Kind::Remove});
            } else {
                it->value = Value();
                it->kind = Change::Kind::Remove;
            }
        } else if (it == log.end()) {
            log.push_back({key, *value, Change::Kind::Set});
        } else if (it->kind == Change::Kind::Remove) {
            log.erase(it);
            log.push_back({key, *value, Change::Kind::RemoveAndSet});
        } else {
            it->value = *value;
        }
    }

    // `later` after `log`, as one log.
    static void append(Changes& log, Changes&& later) {
        if (log.empty()) {
            log.swap(later);
            return;
        }
        for (Change& c : later) {
            if (c.kind != Change::Kind::Set) record(log, c.key, nullptr);
            if (c.kind != Change::Kind::Remove) record(log, c.key, &c.value);
        }
        later.clear();
    }

    static void replay(Changes&& log, Value::Dictionary& into) {
        for (Change& c : log) {
            if (c.kind != Change::Kind::Set) into.remove(c.key);
            if (c.kind != Change::Kind::Remove) into.set(std::move(c.key), std::move(c.value));
        }
        log.clear();
    }

    // Writes what was handed over, after any write before it; true when the file holds it.
    bool write() {
        std::lock_guard<std::mutex> lock(writeMutex);
        Changes changes;
        {
            std::lock_guard<std::mutex> p(pendingMutex);
            changes.swap(pending);
            writeQueued = false;
        }
        if (changes.empty() && !unwritten) return true;
        replay(std::move(changes), written);
        unwritten = true;
        if (keepFile) return false;
        // Moved into the value and back: the dictionary is not copied for the write.
        Value all(std::move(written));
        auto bytes = PropertyList::serialize(all, PropertyList::Format::Binary);
        written = std::move(*all.dictionaryIf());
        if (!bytes) return false;
        std::error_code ec;
        fs::create_directories(file.parent_path(), ec);
        // The one file a player may keep elsewhere: a link to it is written through and stays.
        if (!writeFileAtomically(file, *bytes, Links::WriteThrough)) return false;
        unwritten = false;
        return true;
    }

    // False while a failed write left changes out of the file.
    bool holdsAll() {
        std::lock_guard<std::mutex> lock(writeMutex);
        return !unwritten;
    }

    const fs::path file;
    bool keepFile = false;  // the file holds settings that were not read: never replaced by a write
    std::mutex writeMutex;
    Value::Dictionary written;  // the store as of the last hand-over written (or tried)
    bool unwritten = false;     // `written` holds changes that a failed write did not store
    std::mutex pendingMutex;
    Changes pending;           // handed over, not yet taken by a write
    bool writeQueued = false;  // a background write is queued and has not taken `pending` yet
};

void UserDefaults::forgetStandard() {
    std::shared_ptr<UserDefaults> old;
    std::lock_guard<std::mutex> lock(standardMutex());
    old.swap(standardSlot());
}

std::string UserDefaults::standardFileName() {
    return standardFileNameFor(Bundle::main().appName());
}

std::string UserDefaults::standardFileNameFor(const std::string& appName) {
    return appName + ".plist";
}

size_t UserDefaults::longestNameBeside(const std::string& fileName) {
    return std::max({fileName.size(), temporaryNameLength(fileName),
                     FileManager::longestAsideName(fileName, kUnreadableSuffix)});
}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    fs::path file = Paths::preferences() / standardFileName();
    std::lock_guard<std::mutex> lock(standardMutex());
    std::shared_ptr<UserDefaults>& instance = standardSlot();
    if (!instance || instance->path() != file) {
        if (instance) instance->synchronize();
        instance = create(file);
    }
    return instance;
}

bool UserDefaults::waitForStandardWrites() {
    std::shared_ptr<UserDefaults> instance;
    {
        std::lock_guard<std::mutex> lock(standardMutex());
        instance = standardSlot();
    }
    return !instance || instance->waitForBackgroundWrites();
}

std::shared_ptr<UserDefaults> UserDefaults::create(const fs::path& file,
                                                   std::shared_ptr<SerialQueue> writer) {
    return std::make_shared<UserDefaults>(file, std::move(writer));
}

UserDefaults::UserDefaults(fs::path file, std::shared_ptr<SerialQueue> writer)
    : file_(std::move(file)), disk_(std::make_shared<Disk>(file_)), writer_(std::move(writer)) {
    registered_.set(kLanguagesKey, Value(Value::Array{Value(Locale::current().languageCode())}));
    load();
    disk_->written = stored_;
    disk_->keepFile = unread_;
}

UserDefaults::~UserDefaults() {
    waitForBackgroundWrites();
}

void UserDefaults::load() {
    // A kill between a save's temporary file and its rename leaves the temporary behind for good.
    removeStaleTemporaryFiles(file_, Links::WriteThrough);
    auto read = FileManager::readFile(file_, PropertyList::kMaxInputSize);
    switch (read.status) {
        case FileManager::ReadResult::Status::Missing:
            return;
        case FileManager::ReadResult::Status::Unreadable:
            // The settings may be fine; a save now would replace them with those of a new player.
            unread_ = true;
            logError(
                "settings file %s cannot be read (%s); it is left as it is and this session runs on "
                "empty settings that are not saved",
                file_.c_str(), std::strerror(read.error.value()));
            return;
        case FileManager::ReadResult::Status::Read:
            if (auto value = PropertyList::parse(read.bytes.data(), read.bytes.size());
                value && value->isDictionary()) {
                stored_ = std::move(*value->dictionaryIf());
                return;
            }
            break;
        case FileManager::ReadResult::Status::TooLarge:
            break;
    }
    // Through a link, the damaged file is what goes aside; the link stays for the next save to write through.
    std::error_code ec;
    fs::path aside = FileManager::moveAside(linkTarget(file_).value_or(file_), kUnreadableSuffix, ec);
    if (aside.empty()) {
        unread_ = true;
        logError(
            "settings file %s holds no settings and cannot be set aside (%s); it stays where it is and "
            "this session runs on empty settings that are not saved",
            file_.c_str(), ec.message().c_str());
        return;
    }
    logWarning("settings file %s holds no settings; kept as %s, starting with empty settings", file_.c_str(),
               aside.c_str());
}

std::optional<Value> UserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const Value* v = stored_.find(key)) return *v;
    if (const Value* v = registered_.find(key)) return *v;
    return std::nullopt;
}

void UserDefaults::setObject(Value value, const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (value.isNull()) {
        if (stored_.remove(key)) Disk::record(changes_, key, nullptr);
        return;
    }
    if (!storable(value)) {
        logError("cannot store the value for \"%s\" in the settings: it holds a null", key.c_str());
        return;
    }
    Disk::record(changes_, key, &value);
    stored_.set(key, std::move(value));
}

void UserDefaults::removeObjectForKey(const std::string& key) {
    setObject(Value(), key);
}

bool UserDefaults::boolForKey(const std::string& key) const {
    auto v = objectForKey(key);
    return v ? v->toBool() : false;
}

int64_t UserDefaults::integerForKey(const std::string& key) const {
    auto v = objectForKey(key);
    return v ? v->toInt64() : 0;
}

float UserDefaults::floatForKey(const std::string& key) const {
    auto v = objectForKey(key);
    return v ? v->toFloat() : 0.0f;
}

double UserDefaults::doubleForKey(const std::string& key) const {
    auto v = objectForKey(key);
    return v ? v->toDouble() : 0.0;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
    auto v = objectForKey(key);
    if (!v || !(v->isString() || v->isNumber())) return std::nullopt;
    return v->toString();
}

std::optional<Bytes> UserDefaults::dataForKey(const std::string& key) const {
    auto v = objectForKey(key);
    if (!v || !v->isData()) return std::nullopt;
    return *v->dataIf();
}

std::optional<Value::Array> UserDefaults::arrayForKey(const std::string& key) const {
    auto v = objectForKey(key);
    if (!v || !v->isArray()) return std::nullopt;
    return *v->arrayIf();
}

std::optional<Value::Dictionary> UserDefaults::dictionaryForKey(const std::string& key) const {
    auto v = objectForKey(key);
    if (!v || !v->isDictionary()) return std::nullopt;
    return *v->dictionaryIf();
}

void UserDefaults::setBool(bool value, const std::string& key) {
    setObject(Value(value), key);
}
void UserDefaults::setInteger(int64_t value, const std::string& key) {
    setObject(Value(value), key);
}
void UserDefaults::setFloat(float value, const std::string& key) {
    setObject(Value(value), key);
}
void UserDefaults::setDouble(double value, const std::string& key) {
    setObject(Value(value), key);
}
void UserDefaults::setString(const std::string& value, const std::string& key) {
    setObject(Value(value), key);
}
void UserDefaults::setData(const Bytes& value, const std::string& key) {
    setObject(Value(value), key);
}

void UserDefaults::registerDefaults(const Value::Dictionary& defaults) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [key, value] : defaults) registered_.set(key, value);
}

Value::Dictionary UserDefaults::dictionaryRepresentation() const {
    std::lock_guard<std::mutex> lock(mutex_);
    Value::Dictionary all = registered_;
    for (const auto& [key, value] : stored_) all.set(key, value);
    return all;
}

bool UserDefaults::handOver() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (changes_.empty()) return false;
    // Under the store's lock, so hand-overs from several threads reach the writer in the order of
    // the changes.
    std::lock_guard<std::mutex> p(disk_->pendingMutex);
    Disk::append(disk_->pending, std::move(changes_));
    return true;
}

SerialQueue* UserDefaults::writer() {
    // At the priority of the thread that saves first (the main thread, in the app): a save handed over
    // starts at once. At a lower one it waited behind every busy core, and a kill in that time lost it.
    if (!writer_) writer_ = std::make_shared<SerialQueue>("SettingsWriter");
    return writer_.get();
}

bool UserDefaults::synchronize() {
    handOver();
    return disk_->write();
}

void UserDefaults::synchronizeInBackground() {
    synchronizeInBackground(nullptr);
}

void UserDefaults::synchronizeInBackground(std::function<void(bool)> written) {
    if (!handOver() && !written) return;
    std::lock_guard<std::mutex> p(disk_->pendingMutex);
    if (!disk_->writeQueued && !disk_->pending.empty()) {
        disk_->writeQueued = true;
        writer()->async([disk = disk_] { disk->write(); });
    }
    // Behind the write that takes what is pending now: the next write is queued only once it started.
    if (written) writer()->async([disk = disk_, written = std::move(written)] { written(disk->holdsAll()); });
}

bool UserDefaults::waitForBackgroundWrites() {
    std::shared_ptr<SerialQueue> queue;
    {
        std::lock_guard<std::mutex> p(disk_->pendingMutex);
        queue = writer_;
    }
    // The write queued last runs before this; on a queue of the caller's own loop it cannot, and
    // what it would have written is written here.
    if (queue) queue->sync([] {});
    return disk_->write();
}

}  // namespace plat
