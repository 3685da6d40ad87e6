#include "kite/files/KTUserDefaultStore.h"

#include <tinyxml2.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>

#include "kite/files/KTFileUtils.h"
#include "platform/base/Log.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/Paths.h"
#include "platform/storage/UserDefaults.h"

namespace kite {

namespace {

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

struct LegacyNode {
    std::unique_ptr<XMLDocument> doc;
    XMLElement* node = nullptr;
};

// The legacy element named after the key, with the document that holds it.
LegacyNode getXMLNodeForKey(const char* pKey) {
    LegacyNode found;
    const std::string& path = KTUserDefaultStore::getXMLFilePath();
    if (!pKey || !KTUserDefaultStore::isXMLFileExist()) return found;
    found.doc = std::make_unique<XMLDocument>(true, tinyxml2::PRESERVE_WHITESPACE);
    unsigned long size = 0;
    unsigned char* data = KTFileUtils::sharedFileUtils()->getFileData(path.c_str(), "rb", &size);
    if (!data) {
        plat::logError("can not read xml file");
        return found;
    }
    found.doc->Parse(reinterpret_cast<const char*>(data), size);
    delete[] data;
    XMLElement* root = found.doc->RootElement();
    if (!root) {
        plat::logError("read root node error");
        return found;
    }
    XMLElement* current = root->FirstChildElement();
    if (!current) {
        // Every key has moved out: the file has done its work.
        std::remove(path.c_str());
        return found;
    }
    while (current && std::strcmp(current->Name(), pKey) != 0) current = current->NextSiblingElement();
    found.node = current;
    return found;
}

void deleteNodeAndSave(LegacyNode& legacy) {
    if (!legacy.node || !legacy.doc) return;
    // Settings that could not be read are not saved this session: the key stays here until they are.
    if (plat::UserDefaults::standard()->storedSettingsUnread()) return;
    legacy.doc->DeleteNode(legacy.node);
    legacy.node = nullptr;
    tinyxml2::XMLPrinter printer;
    legacy.doc->Print(&printer);
    size_t length = printer.CStrSize() > 0 ? static_cast<size_t>(printer.CStrSize() - 1) : 0;
    plat::writeFileAtomically(KTUserDefaultStore::getXMLFilePath(), std::string_view(printer.CStr(), length));
}

// The text of a legacy element when it has one; an element without content is removed on the way.
const char* legacyText(LegacyNode& legacy) {
    if (!legacy.node) return nullptr;
    if (const tinyxml2::XMLNode* child = legacy.node->FirstChild()) {
        const char* text = child->Value();
        return text ? text : "";
    }
    deleteNodeAndSave(legacy);
    return nullptr;
}

// atoi, without its undefined overflow: out-of-range texts saturate.
int parseInteger(const char* text) {
    long v = std::strtol(text, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

// atof narrowed to float; beyond the float range gives an infinity.
float parseFloat(const char* text) {
    double d = std::strtod(text, nullptr);
    if (d > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
    if (d < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

std::optional<plat::Value> storedValue(const char* pKey) {
    if (!pKey) return std::nullopt;
    return plat::UserDefaults::standard()->objectForKey(pKey);
}

}  // namespace

KTUserDefaultStore* KTUserDefaultStore::m_spUserDefault = nullptr;
std::string KTUserDefaultStore::m_sFilePath;
bool KTUserDefaultStore::m_sbIsFilePathInitialized = false;

KTUserDefaultStore::KTUserDefaultStore() = default;
KTUserDefaultStore::~KTUserDefaultStore() = default;

KTUserDefaultStore* KTUserDefaultStore::sharedUserDefaultStore() {
    initXMLFilePath();
    // The store has no state of its own: one object serves every use and is never destroyed early.
    static KTUserDefaultStore instance;
    if (!m_spUserDefault) m_spUserDefault = &instance;
    return m_spUserDefault;
}

void KTUserDefaultStore::purgeSharedUserDefaultStore() {
    plat::UserDefaults::waitForStandardWrites();
    m_spUserDefault = nullptr;
    m_sbIsFilePathInitialized = false;
}

void KTUserDefaultStore::initXMLFilePath() {
    if (m_sbIsFilePathInitialized) return;
    m_sFilePath = (plat::Paths::caches() / "UserDefault.xml").string();
    m_sbIsFilePathInitialized = true;
}

const std::string& KTUserDefaultStore::getXMLFilePath() {
    initXMLFilePath();
    return m_sFilePath;
}

bool KTUserDefaultStore::isXMLFileExist() {
    FILE* fp = std::fopen(getXMLFilePath().c_str(), "r");
    if (!fp) return false;
    std::fclose(fp);
    return true;
}

bool KTUserDefaultStore::getBoolForKey(const char* pKey) {
    return getBoolForKey(pKey, false);
}

bool KTUserDefaultStore::getBoolForKey(const char* pKey, bool defaultValue) {
    LegacyNode legacy = getXMLNodeForKey(pKey);
    if (const char* text = legacyText(legacy)) {
        bool value = std::strcmp(text, "true") == 0;
        setBoolForKey(pKey, value);
        flush();
        deleteNodeAndSave(legacy);
        return value;
    }
    auto stored = storedValue(pKey);
    return stored ? stored->toBool() : defaultValue;
}

int KTUserDefaultStore::getIntegerForKey(const char* pKey) {
    return getIntegerForKey(pKey, 0);
}

int KTUserDefaultStore::getIntegerForKey(const char* pKey, int defaultValue) {
    LegacyNode legacy = getXMLNodeForKey(pKey);
    if (const char* text = legacyText(legacy)) {
        int value = parseInteger(text);
        setIntegerForKey(pKey, value);
        flush();
        deleteNodeAndSave(legacy);
        return value;
    }
    auto stored = storedValue(pKey);
    return stored ? stored->toInt32() : defaultValue;
}

int64_t KTUserDefaultStore::getInteger64ForKey(const char* pKey, int64_t defaultValue) {
    LegacyNode legacy = getXMLNodeForKey(pKey);
    if (const char* text = legacyText(legacy)) {
        const int64_t value = plat::Value(std::string(text)).toInt64();
        setInteger64ForKey(pKey, value);
        flush();
        deleteNodeAndSave(legacy);
        return value;
    }
    auto stored = storedValue(pKey);
    return stored ? stored->toInt64() : defaultValue;
}

float KTUserDefaultStore::getFloatForKey(const char* pKey) {
    return getFloatForKey(pKey, 0.0f);
}

float KTUserDefaultStore::getFloatForKey(const char* pKey, float defaultValue) {
    LegacyNode legacy = getXMLNodeForKey(pKey);
    if (const char* text = legacyText(legacy)) {
        float value = parseFloat(text);
        setFloatForKey(pKey, value);
        flush();
        deleteNodeAndSave(legacy);
        return value;
    }
    auto stored = storedValue(pKey);
    return stored ? stored->toFloat() : defaultValue;
}

double KTUserDefaultStore::getDoubleForKey(const char* pKey) {
    return getDoubleForKey(pKey, 0.0);
}

double KTUserDefaultStore::getDoubleForKey(const char* pKey, double defaultValue) {
    LegacyNode legacy = getXMLNodeForKey(pKey);
    if (const char* text = legacyText(legacy)) {
        double value = std::strtod(text, nullptr);
        setDoubleForKey(pKey, value);
        flush();
        deleteNodeAndSave(legacy);
        return value;
    }
    auto stored = storedValue(pKey);
    return stored ? stored->toDouble() : defaultValue;
}

std::string KTUserDefaultStore::getStringForKey(const char* pKey) {
    return getStringForKey(pKey, std::string());
}

std::string KTUserDefaultStore::getStringForKey(const char* pKey, const std::string& defaultValue) {
    LegacyNode legacy = getXMLNodeForKey(pKey);
    if (const char* text = legacyText(legacy)) {
        std::string value = text;
        setStringForKey(pKey, value);
        flush();
        deleteNodeAndSave(legacy);
        return value;
    }
    auto stored = storedValue(pKey);
    if (!stored || !(stored->isString() || stored->isNumber())) return defaultValue;
    return stored->toString();
}

void KTUserDefaultStore::setBoolForKey(const char* pKey, bool value) {
    if (!pKey) return;
    LegacyNode legacy = getXMLNodeForKey(pKey);
    deleteNodeAndSave(legacy);
    plat::UserDefaults::standard()->setBool(value, pKey);
}

void KTUserDefaultStore::setIntegerForKey(const char* pKey, int value) {
    if (!pKey) return;
    LegacyNode legacy = getXMLNodeForKey(pKey);
    deleteNodeAndSave(legacy);
    plat::UserDefaults::standard()->setInteger(value, pKey);
}

void KTUserDefaultStore::setInteger64ForKey(const char* pKey, int64_t value) {
    if (!pKey) return;
    LegacyNode legacy = getXMLNodeForKey(pKey);
    deleteNodeAndSave(legacy);
    plat::UserDefaults::standard()->setInteger(value, pKey);
}

void KTUserDefaultStore::setFloatForKey(const char* pKey, float value) {
    if (!pKey) return;
    LegacyNode legacy = getXMLNodeForKey(pKey);
    deleteNodeAndSave(legacy);
    plat::UserDefaults::standard()->setFloat(value, pKey);
}

void KTUserDefaultStore::setDoubleForKey(const char* pKey, double value) {
    if (!pKey) return;
    LegacyNode legacy = getXMLNodeForKey(pKey);
    deleteNodeAndSave(legacy);
    plat::UserDefaults::standard()->setDouble(value, pKey);
}

void KTUserDefaultStore::setStringForKey(const char* pKey, const std::string& value) {
    if (!pKey) return;
    LegacyNode legacy = getXMLNodeForKey(pKey);
    deleteNodeAndSave(legacy);
    plat::UserDefaults::standard()->setString(value, pKey);
}

void KTUserDefaultStore::flush() {
    plat::UserDefaults::standard()->synchronize();
}

void KTUserDefaultStore::flushInBackground() {
    plat::UserDefaults::standard()->synchronizeInBackground();
}

void KTUserDefaultStore::waitForBackgroundFlush() {
    plat::UserDefaults::standard()->waitForBackgroundWrites();
}

}  // namespace kite
