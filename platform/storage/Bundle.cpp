#include "platform/storage/Bundle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <system_error>

#include "platform/base/Lasting.h"
#include "platform/base/Log.h"
#include "platform/storage/FileManager.h"
#include "platform/storage/ProgramFiles.h"
#include "platform/storage/PropertyList.h"
#include "platform/storage/UserDefaults.h"

namespace plat {
namespace fs = std::filesystem;

namespace {

std::mutex& mainMutex() {
    static std::mutex m;
    return m;
}

fs::path& mainOverride() {
    static Lasting<fs::path> p;
    return *p;
}

// Values set by the app or a test; a null value removes the key.
Value::Dictionary& mainInfoOverrides() {
    static Lasting<Value::Dictionary> d;
    return *d;
}

// Whether the main bundle or the home was read: from then on the app's identity stays as it is.
bool& mainIdentityFixed() {
    static bool fixed = false;
    return fixed;
}

// The merged values of the main bundle, made on first use after a change.
std::shared_ptr<const Value::Dictionary>& mainInfo() {
    static Lasting<std::shared_ptr<const Value::Dictionary>> info;
    return *info;
}

Value::Dictionary readInfoFile(const fs::path& resourcePath) {
    fs::path file = resourcePath / Bundle::kInfoFileName;
    std::error_code ec;
    if (resourcePath.empty() || !fs::is_regular_file(file, ec)) return {};
    auto value = PropertyList::readFile(file);
    if (!value || !value->isDictionary()) {
        logWarning("Bundle: %s holds no dictionary of information values", file.c_str());
        return {};
    }
    return *value->dictionaryIf();
}

// Whether `name` may name the app's home folder and its preferences file ("<name>.plist"): one file name,
// no folder elsewhere, no control character, and short enough for every name the preferences give a file
// beside them (each save's temporary, a damaged file set aside), or the settings could never be stored.
bool namesAFile(const std::string& name) {
    if (name.empty() || name == "." || name == ".." ||
        UserDefaults::longestNameBeside(UserDefaults::standardFileNameFor(name)) > NAME_MAX)
        return false;
    for (const unsigned char c : name)
        if (c == '/' || c < 0x20 || c == 0x7f) return false;
    return true;
}

bool escapesRoot(const fs::path& relative) {
    int depth = 0;
    for (const fs::path& part : relative) {
        if (part == "..") {
            if (--depth < 0) return true;
        } else if (part != "." && !part.empty()) {
            ++depth;
        }
    }
    return false;
}

}  // namespace

Bundle::Bundle(fs::path resourcePath) : resourcePath_(std::move(resourcePath)) {}

Bundle::Bundle(fs::path resourcePath, std::shared_ptr<const Value::Dictionary> info)
    : resourcePath_(std::move(resourcePath)), info_(std::move(info)) {}

std::string Bundle::programName() {
    std::string name = executablePath().filename().string();
    // A program whose file was replaced while it runs (a rebuild) still has its name.
    constexpr std::string_view kDeleted = " (deleted)";
    if (name.ends_with(kDeleted)) name.resize(name.size() - kDeleted.size());
    if (name.empty() && program_invocation_short_name) name = program_invocation_short_name;
    return name.empty() ? "app" : name;
}

Value::Dictionary Bundle::defaultInfoDictionary() {
    const std::string name = programName();
    return Value::Dictionary{{kNameKey, name}, {kExecutableKey, name}};
}

const Value::Dictionary& Bundle::infoDictionary() const {
    if (!info_) info_ = std::make_shared<const Value::Dictionary>(readInfoFile(resourcePath_));
    return *info_;
}

const Value& Bundle::objectForInfoDictionaryKey(std::string_view key) const {
    const Value* v = infoDictionary().find(key);
    return v ? *v : Value::null();
}

std::string Bundle::bundleIdentifier() const {
    const std::string* s = objectForInfoDictionaryKey(kIdentifierKey).stringIf();
    return s ? *s : std::string();
}

std::string Bundle::appName() const {
    const std::string* name = objectForInfoDictionaryKey(kNameKey).stringIf();
    return name && namesAFile(*name) ? *name : programName();
}

bool Bundle::setMainIdentity(const std::string& identifier, const std::string& name,
                             const std::string& version) {
    std::lock_guard<std::mutex> lock(mainMutex());
    // What was named after the identity so far (the home, the preferences file) would no longer be the app's.
    if (mainIdentityFixed()) {
        logError("Bundle: the identity %s comes after the bundle or the home was read, and is refused",
                 identifier.c_str());
        return false;
    }
    mainInfoOverrides().set(kIdentifierKey, identifier);
    mainInfoOverrides().set(kNameKey, name);
    mainInfoOverrides().set(kShortVersionKey, version);
    mainInfo().reset();
    return true;
}

void Bundle::fixMainIdentity() {
    std::lock_guard<std::mutex> lock(mainMutex());
    mainIdentityFixed() = true;
}

void Bundle::setMainInfoValue(const std::string& key, Value value) {
    std::lock_guard<std::mutex> lock(mainMutex());
    mainInfoOverrides().set(key, std::move(value));
    mainInfo().reset();
}

void Bundle::resetMainInfoValues() {
    std::lock_guard<std::mutex> lock(mainMutex());
    mainInfoOverrides().clear();
    mainInfo().reset();
    mainIdentityFixed() = false;
}

// The game's assets: a folder that holds its table of forms, which every copy of them holds.
DataSearch Bundle::findDefaultResources() {
    return findData(gameDataFolder() / "assets", "assets", "chara.csv");
}

// The app's own folder beside its program, named after the program's file (<prefix>/share/<program>),
// whatever it holds: an app ships its own resources (and its Info.plist) there, and two programs of one bin/
// never share a folder, nor take the game's. For the build's own programs, the checkout's assets. Where
// neither is, the folder beside: a bundle there finds nothing, where one in the current folder would read
// whatever lies there. The game looks further (findDefaultResources), and its shell gives the bundle what it
// found.
fs::path Bundle::defaultResourcePath() {
    const fs::path own = installedDataPath(programName());
    if (FileManager::isDirectory(own)) return own;
    const fs::path checkout = checkoutFolder();
    if (!checkout.empty() && FileManager::isDirectory(checkout / "assets")) return checkout / "assets";
    return own;
}

Bundle Bundle::main() {
    std::lock_guard<std::mutex> lock(mainMutex());
    mainIdentityFixed() = true;
    if (mainOverride().empty()) mainOverride() = defaultResourcePath();
    if (!mainInfo()) {
        Value::Dictionary info = defaultInfoDictionary();
        for (auto& [key, value] : readInfoFile(mainOverride())) info.set(key, std::move(value));
        for (const auto& [key, value] : mainInfoOverrides()) {
            if (value.isNull()) {
                info.remove(key);
            } else {
                info.set(key, value);
            }
        }
        if (const std::string* name = info.find(kNameKey) ? info.find(kNameKey)->stringIf() : nullptr;
            name && !namesAFile(*name))
            logWarning(
                "Bundle: the app's name (%zu bytes) cannot name a file; its home and preferences take "
                "the program's name, %s",
                name->size(), programName().c_str());
        mainInfo() = std::make_shared<const Value::Dictionary>(std::move(info));
    }
    return Bundle(mainOverride(), mainInfo());
}

void Bundle::setMainResourcePath(const fs::path& resourcePath) {
    // One spelling of the folder for every reader: the web engine, for one, names the files below it by
    // the cleaned path and would not know them by another.
    fs::path cleaned;
    if (!resourcePath.empty()) {
        std::error_code ec;
        cleaned = fs::absolute(resourcePath, ec);
        cleaned = (ec ? resourcePath : cleaned).lexically_normal();
        if (cleaned.has_relative_path() && !cleaned.has_filename()) cleaned = cleaned.parent_path();
    }
    std::lock_guard<std::mutex> lock(mainMutex());
    mainOverride() = cleaned.empty() ? defaultResourcePath() : cleaned;
    mainInfo().reset();
}

fs::path Bundle::pathForResource(std::string_view name, std::string_view type,
                                 std::string_view directory) const {
    if (name.empty()) return {};
    std::string file(name);
    if (!type.empty()) {
        if (type.front() != '.') file += '.';
        file += type;
    }
    fs::path relative = fs::path(std::string(directory)) / file;
    if (relative.is_absolute() || escapesRoot(relative)) return {};
    fs::path full = (resourcePath_ / relative).lexically_normal();
    struct stat st {};
    if (::stat(full.c_str(), &st) != 0) return {};
    return full;
}

}  // namespace plat
