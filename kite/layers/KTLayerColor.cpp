#include <GLES2/gl2.h>

#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/gl/KTShaderCache.h"
#include "kite/layers/KTLayer.h"

namespace kite {

KTLayerColor::KTLayerColor() {
    m_tBlendFunc.src = GL_ONE;
    m_tBlendFunc.dst = GL_ONE_MINUS_SRC_ALPHA;
}

KTLayerColor::~KTLayerColor() = default;

KTLayerColor* KTLayerColor::create() {
    auto* layer = new KTLayerColor();
    if (layer->init()) return ktAutorelease(layer);
    layer->release();
    return nullptr;
}

KTLayerColor* KTLayerColor::create(const _ccColor4B& color, GLfloat width, GLfloat height) {
    auto* layer = new KTLayerColor();
    if (layer->initWithColor(color, width, height)) return ktAutorelease(layer);
    layer->release();
    return nullptr;
}

KTLayerColor* KTLayerColor::create(const _ccColor4B& color) {
    auto* layer = new KTLayerColor();
    layer->initWithColor(color);
    return ktAutorelease(layer);
}

bool KTLayerColor::init() {
    const KTSize size = KTDirector::sharedDirector()->getWinSize();
    return initWithColor(_ccColor4B{0, 0, 0, 0}, size.width, size.height);
}

bool KTLayerColor::initWithColor(const _ccColor4B& color) {
    const KTSize size = KTDirector::sharedDirector()->getWinSize();
    initWithColor(color, size.width, size.height);
    return true;
}

bool KTLayerColor::initWithColor(const _ccColor4B& color, GLfloat width, GLfloat height) {
    if (KTLayer::init()) {
        m_tBlendFunc.src = GL_SRC_ALPHA;
        m_tBlendFunc.dst = GL_ONE_MINUS_SRC_ALPHA;
        _displayedColor.r = _realColor.r = color.r;
        _displayedColor.g = _realColor.g = color.g;
        _displayedColor.b = _realColor.b = color.b;
        _displayedOpacity = _realOpacity = color.a;
        for (auto& vertex : m_pSquareVertices) vertex = ktVertex2F{};
        updateColor();
        setContentSize(KTSize(width, height));
        setShaderProgram(KTShaderCache::sharedShaderCache()->programForKey(kKTShader_PositionColor));
    }
    return true;
}

void KTLayerColor::setContentSize(const KTSize& size) {
    m_pSquareVertices[1].x = size.width;
    m_pSquareVertices[2].y = size.height;
    m_pSquareVertices[3].x = size.width;
    m_pSquareVertices[3].y = size.height;
    KTLayerRGBA::setContentSize(size);
}

void KTLayerColor::updateColor() {
    for (auto& colour : m_pSquareColors) {
        colour.r = _displayedColor.r / 255.0f;
        colour.g = _displayedColor.g / 255.0f;
        colour.b = _displayedColor.b / 255.0f;
        colour.a = _displayedOpacity / 255.0f;
    }
}

void KTLayerColor::setColor(const _ccColor3B& color) {
    KTLayerRGBA::setColor(color);
    updateColor();
}

void KTLayerColor::setOpacity(GLubyte opacity) {
    KTLayerRGBA::setOpacity(opacity);
    updateColor();
}

_ccBlendFunc KTLayerColor::getBlendFunc() {
    return m_tBlendFunc;
}

void KTLayerColor::setBlendFunc(_ccBlendFunc blendFunc) {
    m_tBlendFunc = blendFunc;
}

void KTLayerColor::draw() {
    if (!m_pShaderProgram) return;
    ktGLEnable(m_eGLServerState);
    m_pShaderProgram->use();
    m_pShaderProgram->setUniformsForBuiltins();
    ktGLEnableVertexAttribs(kKTVertexAttribFlag_Position | kKTVertexAttribFlag_Color);

    ktGLClientVertexPointers();
    glVertexAttribPointer(kKTVertexAttrib_Position, 2, GL_FLOAT, GL_FALSE, 0, m_pSquareVertices);
    glVertexAttribPointer(kKTVertexAttrib_Color, 4, GL_FLOAT, GL_FALSE, 0, m_pSquareColors);

    ktGLBlendFunc(m_tBlendFunc.src, m_tBlendFunc.dst);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    ++g_drawCallCount;
}

}  // namespace kite
