#include "kite/platform/linux/KTHeadlessDriver.h"

#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "kite/platform/KTApplication.h"
#include "kite/platform/linux/EAGLView.h"
#include "kite/platform/linux/KTDisplayLink.h"
#include "kite/platform/linux/KTScreen.h"
#include "platform/base/Clock.h"
#include "platform/base/Log.h"
#include "platform/net/InFlight.h"
#include "platform/runloop/QuitSignals.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/WebView.h"

namespace kite {
namespace {
constexpr intptr_t kPointerIdentity = 1;
}

KTHeadlessDriver::KTHeadlessDriver() {
    KTScreen::mainScreen().setHeadless();
    if (!plat::Clock::shared().asVirtual()) {
        clock_ = std::make_shared<plat::VirtualClock>();
        previousClock_ = plat::Clock::setShared(clock_);
    }
}

KTHeadlessDriver::~KTHeadlessDriver() {
    if (clock_) plat::Clock::setShared(previousClock_);
}

std::shared_ptr<EAGLView> KTHeadlessDriver::createView(GLenum depthFormat) {
    if (!view_)
        view_ = EAGLView::viewWithFrame(KTScreen::mainScreen().bounds(), kEAGLColorFormatRGB565, depthFormat,
                                        false, nullptr, false, 0);
    return view_;
}

bool KTHeadlessDriver::launch(KTApplication& application) {
    if (!view_ && !createView()) return false;
    application_ = &application;
    application.run();
    return true;
}

void KTHeadlessDriver::advanceOneRefresh() {
    const auto clock = plat::Clock::shared().asVirtual();
    if (!clock) return;
    const int64_t now = clock->monotonicMicros();
    int64_t target = KTDisplayLink::nextRefreshMicros();
    if (target < 0) {
        // No display link: keep our own 60 Hz grid so frames still last exactly 1/60 s on average.
        if (gridFrames_ == 0) gridStart_ = now;
        ++gridFrames_;
        target = gridStart_ + std::llround(gridFrames_ * 1e6 / KTDisplayLink::kRefreshRate);
    } else {
        gridFrames_ = 0;
    }
    if (target > now) clock->advanceMicros(target - now);
}

void KTHeadlessDriver::waitForPendingWork() {
    using plat::InFlight;
    using plat::InFlightKind;
    if (InFlight::total() == 0) {
        gaveUpWaiting_ = false;
        return;
    }
    if (gaveUpWaiting_) return;
    auto& loop = plat::RunLoop::main();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(pendingWaitLimit_);
    while (InFlight::total() > 0) {
        // A quit ends the wait at once: the frame goes on and the program leaves after it.
        if (plat::QuitSignals::signalled()) return;
        if (std::chrono::steady_clock::now() >= deadline) {
            plat::logWarning(
                "KTHeadlessDriver: frame %lld goes on after %g s with %zu URL request(s) and %zu web "
                "load(s) still pending",
                static_cast<long long>(frame_ + 1), pendingWaitLimit_,
                InFlight::count(InFlightKind::URLRequest), InFlight::count(InFlightKind::WebLoad));
            gaveUpWaiting_ = true;
            return;
        }
        // The page may go on rendering while the clock stands still.
        plat::WebView::acknowledgeFrames();
        // With the clock virtual the loop never sleeps for its timers; a short nap keeps this from spinning.
        if (loop.runOnce(0.002) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int64_t KTHeadlessDriver::runFrames(int64_t count) {
    auto& loop = plat::RunLoop::main();
    int64_t ran = 0;
    const auto& events = script_.events();
    while (ran < count && !quit_) {
        const int64_t frame = frame_ + 1;
        while (nextEvent_ < events.size() && events[nextEvent_].frame < frame) ++nextEvent_;
        size_t captureStart = nextEvent_;
        for (size_t i = nextEvent_; i < events.size() && events[i].frame == frame; ++i)
            if (events[i].kind != KTDriverEvent::Capture && events[i].kind != KTDriverEvent::Quit)
                apply(events[i]);

        waitForPendingWork();
        advanceOneRefresh();
        // Layouts and other posted work of this refresh run too; the next refresh is not due yet.
        for (int pass = 0; pass < 16 && loop.runOnce(0) > 0; ++pass) {
        }
        frame_ = frame;
        ++ran;

        for (size_t i = captureStart; i < events.size() && events[i].frame == frame; ++i) {
            if (events[i].kind == KTDriverEvent::Capture) apply(events[i]);
            if (events[i].kind == KTDriverEvent::Quit) quit_ = true;
            nextEvent_ = i + 1;
        }
        if (captureEvery_ > 0 && frame % captureEvery_ == 0) {
            char name[32];
            std::snprintf(name, sizeof name, "frame%06lld.png", static_cast<long long>(frame));
            capture(captureDir_ / name);
        }
    }
    return ran;
}

bool KTHeadlessDriver::capture(const std::filesystem::path& path) {
    if (!view_) {
        plat::logError("KTHeadlessDriver: nothing to capture to %s (no view)", path.c_str());
        return false;
    }
    std::error_code ignored;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
    return view_->writePNG(path.string());
}

void KTHeadlessDriver::apply(const KTDriverEvent& event) {
    // Window pixels at window scale 1 are surface pixels; the view takes points.
    const float scale = view_ ? view_->contentScaleFactor() : KTScreen::mainScreen().scale();
    const std::vector<EAGLTouch> touch{{kPointerIdentity, KTPoint(static_cast<float>(event.x / scale),
                                                                  static_cast<float>(event.y / scale))}};
    switch (event.kind) {
        case KTDriverEvent::TouchDown:
            if (view_ && !touching_) view_->dispatchPlatformTouches(EAGLView::TouchPhase::Began, touch);
            touching_ = true;
            break;
        case KTDriverEvent::TouchMove:
            if (view_ && touching_) view_->dispatchPlatformTouches(EAGLView::TouchPhase::Moved, touch);
            break;
        case KTDriverEvent::TouchUp:
            if (view_ && touching_) view_->dispatchPlatformTouches(EAGLView::TouchPhase::Ended, touch);
            touching_ = false;
            break;
        case KTDriverEvent::Capture: {
            std::filesystem::path path(event.path);
            capture(path.is_absolute() ? path : captureDir_ / path);
            break;
        }
        case KTDriverEvent::Background:
            if (application_) application_->applicationDidEnterBackground();
            break;
        case KTDriverEvent::Foreground:
            if (application_) application_->applicationWillEnterForeground();
            break;
        case KTDriverEvent::Jump:
            if (const auto clock = plat::Clock::shared().asVirtual())
                clock->jumpWallMicros(std::llround(event.x * 1e6));
            break;
        case KTDriverEvent::Quit:
            quit_ = true;
            break;
    }
}

}  // namespace kite
