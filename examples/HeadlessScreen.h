#pragma once
// The frames of an example app that has no game: a cleared GL frame with the window's views composited
// over it, drawn headless on a virtual clock that moves 1/60 s a frame once the network work and page
// loads of the frame before have settled (in real time, bounded).
#include <GLES2/gl2.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

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
    // Far more frames than any step needs; a step that does not happen by then has failed.
    static constexpr int kStepFrames = 1200;
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
        clock_->advance(1.0 / 60);
        plat::RunLoop::main().runOnce(0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, kWidth, kHeight);
        glClearColor(0.15f, 0.2f, 0.3f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        compositor_.composite(window_, kWidth, kHeight);
        gl_.present();
    }
    // Frames until `done`, at most kStepFrames; false when it never came.
    bool runUntil(const std::function<bool()>& done) {
        for (int i = 0; i < kStepFrames; ++i) {
            if (done()) return true;
            frame();
        }
        return done();
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
};
