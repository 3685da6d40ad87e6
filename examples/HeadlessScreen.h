#pragma once
// The frames of an example app that has no game: a cleared GL frame with the window's views composited
// over it, drawn headless on a virtual clock that moves 1/60 s a frame once the network work and page
// loads of the frame before have settled (in real time, bounded). Frames come no faster than a display
// shows them. What a step waits for is done by other processes (the web engine's, the peers), which run
// in real time however busy the machine is, so every wait is bounded in real time, never in frames.
#include <GLES2/gl2.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Clock.h"
#include "platform/media/GLContext.h"
#include "platform/net/InFlight.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"

class HeadlessScreen {
  public:
    static constexpr int kWidth = 640, kHeight = 1136;  // 320 x 568 points at 2 pixels a point
    // Far longer than any step needs, even on a busy machine; a step that does not happen by then has
    // failed.
    static constexpr double kStepSeconds = 30;
    static constexpr double kNetworkWaitSeconds = 20;

    HeadlessScreen(std::string program, plat::GLContext& gl, plat::Window& window)
        : program_(std::move(program)), gl_(gl), window_(window) {
        clock_ = std::make_shared<plat::VirtualClock>();
        plat::Clock::setShared(clock_);
    }

    // One frame: what the last frame started settles, the clock moves on, the run loop does what is
    // due, and the frame is drawn.
    void frame() {
        settle();
        pace();
        clock_->advance(1.0 / 60);
        plat::RunLoop::main().runOnce(0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, kWidth, kHeight);
        glClearColor(0.15f, 0.2f, 0.3f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        compositor_.composite(window_, kWidth, kHeight);
        gl_.present();
    }
    // Frames until `done`, for at most kStepSeconds; false when it never came.
    bool runUntil(const std::function<bool()>& done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(kStepSeconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= until) return done();
            frame();
        }
        return true;
    }
    // Frames until the page in `page` answers `script` with some text, for at most kStepSeconds; the
    // answer, or "" when none came. The script runs again after each empty answer.
    std::string runUntilPageAnswers(plat::WebView& page, const std::string& script) {
        auto answer = std::make_shared<std::string>();
        auto asking = std::make_shared<bool>(false);
        runUntil([&] {
            if (answer->empty() && !*asking) {
                *asking = true;
                page.evaluateScript(script, [answer, asking](const std::string& text) {
                    *answer = text;
                    *asking = false;
                });
            }
            return !answer->empty();
        });
        return *answer;
    }
    // Frames until every web page in the window, loaded, has drawn a frame after now and the window shows
    // it; false when one did not within kStepSeconds. A page paints in its own process, in its own time,
    // and a still one sends no frames: each is asked for its second animation frame from now, which the
    // engine begins only once the frame it drew at the first, from the page as it is now, has reached this
    // process. The frame after that composites it.
    bool runUntilPagesPainted() {
        if (!runUntil([] { return plat::InFlight::count(plat::InFlightKind::WebLoad) == 0; })) return false;
        std::vector<std::shared_ptr<plat::WebView>> pages;
        findPages(window_, pages);
        for (const auto& page : pages) {
            const uint64_t delivered = page->framesDelivered();
            const std::string serial = std::to_string(++paintAsks_);
            const std::string ask =
                "requestAnimationFrame(() => requestAnimationFrame(() => window.headlessPainted = " + serial +
                ")); ''";
            page->evaluateScript(ask, nullptr);
            const std::string painted = "window.headlessPainted === " + serial + " ? 'painted' : ''";
            if (runUntilPageAnswers(*page, painted).empty()) return false;
            if (!runUntil([&] { return page->framesDelivered() > delivered; })) return false;
        }
        frame();
        return true;
    }
    void runFrames(int count) {
        for (int i = 0; i < count; ++i) frame();
    }
    bool capture(const std::filesystem::path& file) { return gl_.writePNG(file.string()); }
    // A finger down at `at` (window points) for one frame, then up.
    void tap(plat::Point at) {
        plat::Window::routeTouch(plat::Touch::Phase::Began, 1, at);
        frame();
        plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, at);
    }

  private:
    // A frame no sooner than 1/60 s after the one before, in real time, the run loop turning meanwhile:
    // a wait on another process then takes no more virtual time than real time (the SDKs' own time-outs
    // and rotations run on the virtual clock), and the renderer's queue never grows beyond what it draws.
    void pace() {
        while (std::chrono::steady_clock::now() < nextFrame_)
            if (plat::RunLoop::main().runOnce(0.002) == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        nextFrame_ = std::chrono::steady_clock::now() + std::chrono::microseconds(1000000 / 60);
    }

    static void findPages(plat::View& view, std::vector<std::shared_ptr<plat::WebView>>& pages) {
        for (const auto& sub : view.subviews()) {
            if (sub->isHidden()) continue;
            auto page = std::dynamic_pointer_cast<plat::WebView>(sub);
            if (page && !page->url().empty()) pages.push_back(page);  // a view with no page draws nothing
            findPages(*sub, pages);
        }
    }

    // Waits for the work in flight, at most kNetworkWaitSeconds; after a wait that ran out, frames go on
    // without waiting until nothing is in flight again, so one stuck load cannot hold every frame.
    void settle() {
        if (plat::InFlight::total() == 0) {
            gaveUp_ = false;
            return;
        }
        if (gaveUp_) return;
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(kNetworkWaitSeconds);
        while (plat::InFlight::total() > 0) {
            if (std::chrono::steady_clock::now() >= until) {
                std::fprintf(stderr, "%s: frames go on with %zu load(s) still in flight\n", program_.c_str(),
                             plat::InFlight::total());
                gaveUp_ = true;
                return;
            }
            plat::WebView::acknowledgeFrames();
            if (plat::RunLoop::main().runOnce(0.002) == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::string program_;
    plat::GLContext& gl_;
    plat::Window& window_;
    plat::Compositor compositor_;
    std::shared_ptr<plat::VirtualClock> clock_;
    bool gaveUp_ = false;
    std::chrono::steady_clock::time_point nextFrame_;
    uint64_t paintAsks_ = 0;
};
