#pragma once
// The platform half of the file utilities: relative names are looked up in the main bundle's resource
// root, absolute ones through the file manager; the writable folder is the app's Documents folder;
// property lists convert to and from the engine's dictionaries and arrays.
#include "kite/files/KTFileUtils.h"

namespace kite {

class KTFileUtilsIOS : public KTFileUtils {
  public:
    KTFileUtilsIOS();
    ~KTFileUtilsIOS() override;

    std::string getWritablePath() override;
    bool isFileExist(const std::string& strFilePath) override;
    bool isAbsolutePath(const std::string& strPath) override;

  protected:
    std::string getFullPathForDirectoryAndFilename(const std::string& strDirectory,
                                                   const std::string& strFilename) override;

  public:
    // Values become strings (numbers as their decimal text), dictionaries and arrays; data and dates
    // are skipped. Null when the file is not a readable property-list dictionary.
    KTDictionary* createCCDictionaryWithContentsOfFile(const std::string& filename) override;
    // Dictionaries, strings and arrays are written as an XML property list, atomically; false when the
    // file could not be written.
    bool writeToFile(KTDictionary* dict, const std::string& fullPath) override;
    // An empty array when the file is not a readable property-list array.
    KTArray* createCCArrayWithContentsOfFile(const std::string& filename) override;
};

}  // namespace kite
