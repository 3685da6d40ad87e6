#pragma once
// The process-wide key/value store of the game's progress: booleans, integers, floats, doubles and
// strings under string keys, kept in the platform's user defaults and written to disk by flush(), or by
// flushInBackground() on the settings' writer thread.
// Keys still present in the legacy "UserDefault.xml" of the caches folder move into the user defaults
// the first time they are read or written; that file only shrinks and is deleted once empty.
// Main thread only.
#include <cstdint>
#include <string>

namespace tinyxml2 {
class XMLDocument;
class XMLElement;
}  // namespace tinyxml2

namespace kite {

class KTUserDefaultStore {
  public:
    ~KTUserDefaultStore();

    bool getBoolForKey(const char* pKey);
    bool getBoolForKey(const char* pKey, bool defaultValue);
    int getIntegerForKey(const char* pKey);
    int getIntegerForKey(const char* pKey, int defaultValue);
    // For values that outgrow 32 bits, such as seconds since 1970 after 2038.
    int64_t getInteger64ForKey(const char* pKey, int64_t defaultValue);
    float getFloatForKey(const char* pKey);
    float getFloatForKey(const char* pKey, float defaultValue);
    double getDoubleForKey(const char* pKey);
    double getDoubleForKey(const char* pKey, double defaultValue);
    std::string getStringForKey(const char* pKey);
    std::string getStringForKey(const char* pKey, const std::string& defaultValue);

    // Setters do not write to disk; call flush() after a group of writes.
    void setBoolForKey(const char* pKey, bool value);
    void setIntegerForKey(const char* pKey, int value);
    void setInteger64ForKey(const char* pKey, int64_t value);
    void setFloatForKey(const char* pKey, float value);
    void setDoubleForKey(const char* pKey, double value);
    void setStringForKey(const char* pKey, const std::string& value);

    // Writes everything set so far; returns when the file holds it.
    void flush();
    // Hands everything set so far to the settings' writer thread and returns at once, for the frame
    // path: the file holds it shortly after, flushes in the order they were made. Reads see the values
    // at once either way.
    void flushInBackground();
    // Returns once everything handed over by flushInBackground() is in the file (leaving for the
    // background, quitting).
    void waitForBackgroundFlush();

    static KTUserDefaultStore* sharedUserDefaultStore();
    // Forgets the singleton and the legacy file's path; both are found again on the next use. Flushes
    // still on their way to the file get there first.
    static void purgeSharedUserDefaultStore();
    static const std::string& getXMLFilePath();
    static bool isXMLFileExist();

  private:
    KTUserDefaultStore();
    static void initXMLFilePath();

    static KTUserDefaultStore* m_spUserDefault;
    static std::string m_sFilePath;
    static bool m_sbIsFilePathInitialized;
};

}  // namespace kite
