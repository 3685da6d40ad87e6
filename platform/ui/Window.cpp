#include "platform/ui/Window.h"

#include <algorithm>

#include "platform/base/Clock.h"
#include "platform/base/Log.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"

namespace plat {
namespace {
Window* gKeyWindow = nullptr;
}

Window::~Window() {
    if (gKeyWindow == this) gKeyWindow = nullptr;
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
    if (root_ && root_->isViewLoaded() && root_->view()->superview() == this)
        root_->view()->removeFromSuperview();
    std::shared_ptr<ViewController> old = std::move(root_);
    const bool shown = rootAppeared_;
    rootAppeared_ = false;
    root_ = std::move(controller);
    if (root_) addSubview(root_->view());
    if (old == root_) {
        rootAppeared_ = shown;
        return;
    }
    if (old && shown) old->viewDidDisappear(false);
    if (root_ && shown) {
        rootAppeared_ = true;
        root_->viewDidAppear(false);
    }
}

void Window::makeKeyAndVisible() {
    gKeyWindow = this;
    setHidden(false);
    if (root_ && !rootAppeared_) {
        rootAppeared_ = true;
        root_->viewDidAppear(false);
    }
}

Window* Window::keyWindow() {
    return gKeyWindow;
}

View* Window::contentView() const {
    if (root_ && root_->isViewLoaded() && root_->view()->superview() == this) return root_->view().get();
    return subviews().empty() ? nullptr : subviews().front().get();
}

bool Window::routeTouch(Touch::Phase phase, intptr_t identity, Point location) {
    Window* window = keyWindow();
    return window && window->sendTouch(phase, identity, location);
}

bool Window::sendTouch(Touch::Phase phase, intptr_t identity, Point location) {
    const double now = static_cast<double>(Clock::shared().monotonicMicros()) / 1e6;
    auto it = std::find_if(touches_.begin(), touches_.end(),
                           [identity](const TrackedTouch& t) { return t.identity == identity; });
    if (phase == Touch::Phase::Began) {
        // A beginning for a finger still down: the old touch is over.
        if (it != touches_.end()) {
            if (it->touch) sendTouch(Touch::Phase::Cancelled, identity, location);
            it = std::find_if(touches_.begin(), touches_.end(),
                              [identity](const TrackedTouch& t) { return t.identity == identity; });
            if (it != touches_.end()) touches_.erase(it);
        }
        View* hit = hitTest(location, nullptr);
        std::shared_ptr<View> target = hit ? hit->weak_from_this().lock() : nullptr;
        if (!hit || hit == this || hit == contentView() || !target) {
            touches_.push_back({identity, nullptr});
            return false;
        }
        auto touch = std::make_shared<Touch>(identity, location, now);
        touch->setView(target);
        touches_.push_back({identity, touch});
        Event event{now, {touch}};
        target->touchesBegan(event.allTouches, event);
        return true;
    }
    if (it == touches_.end()) return false;
    std::shared_ptr<Touch> touch = it->touch;
    const bool last = phase == Touch::Phase::Ended || phase == Touch::Phase::Cancelled;
    if (last) touches_.erase(it);
    if (!touch) return false;
    touch->update(phase, location, now);
    std::shared_ptr<View> target = touch->sharedView();
    if (!target) return true;
    Event event{now, {touch}};
    switch (phase) {
        case Touch::Phase::Moved:
        case Touch::Phase::Stationary:
            target->touchesMoved(event.allTouches, event);
            break;
        case Touch::Phase::Ended:
            target->touchesEnded(event.allTouches, event);
            break;
        case Touch::Phase::Cancelled:
            target->touchesCancelled(event.allTouches, event);
            break;
        case Touch::Phase::Began:
            break;
    }
    if (last) touch->setView(nullptr);
    return true;
}

Screen& Screen::main() {
    static Screen screen;
    return screen;
}

void Screen::setBounds(Rect bounds, double scale) {
    bounds_ = bounds;
    scale_ = scale;
    shown_ = true;
}

Rect Screen::applicationFrame() const {
    auto app = Application::shared();
    if (app && app->isStatusBarHidden()) return bounds_;
    constexpr double kStatusBarHeight = 20;
    return {bounds_.x, bounds_.y + kStatusBarHeight, bounds_.width, bounds_.height - kStatusBarHeight};
}

}  // namespace plat
