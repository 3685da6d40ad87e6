// The ad SDK's two app placements, as an app shows them: a banner at the bottom of the screen and, a
// moment later, an interstitial popup over it, whose close button the user taps. The app here has no
// game: its frames are a cleared GL frame with the views composited over it, drawn headless on a virtual
// clock that moves 1/60 s a frame once the network work of the frame before has settled.
//
//   ads_placements --endpoints FILE --captures DIR [--home DIR]
//
// Writes DIR/banner.png (the banner showing), DIR/popup.png (the popup over it) and DIR/closed.png (the
// popup gone after the tap). Exits 0 when all three steps happened.
#include <GLES2/gl2.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "ExampleSetup.h"
#include "ads/ZividedirPopupView.h"
#include "ads/ZividedirView.h"
#include "platform/base/Clock.h"
#include "platform/media/GLContext.h"
#include "platform/net/Endpoints.h"
#include "platform/net/InFlight.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Paths.h"
#include "platform/ui/Button.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"

namespace {

// The app's media ids, as the ad server's console gave them.
constexpr const char* kBannerMediaId = "a1b2c3d4e5f60718293a4b5c";
constexpr const char* kPopupMediaId = "0f1e2d3c4b5a69788796a5b4";
constexpr int kWidth = 640, kHeight = 1136;  // 320 x 568 points at 2 pixels a point
// Far more frames than any step needs; a step that does not happen by then has failed.
constexpr int kStepFrames = 1200;
constexpr double kNetworkWaitSeconds = 20;

struct BannerEvents : ZividedirViewDelegate {
    void zividedirViewDidFinishLoad(const std::shared_ptr<ZividedirView>&) override { shown = true; }
    bool shown = false;
};

struct PopupEvents : ZividedirPopupViewDelegate {
    void zividedirViewDidFinishLoad(ZividedirPopupView&) override { shown = true; }
    void zividedirViewAdFailed(ZividedirPopupView&) override { failed = true; }
    void zividedirViewAdClose(ZividedirPopupView&) override { closed = true; }
    bool shown = false;
    bool failed = false;
    bool closed = false;
};

class Screen {
  public:
    Screen(plat::GLContext& gl, plat::Window& window) : gl_(gl), window_(window) {
        clock_ = std::make_shared<plat::VirtualClock>();
        plat::Clock::setShared(clock_);
    }

    // One frame: network answers and page loads of the last frame settle (in real time, bounded), the
    // clock moves on, the run loop does what is due, and the frame is drawn.
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
                std::fprintf(stderr, "ads_placements: frames go on with %zu load(s) still in flight\n",
                             plat::InFlight::total());
                gaveUp_ = true;
                return;
            }
            plat::WebView::acknowledgeFrames();
            if (plat::RunLoop::main().runOnce(0.002) == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    plat::GLContext& gl_;
    plat::Window& window_;
    plat::Compositor compositor_;
    std::shared_ptr<plat::VirtualClock> clock_;
    bool gaveUp_ = false;
};

int fail(const char* what) {
    std::fprintf(stderr, "ads_placements: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each step's line shows as it happens, also in a pipe
    ExampleSetup setup;
    std::string why;
    if (!setUpExample(argc, argv, "ads_placements", true, setup, why)) return fail(why.c_str());
    const std::string& captures = setup.captures;
    std::filesystem::create_directories(captures);

    auto gl = plat::GLContext::createHeadless(kWidth, kHeight);
    if (!gl || !gl->makeCurrent()) return fail("no headless GL context (EGL on Mesa is needed)");
    auto window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
    auto root = std::make_shared<plat::View>(plat::Rect{0, 0, 320, 568});
    window->addSubview(root);
    window->makeKeyAndVisible();
    Screen screen(*gl, *window);

    // The banner along the bottom edge.
    auto bannerEvents = std::make_shared<BannerEvents>();
    auto banner = ZividedirView::create(plat::Rect{0, 568 - 50, 320, 50});
    banner->setAppID(kBannerMediaId);
    banner->setDelegate(bannerEvents);
    root->addSubview(banner);
    banner->startShowAd();
    if (!screen.runUntil([&] { return bannerEvents->shown; })) return fail("the banner showed no ad");
    std::printf("ads_placements: the banner shows an ad\n");
    screen.runFrames(30);
    if (!screen.capture(std::filesystem::path(captures) / "banner.png")) return fail("no banner capture");

    // The popup over everything; the root view keeps it until it closes itself.
    auto popupEvents = std::make_shared<PopupEvents>();
    std::weak_ptr<ZividedirPopupView> popup;
    {
        auto made = ZividedirPopupView::create();
        made->setDelegate(popupEvents);
        made->setAppId(kPopupMediaId);
        root->addSubview(made);
        made->startShowAd();
        popup = made;
    }
    if (!screen.runUntil([&] { return popupEvents->shown || popupEvents->failed; }) || !popupEvents->shown)
        return fail("the popup showed no ad");
    std::printf("ads_placements: the popup shows an ad\n");
    screen.runFrames(30);  // its fade-in
    if (!screen.capture(std::filesystem::path(captures) / "popup.png")) return fail("no popup capture");

    // The user taps the close button.
    auto shown = popup.lock();
    if (!shown || !shown->closeNewButton()) return fail("the popup has no close button");
    const plat::Rect button = shown->closeNewButton()->bounds();
    const plat::Point tap = shown->closeNewButton()->convertPointToView(
        {button.x + button.width / 2, button.y + button.height / 2}, nullptr);
    shown.reset();
    plat::Window::routeTouch(plat::Touch::Phase::Began, 1, tap);
    screen.frame();
    plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, tap);
    if (!screen.runUntil([&] { return popupEvents->closed; })) return fail("the popup did not close");
    screen.runFrames(10);
    if (!screen.capture(std::filesystem::path(captures) / "closed.png"))
        return fail("no capture after the close");

    std::printf("ads_placements: banner shown, popup shown and closed; captures in %s\n", captures.c_str());
    return 0;
}
