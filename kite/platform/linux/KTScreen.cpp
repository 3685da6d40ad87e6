#include "kite/platform/linux/KTScreen.h"

#include "kite/platform/linux/KTGLLayer.h"

namespace kite {

KTScreen& KTScreen::mainScreen() {
    static KTScreen screen;
    return screen;
}

void KTScreen::setHeadless(float width, float height, float scale) {
    width_ = width;
    height_ = height;
    scale_ = scale;
    window_ = nullptr;
}

void KTScreen::setWindow(plat::X11Window* window, float width, float height, float scale) {
    setHeadless(width, height, scale);
    window_ = window;
}

std::shared_ptr<KTGLLayer> KTScreen::makeLayer() const {
    if (window_) return std::make_shared<KTX11GLLayer>(*window_);
    return std::make_shared<KTHeadlessGLLayer>();
}

}  // namespace kite
