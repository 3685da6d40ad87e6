#pragma once
// Engine settings and the GL facts the texture code needs, kept as objects under text keys so they can be
// read by type with a default. Nothing is read from a file; the GL facts come from the context the
// director receives.
#include <cstdint>
#include <string>

#include "kite/base/KTObject.h"

namespace kite {

class KTConfiguration : public KTObject {
  public:
    static KTConfiguration* sharedConfiguration();
    static void purgeConfiguration();

    ~KTConfiguration() override;

    bool init();
    // Reads vendor, renderer, version, extensions, limits and support flags from the current GL context.
    void gatherGPUInfo();
    // Renders the values as text and discards it (kept for parity with the diagnostics path).
    void dumpInfo() const;

    // A plain substring search in the extension list: a prefix of a longer name counts.
    bool checkForGLExtension(const std::string& name) const;

    int getMaxTextureSize() const { return m_nMaxTextureSize; }
    int getMaxTextureUnits() const { return m_nMaxTextureUnits; }
    int getMaxSamplesAllowed() const { return m_nMaxSamplesAllowed; }
    bool supportsNPOT() const { return m_bSupportsNPOT; }
    bool supportsPVRTC() const { return m_bSupportsPVRTC; }
    bool supportsBGRA8888() const { return m_bSupportsBGRA8888; }
    bool supportsDiscardFramebuffer() const { return m_bSupportsDiscardFramebuffer; }
    bool supportsShareableVAO() const { return m_bSupportsShareableVAO; }

    const char* getCString(const char* key, const char* defaultValue = nullptr) const;
    bool getBool(const char* key, bool defaultValue = false) const;
    double getNumber(const char* key, double defaultValue = 0.0) const;
    KTObject* getObject(const char* key) const;
    void setObject(const char* key, KTObject* value);

  private:
    KTConfiguration() = default;

    int m_nMaxTextureSize = 0;
    bool m_bSupportsPVRTC = false;
    bool m_bSupportsNPOT = false;
    bool m_bSupportsBGRA8888 = false;
    bool m_bSupportsDiscardFramebuffer = false;
    bool m_bSupportsShareableVAO = false;
    int m_nMaxSamplesAllowed = 0;
    int m_nMaxTextureUnits = 0;
    // Our own copy: the driver's string is only valid while its context lives.
    std::string m_sGlExtensions;
    bool m_bHasExtensions = false;
    KTDictionary* m_pValueDict = nullptr;
};

}  // namespace kite
