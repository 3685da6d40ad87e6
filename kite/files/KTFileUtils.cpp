#include "kite/files/KTFileUtils.h"

#include <minizip/unzip.h>
#include <sys/stat.h>

#include <cstdio>
#include <new>
#include <typeinfo>

#include "kite/base/KTDictionary.h"
#include "kite/base/KTString.h"
#include "kite/core/KTDirector.h"
#include "kite/files/KTFileUtilsIOS.h"
#include "platform/base/Log.h"

namespace kite {

namespace {

// Zip members larger than this are refused rather than allocated: an archive may claim any size.
constexpr uLong kMaxZipMemberSize = 256ul * 1024 * 1024;

// Splits at the last "/": the directory part keeps the "/", the file part is the rest.
void splitAtLastSlash(const std::string& name, std::string* directory, std::string* file) {
    size_t slash = name.find_last_of('/');
    if (slash == std::string::npos) {
        directory->clear();
        *file = name;
    } else {
        *directory = name.substr(0, slash + 1);
        *file = name.substr(slash + 1);
    }
}

}  // namespace

std::string KTFileUtils::normalizeSearchPath(const std::string& entry) {
    std::string path = (isAbsolutePath(entry) ? std::string() : m_strDefaultResRootPath) + entry;
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
}

KTFileUtils* KTFileUtils::s_sharedFileUtils = nullptr;
bool KTFileUtils::s_popupNotify = true;

KTFileUtils* KTFileUtils::sharedFileUtils() {
    if (!s_sharedFileUtils) {
        s_sharedFileUtils = new KTFileUtilsIOS();
        s_sharedFileUtils->init();
    }
    return s_sharedFileUtils;
}

void KTFileUtils::purgeFileUtils() {
    KT_SAFE_DELETE(s_sharedFileUtils);
}

KTFileUtils::KTFileUtils() = default;

KTFileUtils::~KTFileUtils() {
    KT_SAFE_RELEASE(m_pFilenameLookupDict);
}

uint32_t KTFileUtils::getClassTypeInfo() {
    static const uint32_t id = ktTypeIdOfName(typeid(KTFileUtils).name());
    return id;
}

bool KTFileUtils::init() {
    m_searchPathArray.push_back(m_strDefaultResRootPath);
    m_searchResolutionsOrderArray.push_back("");
    return true;
}

void KTFileUtils::purgeCachedEntries() {
    m_fullPathCache.clear();
}

unsigned char* KTFileUtils::getFileData(const char* pszFileName, const char* pszMode, unsigned long* pSize) {
    if (pSize) *pSize = 0;
    if (!pszFileName || !pszMode || !pSize) return nullptr;
    std::string fullPath = fullPathForFilename(pszFileName);
    FILE* fp = std::fopen(fullPath.c_str(), pszMode);
    if (!fp) return nullptr;
    // Only regular files have a size to read: a folder opens but would report a nonsense length.
    struct stat st {};
    if (::fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) {
        plat::logWarning("%s is not a regular file", fullPath.c_str());
        std::fclose(fp);
        return nullptr;
    }
    std::fseek(fp, 0, SEEK_END);
    long end = std::ftell(fp);
    std::fseek(fp, 0, SEEK_SET);
    unsigned char* buffer =
        end >= 0 ? new (std::nothrow) unsigned char[static_cast<size_t>(end) + 1] : nullptr;
    if (!buffer) {
        plat::logWarning("cannot read %s: %ld bytes", fullPath.c_str(), end);
        std::fclose(fp);
        return nullptr;
    }
    *pSize = std::fread(buffer, 1, static_cast<size_t>(end), fp);
    std::fclose(fp);
    return buffer;
}

unsigned char* KTFileUtils::getFileDataFromZip(const char* pszZipFilePath, const char* pszFileName,
                                               unsigned long* pSize) {
    if (pSize) *pSize = 0;
    if (!pszZipFilePath || !pszFileName || !pSize || !*pszZipFilePath) return nullptr;
    unzFile zip = unzOpen(pszZipFilePath);
    if (!zip) {
        plat::logWarning("cannot open zip archive %s", pszZipFilePath);
        return nullptr;
    }
    unsigned char* buffer = nullptr;
    const char* problem = nullptr;
    do {
        if (unzLocateFile(zip, pszFileName, 1) != UNZ_OK) {
            problem = "no such member";
            break;
        }
        char memberName[260];
        unz_file_info info;
        if (unzGetCurrentFileInfo(zip, &info, memberName, sizeof memberName, nullptr, 0, nullptr, 0) !=
            UNZ_OK) {
            problem = "unreadable member header";
            break;
        }
        if (info.uncompressed_size > kMaxZipMemberSize) {
            problem = "member too large";
            break;
        }
        if (unzOpenCurrentFile(zip) != UNZ_OK) {
            problem = "member cannot be opened";
            break;
        }
        buffer = new (std::nothrow) unsigned char[info.uncompressed_size + 1];
        int read =
            buffer ? unzReadCurrentFile(zip, buffer, static_cast<unsigned>(info.uncompressed_size)) : -1;
        // Closing checks the member's checksum once it was read whole.
        int closed = unzCloseCurrentFile(zip);
        if (read < 0 || static_cast<uLong>(read) != info.uncompressed_size || closed != UNZ_OK) {
            delete[] buffer;
            buffer = nullptr;
            problem = "member data is damaged";
            break;
        }
        *pSize = info.uncompressed_size;
    } while (false);
    unzClose(zip);
    if (problem)
        plat::logWarning("cannot read %s from zip archive %s: %s", pszFileName, pszZipFilePath, problem);
    return buffer;
}

std::string KTFileUtils::getNewFilename(const char* pszFileName) {
    std::string name = pszFileName ? pszFileName : "";
    if (m_pFilenameLookupDict) {
        auto* renamed = dynamic_cast<KTString*>(m_pFilenameLookupDict->objectForKey(name));
        if (renamed && renamed->length() > 0) return renamed->getString();
    }
    return name;
}

std::string KTFileUtils::getPathForFilename(const std::string& filename,
                                            const std::string& resolutionDirectory,
                                            const std::string& searchPath) {
    std::string directory, file;
    splitAtLastSlash(filename, &directory, &file);
    return getFullPathForDirectoryAndFilename(searchPath + directory + resolutionDirectory, file);
}

std::string KTFileUtils::getFullPathForDirectoryAndFilename(const std::string& strDirectory,
                                                            const std::string& strFilename) {
    std::string path = strDirectory + strFilename;
    return isFileExist(path) ? path : std::string();
}

std::string KTFileUtils::fullPathForFilename(const char* pszFileName) {
    if (!pszFileName) return std::string();
    std::string name = pszFileName;
    if (isAbsolutePath(name)) return name;
    auto cached = m_fullPathCache.find(name);
    if (cached != m_fullPathCache.end()) return cached->second;

    std::string newName = getNewFilename(pszFileName);
    for (const std::string& searchPath : m_searchPathArray) {
        for (const std::string& resolution : m_searchResolutionsOrderArray) {
            std::string full = getPathForFilename(newName, resolution, searchPath);
            if (!full.empty()) {
                m_fullPathCache[name] = full;
                return full;
            }
        }
    }
    return name;
}

const char* KTFileUtils::fullPathFromRelativeFile(const char* pszFilename, const char* pszRelativeFile) {
    std::string relative = pszRelativeFile ? pszRelativeFile : "";
    size_t slash = relative.find_last_of('/');
    std::string directory = slash == std::string::npos ? std::string() : relative.substr(0, slash + 1);
    return KTString::create(directory + getNewFilename(pszFilename))->getCString();
}

void KTFileUtils::loadFilenameLookupDictionaryFromFile(const char* filename) {
    std::string fullPath = fullPathForFilename(filename);
    if (fullPath.empty()) return;
    KTDictionary* dict = KTDictionary::createWithContentsOfFile(fullPath.c_str());
    if (!dict) return;
    auto* metadata = dynamic_cast<KTDictionary*>(dict->objectForKey("metadata"));
    if (!metadata) return;
    auto* version = dynamic_cast<KTString*>(metadata->objectForKey("version"));
    if (!version) return;
    if (version->intValue() != 1) return;
    setFilenameLookupDictionary(dynamic_cast<KTDictionary*>(dict->objectForKey("filenames")));
}

void KTFileUtils::setFilenameLookupDictionary(KTDictionary* pFilenameLookupDict) {
    m_fullPathCache.clear();
    KT_SAFE_RETAIN(pFilenameLookupDict);
    KT_SAFE_RELEASE(m_pFilenameLookupDict);
    m_pFilenameLookupDict = pFilenameLookupDict;
}

void KTFileUtils::setSearchResolutionsOrder(const std::vector<std::string>& searchResolutionsOrder) {
    bool sawEmpty = false;
    m_fullPathCache.clear();
    m_searchResolutionsOrderArray.clear();
    for (std::string order : searchResolutionsOrder) {
        if (order.empty()) sawEmpty = true;
        if (!order.empty() && order.back() != '/') order += '/';
        m_searchResolutionsOrderArray.push_back(order);
    }
    if (!sawEmpty) m_searchResolutionsOrderArray.push_back("");
}

void KTFileUtils::addSearchResolutionsOrder(const char* order) {
    m_searchResolutionsOrderArray.push_back(order ? order : "");
}

const std::vector<std::string>& KTFileUtils::getSearchResolutionsOrder() {
    return m_searchResolutionsOrderArray;
}

void KTFileUtils::setSearchPaths(const std::vector<std::string>& searchPaths) {
    bool sawDefaultRoot = false;
    m_fullPathCache.clear();
    m_searchPathArray.clear();
    for (const std::string& entry : searchPaths) {
        std::string path = normalizeSearchPath(entry);
        if (path == m_strDefaultResRootPath) sawDefaultRoot = true;
        m_searchPathArray.push_back(path);
    }
    if (!sawDefaultRoot) m_searchPathArray.push_back(m_strDefaultResRootPath);
}

void KTFileUtils::addSearchPath(const char* path) {
    m_searchPathArray.push_back(normalizeSearchPath(path ? path : ""));
}

void KTFileUtils::removeSearchPath(const char* path) {
    std::string full = normalizeSearchPath(path ? path : "");
    for (auto it = m_searchPathArray.begin(); it != m_searchPathArray.end(); ++it) {
        if (*it == full) {
            m_searchPathArray.erase(it);
            return;
        }
    }
}

const std::vector<std::string>& KTFileUtils::getSearchPaths() {
    return m_searchPathArray;
}

bool KTFileUtils::isAbsolutePath(const std::string& strPath) {
    return !strPath.empty() && strPath[0] == '/';
}

void KTFileUtils::setPopupNotify(bool bNotify) {
    s_popupNotify = bNotify;
}

bool KTFileUtils::isPopupNotify() {
    return s_popupNotify;
}

KTDictionary* KTFileUtils::createCCDictionaryWithContentsOfFile(const std::string& filename) {
    (void)filename;
    return nullptr;
}

bool KTFileUtils::writeToFile(KTDictionary* dict, const std::string& fullPath) {
    (void)dict;
    (void)fullPath;
    return false;
}

KTArray* KTFileUtils::createCCArrayWithContentsOfFile(const std::string& filename) {
    (void)filename;
    return nullptr;
}

}  // namespace kite
