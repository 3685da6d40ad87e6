#pragma once
// The adapter that shows an ad setting's HTML in a web view (ZIZRadWebView), and its popup variant
// (ZIZRadWebPopupView). It reports the impression and the click to the ad server, opens tapped links
// outside the app, and tells by sampling pixels whether the rendered ad is blank. Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/adapters/ZIZRadTapGrant.h"
#include "ads/adapters/ZividedirInterfaceView.h"
#include "ads/base/ZIZRadWebDelegate.h"

namespace plat {
class WebView;
class Image;
class URLRequest;
}  // namespace plat
class ZividedirBaseView;

class ZIZRadWebView : public ZividedirInterfaceView, public ZividedirLoadReporting {
  public:
    static constexpr const char* kClassName = "ZIZRadWebView";
    static constexpr const char* kPackagePlaceholder = "[ZIZ_PACKAGE]";
    static constexpr const char* kImpressionPath = "/zividedir/api/rec-impression";
    static constexpr const char* kClickPath = "/zividedir/api/rec-click";
    static constexpr double kReportTimeoutSeconds = 10;

    explicit ZIZRadWebView(plat::Rect frame);
    ~ZIZRadWebView() override;

    void setting(const ZividedirAdapterSettings& settings) override;
    std::string className() const override { return kClassName; }
    void loadAd() override;
    bool checkDisplayAd() override;
    // Until the first page load ends, successfully or not.
    bool isLoadingAd() const override { return finishCnt_ == 0; }
    void postAdDisplayed() override;
    void postAdClicked() override;
    std::shared_ptr<plat::ImageView> getScreenImageView() override;
    // Only a touch that the window delivers to the ad (the adapter or its web view) grants its page a way
    // out; hidden, or taking no touches, the ad is delivered none.
    void touchesBegan(const plat::TouchSet& touches, const plat::Event& event) override;
    void touchesMoved(const plat::TouchSet& touches, const plat::Event& event) override;
    void touchesEnded(const plat::TouchSet& touches, const plat::Event& event) override;
    void touchesCancelled(const plat::TouchSet& touches, const plat::Event& event) override;
    // The navigation decision (the web view's type numbering).
    bool shouldStartLoad(const std::string& url, int navigationType);

    // Not retained; only popup and wall placements hand one over.
    void setParentView(const std::shared_ptr<ZividedirBaseView>& parent) override { parentView_ = parent; }
    std::shared_ptr<ZividedirBaseView> parentView() const { return parentView_.lock(); }

    // The blank test on raw pixels (4 bytes each, rows of `width` pixels): true when a sampled pixel of
    // the middle row differs from the first sample.
    static bool sampledRowHasContent(const uint8_t* pixels, int width, int height);
    // The impression and click report URLs (plain http, values inserted as they are).
    static std::string impressionURL(const std::string& appId, const std::string& userAdId,
                                     const std::string& uid, const std::string& locale);
    static std::string clickURL(const std::string& appId, const std::string& userAdId, const std::string& uid,
                                const std::string& locale);
    // Both placeholders replaced.
    static std::string substitutePlaceholders(const std::string& html);
    // Outside the app: the running application's opener, or a plain one (it prints the address) when the
    // SDK runs without an application.
    static void openOutside(const std::string& url);
    // A report nobody waits for.
    static void sendReport(const plat::URLRequest& request);
    // Takes an adapter's web view away as the adapter goes.
    static void letGo(std::shared_ptr<plat::WebView>& webView);

    const std::shared_ptr<plat::WebView>& webView() const { return webView_; }
    const std::string& loadHtml() const { return loadHtml_; }
    void setLoadHtml(std::string html) { loadHtml_ = std::move(html); }
    const std::string& appId() const { return appId_; }
    const std::optional<std::string>& userAdId() const { return userAdId_; }
    const std::optional<std::string>& deviceId() const { return deviceId_; }
    const std::string& adnetworkKey() const { return adnetworkKey_; }
    bool testMode() const { return testMode_; }
    void setTestMode(bool on) { testMode_ = on; }
    bool htmlLoaded() const { return htmlLoaded_; }
    bool mainPictureFailed() const { return mainPictureFailed_; }
    // The loaded page was asked whether its main picture failed, and answered.
    bool mainPictureKnown() const { return htmlLoaded_ && !mainPictureUnknown_; }
    // A touch landed inside the loaded ad, and its one way out (a click, or a move off the ad server) is
    // still unused and has not lapsed.
    bool needsPostAdClicked() const;
    virtual int32_t shouldCnt() const { return shouldCnt_; }
    virtual int32_t finishCnt() const { return finishCnt_; }

  protected:
    friend class ZIZRadWebDelegate<ZIZRadWebView>;
    void didFinishLoad();
    void didFailLoad();
    static void switchOffBouncing(plat::View& view);

    std::shared_ptr<plat::WebView> webView_;
    std::shared_ptr<plat::WebViewDelegate> webDelegate_;

  private:
    class TouchedWebView;

    void sendReport(const std::string& url) const;
    // The grant hears of each touch that the adapter or its web view takes.
    void heardOfTouch(plat::Touch::Phase phase);

    std::string loadHtml_;
    std::weak_ptr<ZividedirBaseView> parentView_;
    std::string appId_;
    std::optional<std::string> userAdId_;
    std::optional<std::string> deviceId_;
    std::string adnetworkKey_;
    bool testMode_ = false;
    bool htmlLoaded_ = false;
    // The page's main picture (its largest image) failed to load: the page is no ad, whatever its pixels.
    bool mainPictureFailed_ = false;
    bool mainPictureUnknown_ = false;
    uint64_t loadSerial_ = 0;
    ZIZRadTapGrant grant_;
    int32_t shouldCnt_ = 0;
    int32_t finishCnt_ = 0;
};

class ZIZRadWebPopupView : public ZIZRadWebView {
  public:
    static constexpr const char* kClassName = "ZIZRadWebPopupView";
    explicit ZIZRadWebPopupView(plat::Rect frame);
    // No pixel test in the popup.
    bool checkDisplayAd() override { return true; }
    std::string className() const override { return kClassName; }
    // The popup's own counters, which nothing advances.
    int32_t shouldCnt() const override { return popupShouldCnt_; }
    int32_t finishCnt() const override { return popupFinishCnt_; }

  private:
    int32_t popupShouldCnt_ = 0;
    int32_t popupFinishCnt_ = 0;
};
