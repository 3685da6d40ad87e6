#include "kite/layers/KTLayer.h"

namespace kite {

KTLayerRGBA::KTLayerRGBA() = default;
KTLayerRGBA::~KTLayerRGBA() = default;

KTLayerRGBA* KTLayerRGBA::create() {
    auto* layer = new KTLayerRGBA();
    if (layer->init()) return ktAutorelease(layer);
    layer->release();
    return nullptr;
}

bool KTLayerRGBA::init() {
    if (!KTLayer::init()) return false;
    _displayedOpacity = _realOpacity = 255;
    _displayedColor = _realColor = ccWHITE;
    setCascadeOpacityEnabled(false);
    setCascadeColorEnabled(false);
    return true;
}

GLubyte KTLayerRGBA::getOpacity() {
    return _realOpacity;
}
GLubyte KTLayerRGBA::getDisplayedOpacity() {
    return _displayedOpacity;
}

void KTLayerRGBA::setOpacity(GLubyte opacity) {
    _displayedOpacity = _realOpacity = opacity;
    if (_cascadeOpacityEnabled) {
        GLubyte parentOpacity = 255;
        auto* parent = dynamic_cast<KTRGBAProtocol*>(m_pParent);
        if (parent && parent->isCascadeOpacityEnabled()) parentOpacity = parent->getDisplayedOpacity();
        updateDisplayedOpacity(parentOpacity);
    }
}

void KTLayerRGBA::updateDisplayedOpacity(GLubyte parentOpacity) {
    _displayedOpacity = static_cast<GLubyte>(_realOpacity * parentOpacity / 255.0);
    if (_cascadeOpacityEnabled && m_pChildren) {
        for (KTObject* obj : *m_pChildren)
            if (auto* item = dynamic_cast<KTRGBAProtocol*>(obj))
                item->updateDisplayedOpacity(_displayedOpacity);
    }
}

bool KTLayerRGBA::isCascadeOpacityEnabled() {
    return _cascadeOpacityEnabled;
}
void KTLayerRGBA::setCascadeOpacityEnabled(bool enabled) {
    _cascadeOpacityEnabled = enabled;
}

const _ccColor3B& KTLayerRGBA::getColor() {
    return _realColor;
}
const _ccColor3B& KTLayerRGBA::getDisplayedColor() {
    return _displayedColor;
}

void KTLayerRGBA::setColor(const _ccColor3B& color) {
    _displayedColor = _realColor = color;
    if (_cascadeColorEnabled) {
        _ccColor3B parentColor = ccWHITE;
        auto* parent = dynamic_cast<KTRGBAProtocol*>(m_pParent);
        if (parent && parent->isCascadeColorEnabled()) parentColor = parent->getDisplayedColor();
        updateDisplayedColor(parentColor);
    }
}

void KTLayerRGBA::updateDisplayedColor(const _ccColor3B& parentColor) {
    _displayedColor.r = static_cast<GLubyte>(_realColor.r * parentColor.r / 255.0);
    _displayedColor.g = static_cast<GLubyte>(_realColor.g * parentColor.g / 255.0);
    _displayedColor.b = static_cast<GLubyte>(_realColor.b * parentColor.b / 255.0);
    if (_cascadeColorEnabled && m_pChildren) {
        for (KTObject* obj : *m_pChildren)
            if (auto* item = dynamic_cast<KTRGBAProtocol*>(obj)) item->updateDisplayedColor(_displayedColor);
    }
}

bool KTLayerRGBA::isCascadeColorEnabled() {
    return _cascadeColorEnabled;
}
void KTLayerRGBA::setCascadeColorEnabled(bool enabled) {
    _cascadeColorEnabled = enabled;
}

void KTLayerRGBA::setOpacityModifyRGB(bool) {}
bool KTLayerRGBA::isOpacityModifyRGB() {
    return false;
}

}  // namespace kite
