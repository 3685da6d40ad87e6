#include "kite/gl/KTShaderCache.h"

#include <cstring>

#include "kite/base/KTDictionary.h"
#include "kite/base/KTMacros.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/gl/KTGLStateCache.h"
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

const BuiltinProgram* builtinForKey(const char* key) {
    for (const BuiltinProgram& builtin : kBuiltins)
        if (std::strcmp(builtin.key, key) == 0) return &builtin;
    return nullptr;
}

KTGLProgram* buildProgram(const BuiltinProgram& builtin) {
    auto* program = new KTGLProgram();
    program->initWithVertexShaderSource(builtin.vertex, builtin.fragment);
    if (builtin.position) program->addAttribute(builtin.position, kKTVertexAttrib_Position);
    if (builtin.color) program->addAttribute(builtin.color, kKTVertexAttrib_Color);
    if (builtin.texCoord) program->addAttribute(builtin.texCoord, kKTVertexAttrib_TexCoords);
    program->link();
    program->updateUniforms();
    return program;
}

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
    return true;
}

void KTShaderCache::loadDefaultShaders() {
    for (const BuiltinProgram& builtin : kBuiltins) programForKey(builtin.key);
}

KTGLProgram* KTShaderCache::programForKey(const char* key) {
    if (!key || !m_pPrograms) return nullptr;
    if (auto* program = static_cast<KTGLProgram*>(m_pPrograms->objectForKey(key))) return program;
    const BuiltinProgram* builtin = builtinForKey(key);
    if (!builtin) return nullptr;
    // Building makes the new program current (its sampler uniform is set on it); whoever asked may be
    // between choosing its own program and drawing, so the one current before is put back.
    GLint previous = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
    KTGLProgram* program = buildProgram(*builtin);
    ktGLUseProgram(static_cast<GLuint>(previous));
    m_pPrograms->setObject(program, builtin->key);
    program->release();  // the dictionary holds it
    return program;
}

unsigned int KTShaderCache::programCount() const {
    return m_pPrograms ? m_pPrograms->count() : 0;
}

}  // namespace kite
