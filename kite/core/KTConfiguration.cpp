#include "kite/core/KTConfiguration.h"

#include <GLES2/gl2.h>

#include "kite/base/KTDictionary.h"
#include "kite/base/KTPrettyPrinter.h"
#include "kite/base/KTString.h"
#include "kite/base/KTValues.h"

namespace kite {

namespace {

KTConfiguration* s_sharedConfiguration = nullptr;

constexpr GLenum kMaxSamplesApple = 0x8D57;

std::string glText(GLenum name) {
    const auto* text = reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "";
}

}  // namespace

KTConfiguration* KTConfiguration::sharedConfiguration() {
    if (!s_sharedConfiguration) {
        s_sharedConfiguration = new KTConfiguration();
        s_sharedConfiguration->init();
    }
    return s_sharedConfiguration;
}

void KTConfiguration::purgeConfiguration() {
    KT_SAFE_RELEASE_NULL(s_sharedConfiguration);
}

KTConfiguration::~KTConfiguration() {
    KT_SAFE_RELEASE(m_pValueDict);
}

bool KTConfiguration::init() {
    m_pValueDict = new KTDictionary();
    m_pValueDict->setObject(KTString::create("2.2.1"), "kite.version");
    m_pValueDict->setObject(KTBool::create(false), "kite.compiled_with_profiler");
    m_pValueDict->setObject(KTBool::create(true), "kite.compiled_with_gl_state_cache");
    return true;
}

void KTConfiguration::gatherGPUInfo() {
    m_pValueDict->setObject(KTString::create(glText(GL_VENDOR)), "gl.vendor");
    m_pValueDict->setObject(KTString::create(glText(GL_RENDERER)), "gl.renderer");
    m_pValueDict->setObject(KTString::create(glText(GL_VERSION)), "gl.version");

    const auto* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    m_bHasExtensions = extensions != nullptr;
    m_sGlExtensions = extensions ? extensions : "";

    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &m_nMaxTextureSize);
    m_pValueDict->setObject(KTInteger::create(m_nMaxTextureSize), "gl.max_texture_size");

    glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &m_nMaxTextureUnits);
    m_pValueDict->setObject(KTInteger::create(m_nMaxTextureUnits), "gl.max_texture_units");

    // A driver without the multisample extension refuses this query; its error must not be blamed on
    // whichever call checks for errors next.
    m_nMaxSamplesAllowed = 0;
    glGetIntegerv(kMaxSamplesApple, &m_nMaxSamplesAllowed);
    while (glGetError() != GL_NO_ERROR) {
    }
    m_pValueDict->setObject(KTInteger::create(m_nMaxSamplesAllowed), "gl.max_samples_allowed");

    m_bSupportsPVRTC = checkForGLExtension("GL_IMG_texture_compression_pvrtc");
    m_pValueDict->setObject(KTBool::create(m_bSupportsPVRTC), "gl.supports_PVRTC");

    m_bSupportsNPOT = true;
    m_pValueDict->setObject(KTBool::create(m_bSupportsNPOT), "gl.supports_NPOT");

    m_bSupportsBGRA8888 = checkForGLExtension("GL_IMG_texture_format_BGRA888") ||
                          checkForGLExtension("GL_EXT_texture_format_BGRA8888");
    m_pValueDict->setObject(KTBool::create(m_bSupportsBGRA8888), "gl.supports_BGRA8888");

    m_bSupportsDiscardFramebuffer = checkForGLExtension("GL_EXT_discard_framebuffer");
    m_pValueDict->setObject(KTBool::create(m_bSupportsDiscardFramebuffer), "gl.supports_discard_framebuffer");

    m_bSupportsShareableVAO = checkForGLExtension("vertex_array_object");
    m_pValueDict->setObject(KTBool::create(m_bSupportsShareableVAO), "gl.supports_vertex_array_object");
}

void KTConfiguration::dumpInfo() const {
    KTPrettyPrinter visitor(0);
    m_pValueDict->acceptVisitor(visitor);
    (void)visitor.getResult();
}

bool KTConfiguration::checkForGLExtension(const std::string& name) const {
    return m_bHasExtensions && m_sGlExtensions.find(name) != std::string::npos;
}

KTObject* KTConfiguration::getObject(const char* key) const {
    return key && m_pValueDict ? m_pValueDict->objectForKey(std::string(key)) : nullptr;
}

void KTConfiguration::setObject(const char* key, KTObject* value) {
    if (key && m_pValueDict) m_pValueDict->setObject(value, std::string(key));
}

const char* KTConfiguration::getCString(const char* key, const char* defaultValue) const {
    if (auto* text = dynamic_cast<KTString*>(getObject(key))) return text->getCString();
    return defaultValue;
}

bool KTConfiguration::getBool(const char* key, bool defaultValue) const {
    KTObject* value = getObject(key);
    if (auto* boolean = dynamic_cast<KTBool*>(value)) return boolean->getValue();
    if (auto* text = dynamic_cast<KTString*>(value)) return text->boolValue();
    return defaultValue;
}

double KTConfiguration::getNumber(const char* key, double defaultValue) const {
    KTObject* value = getObject(key);
    if (auto* number = dynamic_cast<KTDouble*>(value)) return number->getValue();
    if (auto* integer = dynamic_cast<KTInteger*>(value)) return integer->getValue();
    if (auto* text = dynamic_cast<KTString*>(value)) return text->doubleValue();
    return defaultValue;
}

}  // namespace kite
