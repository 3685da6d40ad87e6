#include "kite/files/KTFileUtilsIOS.h"

#include "kite/base/KTArray.h"
#include "kite/base/KTDictionary.h"
#include "kite/base/KTString.h"
#include "platform/base/Log.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/FileManager.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"

namespace kite {

namespace {

KTArray* newArrayFrom(const plat::Value::Array& items);

KTDictionary* newDictionaryFrom(const plat::Value::Dictionary& entries) {
    KTDictionary* dict = new KTDictionary();
    for (const auto& [key, value] : entries) {
        KTObject* obj = nullptr;
        if (const auto* d = value.dictionaryIf())
            obj = newDictionaryFrom(*d);
        else if (value.isString() || value.isNumber())
            obj = new KTString(value.toString());
        else if (const auto* a = value.arrayIf())
            obj = newArrayFrom(*a);
        if (!obj) continue;
        dict->setObject(obj, key);
        obj->release();
    }
    return dict;
}

KTArray* newArrayFrom(const plat::Value::Array& items) {
    KTArray* array = new KTArray();
    array->initWithCapacity(static_cast<uint32_t>(items.size()));
    for (const plat::Value& value : items) {
        KTObject* obj = nullptr;
        if (value.isString() || value.isNumber())
            obj = new KTString(value.toString());
        else if (const auto* d = value.dictionaryIf())
            obj = newDictionaryFrom(*d);
        else if (const auto* a = value.arrayIf())
            obj = newArrayFrom(*a);
        if (!obj) continue;
        array->addObject(obj);
        obj->release();
    }
    return array;
}

plat::Value valueFromArray(KTArray* array);

plat::Value valueFromDictionary(KTDictionary* dict) {
    plat::Value::Dictionary out;
    for (KTDictionaryEntry* entry : *dict) {
        KTObject* obj = entry->getObject();
        // Integer-keyed entries are written under their number so that none of them is lost.
        std::string key = dict->getKeyKind() == KTDictionary::kKeyKindInt ? std::to_string(entry->getIntKey())
                                                                          : entry->getStrKey();
        if (auto* d = dynamic_cast<KTDictionary*>(obj))
            out.set(key, valueFromDictionary(d));
        else if (auto* s = dynamic_cast<KTString*>(obj))
            out.set(key, plat::Value(s->getString()));
        else if (auto* a = dynamic_cast<KTArray*>(obj))
            out.set(key, valueFromArray(a));
    }
    return plat::Value(std::move(out));
}

plat::Value valueFromArray(KTArray* array) {
    plat::Value::Array out;
    for (KTObject* obj : *array) {
        if (!obj) break;
        if (auto* s = dynamic_cast<KTString*>(obj))
            out.emplace_back(s->getString());
        else if (auto* a = dynamic_cast<KTArray*>(obj))
            out.push_back(valueFromArray(a));
        else if (auto* d = dynamic_cast<KTDictionary*>(obj))
            out.push_back(valueFromDictionary(d));
    }
    return plat::Value(std::move(out));
}

}  // namespace

KTFileUtilsIOS::KTFileUtilsIOS() = default;
KTFileUtilsIOS::~KTFileUtilsIOS() = default;

std::string KTFileUtilsIOS::getWritablePath() {
    return plat::Paths::documents().string() + "/";
}

bool KTFileUtilsIOS::isAbsolutePath(const std::string& strPath) {
    return !strPath.empty() && strPath[0] == '/';
}

bool KTFileUtilsIOS::isFileExist(const std::string& strFilePath) {
    if (strFilePath.empty()) return false;
    if (strFilePath[0] != '/') {
        size_t slash = strFilePath.find_last_of('/');
        std::string directory = slash == std::string::npos ? std::string() : strFilePath.substr(0, slash + 1);
        std::string file = slash == std::string::npos ? strFilePath : strFilePath.substr(slash + 1);
        return !plat::Bundle::main().pathForResource(file, {}, directory).empty();
    }
    return plat::FileManager::fileExists(strFilePath);
}

std::string KTFileUtilsIOS::getFullPathForDirectoryAndFilename(const std::string& strDirectory,
                                                               const std::string& strFilename) {
    if (!strDirectory.empty() && strDirectory[0] == '/') {
        std::string path = strDirectory + strFilename;
        return plat::FileManager::fileExists(path) ? path : std::string();
    }
    return plat::Bundle::main().pathForResource(strFilename, {}, strDirectory).string();
}

KTDictionary* KTFileUtilsIOS::createCCDictionaryWithContentsOfFile(const std::string& filename) {
    std::string fullPath = sharedFileUtils()->fullPathForFilename(filename.c_str());
    auto value = plat::PropertyList::readFile(fullPath);
    if (!value) return nullptr;
    const auto* entries = value->dictionaryIf();
    if (!entries) {
        plat::logWarning("%s does not hold a dictionary", fullPath.c_str());
        return nullptr;
    }
    return newDictionaryFrom(*entries);
}

bool KTFileUtilsIOS::writeToFile(KTDictionary* dict, const std::string& fullPath) {
    if (!dict) return false;
    return plat::PropertyList::writeFile(fullPath, valueFromDictionary(dict),
                                         plat::PropertyList::Format::Xml);
}

KTArray* KTFileUtilsIOS::createCCArrayWithContentsOfFile(const std::string& filename) {
    std::string fullPath = sharedFileUtils()->fullPathForFilename(filename.c_str());
    auto value = plat::PropertyList::readFile(fullPath);
    const auto* items = value ? value->arrayIf() : nullptr;
    if (value && !items) plat::logWarning("%s does not hold an array", fullPath.c_str());
    return newArrayFrom(items ? *items : plat::Value::Array());
}

}  // namespace kite
