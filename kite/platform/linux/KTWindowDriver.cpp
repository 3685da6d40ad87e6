#include "kite/platform/linux/KTWindowDriver.h"

#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include "kite/core/KTDirector.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/linux/EAGLView.h"
#include "kite/platform/linux/KTScreen.h"
#include "platform/media/GLContext.h"
#include "platform/runloop/RunLoop.h"

namespace kite {
namespace {
constexpr intptr_t kPointerIdentity = 1;
}

std::unique_ptr<KTWindowDriver> KTWindowDriver::create(double scale) {
    plat::X11WindowOptions options;
    options.scale = scale;
    return create(std::move(options));
}

std::unique_ptr<KTWindowDriver> KTWindowDriver::create(plat::X11WindowOptions options) {
    options.width = static_cast<int>(KTScreen::kDefaultWidth * KTScreen::kDefaultScale);
    options.height = static_cast<int>(KTScreen::kDefaultHeight * KTScreen::kDefaultScale);
    auto window = plat::X11Window::create(options);
    if (!window) return nullptr;
    std::unique_ptr<KTWindowDriver> driver(new KTWindowDriver());
    driver->window_ = std::move(window);
    KTScreen::mainScreen().setWindow(driver->window_.get());
    driver->lifecycle_.resignActive = [] { KTDirector::sharedDirector()->pause(); };
    driver->lifecycle_.becomeActive = [] { KTDirector::sharedDirector()->resume(); };
    driver->lifecycle_.enterBackground = [d = driver.get()] {
        if (d->application_) d->application_->applicationDidEnterBackground();
    };
    driver->lifecycle_.enterForeground = [d = driver.get()] {
        if (d->application_) d->application_->applicationWillEnterForeground();
    };
    driver->lifecycle_.close = [] { plat::RunLoop::main().stop(); };

    plat::X11Window& w = *driver->window_;
    w.setPointerHandler([d = driver.get()](const plat::X11Window::PointerEvent& e) { d->onPointer(e); });
    w.setWindowEventHandler([d = driver.get()](plat::X11Window::WindowEvent e) { d->onWindowEvent(e); });
    w.setKeyHandler([d = driver.get()](const plat::X11Window::KeyEvent& key) {
        if (d->view_) d->view_->keyInput({key.down, key.keysym, key.text});
    });
    w.attach(plat::RunLoop::main());
    return driver;
}

KTWindowDriver::~KTWindowDriver() {
    if (window_) {
        window_->detach();
        window_->setPointerHandler(nullptr);
        window_->setWindowEventHandler(nullptr);
        window_->setKeyHandler(nullptr);
    }
    // The view's GL context lives on the window's EGL display; it goes first.
    view_.reset();
    if (KTScreen::mainScreen().window() == window_.get()) KTScreen::mainScreen().setHeadless();
}

std::shared_ptr<EAGLView> KTWindowDriver::createView(GLenum depthFormat) {
    if (!view_)
        view_ = EAGLView::viewWithFrame(KTScreen::mainScreen().bounds(), kEAGLColorFormatRGB565, depthFormat,
                                        false, nullptr, false, 0);
    return view_;
}

bool KTWindowDriver::launch(KTApplication& application) {
    if (!view_ && !createView()) return false;
    application_ = &application;
    application.run();
    return true;
}

void KTWindowDriver::run() {
    // A close or the window's end is kept once read: between frames it stops the loop too, whatever the
    // lifecycle's close did with it, and a stop that something else ended the loop with cannot lose it.
    plat::RunLoop& loop = plat::RunLoop::main();
    const plat::RunLoop::TimerId kept = loop.addTimer(
        1.0 / 120,
        [this, &loop] {
            if (window_->closeRequested() || window_->isGone()) loop.stop();
        },
        1.0 / 120);
    loop.run();
    loop.cancelTimer(kept);
}

void KTWindowDriver::onPointer(const plat::X11Window::PointerEvent& event) {
    if (!view_) return;
    // Window pixels to view points through the picture's place in the window; the bars are no screen.
    const plat::X11Rect picture = window_->pictureRect();
    const KTRect bounds = KTScreen::mainScreen().bounds();
    const std::vector<EAGLTouch> touch{
        {kPointerIdentity,
         KTPoint(static_cast<float>((event.x - picture.x) * bounds.size.width / picture.width),
                 static_cast<float>((event.y - picture.y) * bounds.size.height / picture.height))}};
    switch (event.kind) {
        case plat::X11Window::PointerEvent::Down:
            if (!picture.contains(event.x, event.y)) return;
            touching_ = true;
            view_->dispatchPlatformTouches(EAGLView::TouchPhase::Began, touch);
            break;
        case plat::X11Window::PointerEvent::Move:
            if (touching_) view_->dispatchPlatformTouches(EAGLView::TouchPhase::Moved, touch);
            break;
        case plat::X11Window::PointerEvent::Up:
            if (touching_) view_->dispatchPlatformTouches(EAGLView::TouchPhase::Ended, touch);
            touching_ = false;
            break;
        case plat::X11Window::PointerEvent::Cancel:
            if (touching_) view_->dispatchPlatformTouches(EAGLView::TouchPhase::Cancelled, touch);
            touching_ = false;
            break;
    }
}

void KTWindowDriver::onWindowEvent(plat::X11Window::WindowEvent event) {
    std::function<void()>* action = nullptr;
    switch (event) {
        case plat::X11Window::WindowEvent::Focused:
            action = &lifecycle_.becomeActive;
            break;
        case plat::X11Window::WindowEvent::Unfocused:
            action = &lifecycle_.resignActive;
            break;
        case plat::X11Window::WindowEvent::Minimised:
            action = &lifecycle_.enterBackground;
            break;
        case plat::X11Window::WindowEvent::Restored:
            action = &lifecycle_.enterForeground;
            break;
        case plat::X11Window::WindowEvent::CloseRequested:
            action = &lifecycle_.close;
            break;
        case plat::X11Window::WindowEvent::Destroyed:
        case plat::X11Window::WindowEvent::ConnectionLost:
            if (view_ && view_->context()) view_->context()->abandon();
            action = &lifecycle_.close;
            break;
    }
    if (action && *action) (*action)();
}

}  // namespace kite
