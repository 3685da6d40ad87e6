#include "kite/nodes/KTNodeRGBA.h"

namespace kite {

KTNodeRGBA::KTNodeRGBA() = default;
KTNodeRGBA::~KTNodeRGBA() = default;

KTNodeRGBA* KTNodeRGBA::create() {
    auto* node = new KTNodeRGBA();
    if (node->init()) return ktAutorelease(node);
    node->release();
    return nullptr;
}

bool KTNodeRGBA::init() {
    _displayedOpacity = _realOpacity = 255;
    _displayedColor = _realColor = ktc3(255, 255, 255);
    _cascadeOpacityEnabled = _cascadeColorEnabled = false;
    return true;
}

GLubyte KTNodeRGBA::getOpacity() {
    return _realOpacity;
}
GLubyte KTNodeRGBA::getDisplayedOpacity() {
    return _displayedOpacity;
}

void KTNodeRGBA::setOpacity(GLubyte opacity) {
    _displayedOpacity = _realOpacity = opacity;
    if (_cascadeOpacityEnabled) {
        GLubyte parentOpacity = 255;
        auto* parent = dynamic_cast<KTRGBAProtocol*>(m_pParent);
        if (parent && parent->isCascadeOpacityEnabled()) parentOpacity = parent->getDisplayedOpacity();
        updateDisplayedOpacity(parentOpacity);
    }
}

void KTNodeRGBA::updateDisplayedOpacity(GLubyte parentOpacity) {
    _displayedOpacity = static_cast<GLubyte>(_realOpacity * parentOpacity / 255.0);
    if (_cascadeOpacityEnabled && m_pChildren) {
        for (KTObject* obj : *m_pChildren) {
            if (auto* item = dynamic_cast<KTRGBAProtocol*>(obj))
                item->updateDisplayedOpacity(_displayedOpacity);
        }
    }
}

bool KTNodeRGBA::isCascadeOpacityEnabled() {
    return _cascadeOpacityEnabled;
}
void KTNodeRGBA::setCascadeOpacityEnabled(bool enabled) {
    _cascadeOpacityEnabled = enabled;
}

const _ccColor3B& KTNodeRGBA::getColor() {
    return _realColor;
}
const _ccColor3B& KTNodeRGBA::getDisplayedColor() {
    return _displayedColor;
}

void KTNodeRGBA::setColor(const _ccColor3B& color) {
    _displayedColor = _realColor = color;
    if (_cascadeColorEnabled) {
        _ccColor3B parentColor = ktc3(255, 255, 255);
        auto* parent = dynamic_cast<KTRGBAProtocol*>(m_pParent);
        if (parent && parent->isCascadeColorEnabled()) parentColor = parent->getDisplayedColor();
        updateDisplayedColor(parentColor);
    }
}

void KTNodeRGBA::updateDisplayedColor(const _ccColor3B& parentColor) {
    _displayedColor.r = static_cast<GLubyte>(_realColor.r * parentColor.r / 255.0);
    _displayedColor.g = static_cast<GLubyte>(_realColor.g * parentColor.g / 255.0);
    _displayedColor.b = static_cast<GLubyte>(_realColor.b * parentColor.b / 255.0);
    if (_cascadeColorEnabled && m_pChildren) {
        for (KTObject* obj : *m_pChildren) {
            if (auto* item = dynamic_cast<KTRGBAProtocol*>(obj)) item->updateDisplayedColor(_displayedColor);
        }
    }
}

bool KTNodeRGBA::isCascadeColorEnabled() {
    return _cascadeColorEnabled;
}
void KTNodeRGBA::setCascadeColorEnabled(bool enabled) {
    _cascadeColorEnabled = enabled;
}

void KTNodeRGBA::setOpacityModifyRGB(bool) {}
bool KTNodeRGBA::isOpacityModifyRGB() {
    return false;
}

}  // namespace kite
