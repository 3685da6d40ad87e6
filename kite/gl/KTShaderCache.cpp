#include "kite/gl/KTShaderCache.h"

#include "kite/base/KTDictionary.h"
#include "kite/base/KTMacros.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/gl/KTShaders.h"

namespace kite {
namespace {

KTShaderCache* s_sharedShaderCache = nullptr;

struct BuiltinProgram {
    const char* key;
    const char* vertex;
    const char* fragment;
    // Attribute names bound to position, colour and texture coordinates; null when the program lacks one.
    const char* position;
    const char* color;
    const char* texCoord;
};

const BuiltinProgram kBuiltins[] = {
    {kKTShader_PositionTextureColor, ktPositionTextureColor_vert, ktPositionTextureColor_frag,
     kKTAttributeNamePosition, kKTAttributeNameColor, kKTAttributeNameTexCoord},
    {kKTShader_PositionTextureColorAlphaTest, ktPositionTextureColor_vert,
     ktPositionTextureColorAlphaTest_frag, kKTAttributeNamePosition, kKTAttributeNameColor,
     kKTAttributeNameTexCoord},
    {kKTShader_PositionColor, ktPositionColor_vert, ktPositionColor_frag, kKTAttributeNamePosition,
     kKTAttributeNameColor, nullptr},
    {kKTShader_PositionTexture, ktPositionTexture_vert, ktPositionTexture_frag, kKTAttributeNamePosition,
     nullptr, kKTAttributeNameTexCoord},
    {kKTShader_PositionTexture_uColor, ktPositionTexture_uColor_vert, ktPositionTexture_uColor_frag,
     kKTAttributeNamePosition, nullptr, kKTAttributeNameTexCoord},
    {kKTShader_PositionTextureA8Color, ktPositionTextureA8Color_vert, ktPositionTextureA8Color_frag,
     kKTAttributeNamePosition, kKTAttributeNameColor, kKTAttributeNameTexCoord},
    {kKTShader_Position_uColor, ktPosition_uColor_vert, ktPosition_uColor_frag, kKTAttributeNamePosition,
     nullptr, nullptr},
    {kKTShader_PositionLengthTextureColor, ktPositionColorLengthTexture_vert,
     ktPositionColorLengthTexture_frag, kKTAttributeNamePosition, kKTAttributeNameColor, "a_texcoord"},
    {kKTShader_ControlSwitch, ktPositionTextureColor_vert, ktControlSwitch_frag, kKTAttributeNamePosition,
     kKTAttributeNameColor, kKTAttributeNameTexCoord},
};

}  // namespace

KTShaderCache::KTShaderCache() = default;

KTShaderCache::~KTShaderCache() {
    KT_SAFE_RELEASE(m_pPrograms);
}

KTShaderCache* KTShaderCache::sharedShaderCache() {
    if (!s_sharedShaderCache) {
        s_sharedShaderCache = new KTShaderCache();
        if (!s_sharedShaderCache->init()) KT_SAFE_DELETE(s_sharedShaderCache);
    }
    return s_sharedShaderCache;
}

void KTShaderCache::purgeSharedShaderCache() {
    KT_SAFE_RELEASE_NULL(s_sharedShaderCache);
}

bool KTShaderCache::init() {
    m_pPrograms = new KTDictionary();
    loadDefaultShaders();
    return true;
}

void KTShaderCache::loadDefaultShaders() {
    for (const BuiltinProgram& builtin : kBuiltins) {
        auto* program = new KTGLProgram();
        program->initWithVertexShaderSource(builtin.vertex, builtin.fragment);
        if (builtin.position) program->addAttribute(builtin.position, kKTVertexAttrib_Position);
        if (builtin.color) program->addAttribute(builtin.color, kKTVertexAttrib_Color);
        if (builtin.texCoord) program->addAttribute(builtin.texCoord, kKTVertexAttrib_TexCoords);
        program->link();
        program->updateUniforms();
        m_pPrograms->setObject(program, builtin.key);
        program->release();
    }
}

KTGLProgram* KTShaderCache::programForKey(const char* key) {
    if (!key || !m_pPrograms) return nullptr;
    return static_cast<KTGLProgram*>(m_pPrograms->objectForKey(key));
}

}  // namespace kite
