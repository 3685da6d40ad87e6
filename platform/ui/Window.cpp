#include "platform/ui/Window.h"

#include <algorithm>

#include "platform/ui/Application.h"
#include "platform/base/Log.h"
#include "platform/ui/ViewController.h"

namespace plat {
namespace {
Window* gKeyWindow = nullptr;
}

View::~View() {
    for (auto& child : subviews_) child->superview_ = nullptr;
}

bool View::isDescendantOf(const View* view) const {
    for (const View* v = this; v; v = v->superview_)
        if (v == view) return true;
    return false;
}

void View::addSubview(const std::shared_ptr<View>& view) {
    if (!view) return;
    if (isDescendantOf(view.get())) {
        logError("View: a view cannot be added inside itself");
        return;
    }
    std::shared_ptr<View> keep = view;
    keep->removeFromSuperview();
    keep->superview_ = this;
    subviews_.push_back(std::move(keep));
}

void View::removeFromSuperview() {
    View* parent = superview_;
    if (!parent) return;
    superview_ = nullptr;
    auto& list = parent->subviews_;
    auto it = std::find_if(list.begin(), list.end(), [this](const auto& v) { return v.get() == this; });
    // Erasing may drop the last reference to this view, so nothing touches it afterwards.
    if (it != list.end()) list.erase(it);
}

Window::~Window() {
    if (gKeyWindow == this) gKeyWindow = nullptr;
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
    if (root_ && root_->isViewLoaded() && root_->view()->superview() == this)
        root_->view()->removeFromSuperview();
    root_ = std::move(controller);
    if (root_) addSubview(root_->view());
}

void Window::makeKeyAndVisible() {
    gKeyWindow = this;
    setHidden(false);
}

Window* Window::keyWindow() {
    return gKeyWindow;
}

Screen& Screen::main() {
    static Screen screen;
    return screen;
}

void Screen::setBounds(Rect bounds, double scale) {
    bounds_ = bounds;
    scale_ = scale;
}

Rect Screen::applicationFrame() const {
    auto app = Application::shared();
    if (app && app->isStatusBarHidden()) return bounds_;
    constexpr double kStatusBarHeight = 20;
    return {bounds_.x, bounds_.y + kStatusBarHeight, bounds_.width, bounds_.height - kStatusBarHeight};
}

}  // namespace plat
