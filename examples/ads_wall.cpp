// The ad SDK's offer wall, as an app opens it: the wall covers the screen, shows the offers of its ad
// network, the user taps one (it opens outside the app) and then closes the wall with its close button.
// The app here has no game: its frames are HeadlessScreen's.
//
//   ads_wall --endpoints FILE --captures DIR [--home DIR]
//
// Writes DIR/wall.png (the wall with its offers) and DIR/closed.png (the wall gone after the close).
// Exits 0 when every step happened.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "ExampleSetup.h"
#include "HeadlessScreen.h"
#include "ads/ZividedirWallView.h"
#include "ads/adapters/ZIZRadWallWebView.h"
#include "ads/base/ADFRAdvertisingIdentifier.h"
#include "platform/media/GLContext.h"
#include "platform/ui/Button.h"
#include "platform/ui/Window.h"

namespace {

// The wall's media id, as the ad server's console gave it.
constexpr const char* kWallMediaId = "7a11c0de5a11c0de7a11c0de";

struct WallEvents : ZividedirWallViewDelegate {
    void zividedirViewDidFinishLoad(ZividedirWallView&) override { shown = true; }
    void zividedirViewAdFailed(ZividedirWallView&) override { failed = true; }
    void zividedirViewAdTapped(ZividedirWallView&) override { tapped = true; }
    void zividedirViewAdClose(ZividedirWallView&) override { closed = true; }
    bool shown = false;
    bool failed = false;
    bool tapped = false;
    bool closed = false;
};

// The middle of the first offer's link, once the page and its pictures are in: "x,y" in the page.
constexpr const char* kFirstOfferScript =
    "(() => { if (document.readyState !== 'complete') return '';"
    " if (!Array.from(document.images).every(i => i.complete)) return '';"
    " const a = document.querySelector('a[href*=\"offer=\"]'); if (!a) return '';"
    " const r = a.getBoundingClientRect(); if (r.width < 1 || r.height < 1) return '';"
    " return Math.round(r.left + r.width / 2) + ',' + Math.round(r.top + r.height / 2); })()";

int fail(const char* what) {
    std::fprintf(stderr, "ads_wall: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each step's line shows as it happens, also in a pipe
    ExampleSetup setup;
    std::string why;
    if (!setUpExample(argc, argv, "ads_wall", true, setup, why)) return fail(why.c_str());
    ADFRPlatformAdvertisingIdentifier::registerClass();
    const std::filesystem::path captures = setup.captures;
    std::filesystem::create_directories(captures);

    auto gl = plat::GLContext::createHeadless(HeadlessScreen::kWidth, HeadlessScreen::kHeight);
    if (!gl || !gl->makeCurrent()) return fail("no headless GL context (EGL on Mesa is needed)");
    auto window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
    auto root = std::make_shared<plat::View>(plat::Rect{0, 0, 320, 568});
    window->addSubview(root);
    window->makeKeyAndVisible();
    HeadlessScreen screen("ads_wall", *gl, *window);

    // The wall over the whole screen; the root view keeps it until it closes itself.
    auto events = std::make_shared<WallEvents>();
    std::weak_ptr<ZividedirWallView> wall;
    {
        auto made = ZividedirWallView::create();
        made->setDelegate(events);
        made->setAppId(kWallMediaId);
        root->addSubview(made);
        made->startShowAd();
        wall = made;
    }
    if (!screen.runUntil([&] { return events->shown || events->failed; }) || !events->shown)
        return fail("the wall showed no offers");
    std::printf("ads_wall: the wall shows its offers\n");

    // Where the first offer is, once its page has settled.
    auto shown = wall.lock();
    auto* page = shown ? dynamic_cast<ZIZRadWallWebView*>(shown->webView().get()) : nullptr;
    if (!page || !page->webView()) return fail("the wall has no offer page");
    page->setDelegate(events);  // to hear of the tap
    const std::string where = screen.runUntilPageAnswers(*page->webView(), kFirstOfferScript);
    if (where.empty()) return fail("the wall's page shows no offer");
    screen.runFrames(30);  // the panel's fade-in
    if (!screen.runUntilPagesPainted()) return fail("the wall's page did not paint its offers");
    if (!screen.capture(captures / "wall.png")) return fail("no wall capture");
    std::printf("ads_wall: the user sees the offers\n");

    const size_t comma = where.find(',');
    const plat::Point inPage{std::stod(where.substr(0, comma)), std::stod(where.substr(comma + 1))};
    const plat::Point at = page->webView()->convertPointToView(inPage, nullptr);
    screen.tap(at);
    if (!screen.runUntil([&] { return events->tapped; })) return fail("the tap on the offer did nothing");
    std::printf("ads_wall: the user tapped an offer\n");

    // The user closes the wall.
    if (!shown->closeButton()) return fail("the wall has no close button");
    const plat::Rect button = shown->closeButton()->bounds();
    const plat::Point close = shown->closeButton()->convertPointToView(
        {button.x + button.width / 2, button.y + button.height / 2}, nullptr);
    page = nullptr;
    shown.reset();
    screen.tap(close);
    if (!screen.runUntil([&] { return events->closed; })) return fail("the wall did not close");
    screen.runFrames(30);
    if (!wall.expired()) return fail("the closed wall is still alive");
    if (!screen.capture(captures / "closed.png")) return fail("no capture after the close");

    std::printf("ads_wall: wall shown, offer tapped, wall closed; captures in %s\n", captures.c_str());
    return 0;
}
