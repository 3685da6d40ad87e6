#pragma once
// Turns resource names into full paths through search paths, resolution sub-folders and a rename
// dictionary, and reads files and zip members whole. One shared instance serves the whole engine; its
// platform half (KTFileUtilsIOS) answers file existence from the main bundle and the file manager and
// converts property lists to and from the engine's containers. Main thread only.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kite {

class KTDictionary;
class KTArray;

class KTFileUtils {
  public:
    // Created (as the platform subclass) and initialised on first use.
    static KTFileUtils* sharedFileUtils();
    static void purgeFileUtils();

    virtual uint32_t getClassTypeInfo();
    virtual ~KTFileUtils();

    virtual void purgeCachedEntries();
    // The whole file as a new[] buffer the caller delete[]s, its size in *pSize; null with size 0 when
    // the name does not resolve to a readable regular file.
    virtual unsigned char* getFileData(const char* pszFileName, const char* pszMode, unsigned long* pSize);
    // One member of a zip archive, with the same contract.
    virtual unsigned char* getFileDataFromZip(const char* pszZipFilePath, const char* pszFileName,
                                              unsigned long* pSize);
    // An absolute name unchanged; else the first existing candidate; else the name unchanged.
    virtual std::string fullPathForFilename(const char* pszFileName);
    virtual void loadFilenameLookupDictionaryFromFile(const char* filename);
    virtual void setFilenameLookupDictionary(KTDictionary* pFilenameLookupDict);
    // Text of an autoreleased string: valid until the current pool drains.
    virtual const char* fullPathFromRelativeFile(const char* pszFilename, const char* pszRelativeFile);
    virtual void setSearchResolutionsOrder(const std::vector<std::string>& searchResolutionsOrder);
    virtual void addSearchResolutionsOrder(const char* order);
    virtual const std::vector<std::string>& getSearchResolutionsOrder();
    virtual void setSearchPaths(const std::vector<std::string>& searchPaths);
    virtual void addSearchPath(const char* path);
    virtual void removeSearchPath(const char* path);
    virtual const std::vector<std::string>& getSearchPaths();
    // The app's writable folder, ending in "/".
    virtual std::string getWritablePath() = 0;
    virtual bool isFileExist(const std::string& strFilePath) = 0;
    virtual bool isAbsolutePath(const std::string& strPath);
    // A process-wide flag kept only for its getter and setter.
    virtual void setPopupNotify(bool bNotify);
    virtual bool isPopupNotify();
    virtual bool init();

  protected:
    KTFileUtils();

    virtual std::string getNewFilename(const char* pszFileName);
    virtual std::string getPathForFilename(const std::string& filename,
                                           const std::string& resolutionDirectory,
                                           const std::string& searchPath);
    virtual std::string getFullPathForDirectoryAndFilename(const std::string& strDirectory,
                                                           const std::string& strFilename);

  public:
    // Property lists to and from containers; the base class reads nothing and writes nothing.
    // The dictionary and array readers return new objects the caller owns.
    virtual KTDictionary* createCCDictionaryWithContentsOfFile(const std::string& filename);
    virtual bool writeToFile(KTDictionary* dict, const std::string& fullPath);
    virtual KTArray* createCCArrayWithContentsOfFile(const std::string& filename);

  protected:
    // The default root in front of a relative entry, and a trailing "/" on a non-empty result.
    std::string normalizeSearchPath(const std::string& entry);

    KTDictionary* m_pFilenameLookupDict = nullptr;
    std::vector<std::string> m_searchResolutionsOrderArray;
    std::vector<std::string> m_searchPathArray;
    std::string m_strDefaultResRootPath;
    std::map<std::string, std::string> m_fullPathCache;

    static KTFileUtils* s_sharedFileUtils;
    static bool s_popupNotify;
};

}  // namespace kite
