#include "platform/storage/UserDefaults.h"

#include <system_error>

#include "platform/base/Locale.h"
#include "platform/base/Log.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/FileManager.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"

namespace plat {
namespace fs = std::filesystem;

namespace {

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

std::shared_ptr<UserDefaults>& standardSlot() {
    static std::shared_ptr<UserDefaults> instance;
    return instance;
}

}  // namespace

void UserDefaults::forgetStandard() {
    std::shared_ptr<UserDefaults> old;
    std::lock_guard<std::mutex> lock(standardMutex());
    old.swap(standardSlot());
}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    fs::path file = Paths::preferences() / kStandardFileName;
    std::lock_guard<std::mutex> lock(standardMutex());
    std::shared_ptr<UserDefaults>& instance = standardSlot();
    if (!instance || instance->path() != file) {
        if (instance) instance->synchronize();
        instance = create(file);
    }
    return instance;
}

std::shared_ptr<UserDefaults> UserDefaults::create(const fs::path& file) {
    return std::make_shared<UserDefaults>(file);
}

UserDefaults::UserDefaults(fs::path file) : file_(std::move(file)) {
    registered_.set(kLanguagesKey, Value(Value::Array{Value(Locale::current().languageCode())}));
    load();
}

UserDefaults::~UserDefaults() = default;

void UserDefaults::load() {
    // A kill between a save's temporary file and its rename leaves the temporary behind for good.
    removeStaleTemporaryFiles(file_);
    if (!FileManager::fileExists(file_)) return;
    auto value = PropertyList::readFile(file_);
    if (value && value->isDictionary()) {
        stored_ = *value->dictionaryIf();
        return;
    }
    fs::path aside = file_;
    aside += ".unreadable";
    std::error_code ec;
    fs::rename(file_, aside, ec);
    logWarning("settings file %s is unreadable; kept as %s, starting with empty settings", file_.c_str(),
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
        if (stored_.remove(key)) dirty_ = true;
        return;
    }
    if (!storable(value)) {
        logError("cannot store the value for \"%s\" in the settings: it holds a null", key.c_str());
        return;
    }
    stored_.set(key, std::move(value));
    dirty_ = true;
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

bool UserDefaults::synchronize() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!dirty_) return true;
    auto bytes = PropertyList::serialize(Value(stored_), PropertyList::Format::Binary);
    if (!bytes) return false;
    std::error_code ec;
    fs::create_directories(file_.parent_path(), ec);
    if (!writeFileAtomically(file_, *bytes)) return false;
    dirty_ = false;
    return true;
}

}  // namespace plat
