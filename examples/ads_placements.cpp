// The ad SDK's app placements, as an app shows them: a banner at the bottom of the screen and, a moment
// later, an interstitial popup over it, whose close button the user taps; then a second banner at the
// top whose ads come from two ad networks (a bidding exchange and Millennial Media). The app here has
// no game: its frames are HeadlessScreen's.
//
//   ads_placements --endpoints FILE --captures DIR [--home DIR]
//
// Writes DIR/banner.png (the banner showing), DIR/popup.png (the popup over it) and DIR/closed.png (the
// popup gone after the tap). Exits 0 when all steps happened, the top banner's swap to its second
// network's ad included.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "ExampleSetup.h"
#include "HeadlessScreen.h"
#include "ads/ZividedirPopupView.h"
#include "ads/ZividedirView.h"
#include "ads/base/ADFRAdvertisingIdentifier.h"
#include "ads/base/ADFRRandom.h"
#include "platform/media/GLContext.h"
#include "platform/ui/Button.h"
#include "platform/ui/Window.h"

namespace {

// The app's media ids, as the ad server's console gave them.
constexpr const char* kBannerMediaId = "a1b2c3d4e5f60718293a4b5c";
constexpr const char* kPopupMediaId = "0f1e2d3c4b5a69788796a5b4";
// The top banner's: its settings hold one ad of the bidding exchange and one of Millennial Media.
constexpr const char* kNetworksMediaId = "b1dde2b1dde2b1dde2b1dde2";

struct BannerEvents : ZividedirViewDelegate {
    void zividedirViewDidFinishLoad(const std::shared_ptr<ZividedirView>&) override { ++shown; }
    int shown = 0;  // the first ad, then one more at each swap
};

struct PopupEvents : ZividedirPopupViewDelegate {
    void zividedirViewDidFinishLoad(ZividedirPopupView&) override { shown = true; }
    void zividedirViewAdFailed(ZividedirPopupView&) override { failed = true; }
    void zividedirViewAdClose(ZividedirPopupView&) override { closed = true; }
    bool shown = false;
    bool failed = false;
    bool closed = false;
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
    // The ads name this install by its advertising id (see the README on limiting tracking).
    ADFRPlatformAdvertisingIdentifier::registerClass();
    const std::string& captures = setup.captures;
    std::filesystem::create_directories(captures);

    auto gl = plat::GLContext::createHeadless(HeadlessScreen::kWidth, HeadlessScreen::kHeight);
    if (!gl || !gl->makeCurrent()) return fail("no headless GL context (EGL on Mesa is needed)");
    auto window = std::make_shared<plat::Window>(plat::Rect{0, 0, 320, 568});
    auto root = std::make_shared<plat::View>(plat::Rect{0, 0, 320, 568});
    window->addSubview(root);
    window->makeKeyAndVisible();
    HeadlessScreen screen("ads_placements", *gl, *window);

    // The banner along the bottom edge.
    auto bannerEvents = std::make_shared<BannerEvents>();
    auto banner = ZividedirView::create(plat::Rect{0, 568 - 50, 320, 50});
    banner->setAppID(kBannerMediaId);
    banner->setDelegate(bannerEvents);
    root->addSubview(banner);
    banner->startShowAd();
    if (!screen.runUntil([&] { return bannerEvents->shown > 0; })) return fail("the banner showed no ad");
    std::printf("ads_placements: the banner shows an ad\n");
    if (!screen.runUntilPagesPainted()) return fail("the banner's page was not painted");
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
    if (!screen.runUntilPagesPainted()) return fail("the popup's page was not painted");
    if (!screen.capture(std::filesystem::path(captures) / "popup.png")) return fail("no popup capture");

    // The user taps the close button.
    auto shown = popup.lock();
    if (!shown || !shown->closeNewButton()) return fail("the popup has no close button");
    const plat::Rect button = shown->closeNewButton()->bounds();
    const plat::Point tap = shown->closeNewButton()->convertPointToView(
        {button.x + button.width / 2, button.y + button.height / 2}, nullptr);
    shown.reset();
    screen.tap(tap);
    if (!screen.runUntil([&] { return popupEvents->closed; })) return fail("the popup did not close");
    screen.runFrames(10);
    if (!screen.runUntilPagesPainted()) return fail("the banner's page was not painted after the close");
    if (!screen.capture(std::filesystem::path(captures) / "closed.png"))
        return fail("no capture after the close");
    std::printf("ads_placements: the user closed the popup\n");

    // A banner along the top edge whose ads come from the two networks. The SDK draws its ads by weight;
    // taken in turn, the draws give this banner's first ad and the one it loads behind it one from each
    // of its two equally weighted networks, so both networks are asked in every run.
    ADFRRandom::setDrawSource([next = std::make_shared<uint32_t>(0)] { return (*next)++; });
    auto networkEvents = std::make_shared<BannerEvents>();
    auto networks = ZividedirView::create(plat::Rect{0, 0, 320, 50});
    networks->setAppID(kNetworksMediaId);
    networks->setDelegate(networkEvents);
    root->addSubview(networks);
    networks->startShowAd();
    // The swap happens once the ad behind has loaded: then both networks have answered.
    if (!screen.runUntil([&] { return networkEvents->shown >= 2; }))
        return fail("the top banner did not swap to its second network's ad");
    std::printf("ads_placements: the top banner showed both networks' ads\n");

    std::printf("ads_placements: banners shown, popup shown and closed; captures in %s\n", captures.c_str());
    return 0;
}
