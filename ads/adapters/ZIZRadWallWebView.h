#pragma once
// The wall adapters: the content of the offer wall below its toolbar, a web view that shows one offer
// list. ZIZRadWallWebView itself shows the not-found page; ZIZRadWallAdCrops fetches the ad crops offer
// list and shows it in one of the two offer pages; ZIZRadWallHTMView shows the setting's HTML and
// ZIZRadWallRequest the page at the URL the setting holds. Each tells the wall when its first page has
// loaded or a page failed, and closes the wall on a back navigation off the site. Main thread only.
#include <cstdint>
#include <memory>
#include <string>

#include "ads/adapters/ZividedirInterfaceView.h"
#include "ads/adapters/ZividedirWallJsonEntity.h"
#include "ads/base/ZIZRadWebDelegate.h"
#include "ads/base/ZividedirWallViewDelegate.h"

class ADFRJSAdEntity;
namespace plat {
class WebView;
}

class ZIZRadWallWebView : public ZividedirInterfaceView, public ZividedirLoadReporting {
  public:
    static constexpr const char* kClassName = "ZIZRadWallWebView";
    static constexpr double kClickReportTimeoutSeconds = 10;

    explicit ZIZRadWallWebView(plat::Rect frame);
    ~ZIZRadWallWebView() override;

    // Registers the four wall adapter classes under their names.
    static void registerClasses();

    void setting(const ZividedirAdapterSettings& settings) override;
    void loadAd() override;
    void zividedirWallNotFound();
    void postAdDisplayed() override;
    void postAdClicked() override;
    std::string className() const override { return kClassName; }

    // Not retained here: the wall holds its adapter, and drops it when it closes.
    void setParentView(const std::shared_ptr<ZividedirBaseView>& parent) override;
    std::shared_ptr<ZividedirWallHost> parentView() const { return parentView_.lock(); }
    // Not retained; hears of tapped offers. Nothing sets it unless the host does.
    std::shared_ptr<ZividedirWallViewDelegate> wallDelegate() const { return wallDelegate_.lock(); }
    void setDelegate(const std::shared_ptr<ZividedirWallViewDelegate>& delegate) { wallDelegate_ = delegate; }

    // The navigation decision (the web view's type numbering).
    bool shouldStartLoad(const std::string& url, int navigationType);
    // Shows `html` with `baseURL` as its base, which becomes the page's own address.
    void loadPage(const std::string& html, const std::string& baseURL);
    void didFinishLoad();
    void didFailLoad();

    // The bundle's resource directory as a file URL (with the closing slash), the offer pages' base.
    static std::string resourceBaseURL();
    // The host part of a URL ("" when it has none), as the navigation decision compares them.
    static std::string hostOf(const std::string& url);

    const std::shared_ptr<plat::WebView>& webView() const { return webView_; }
    const std::string& loadHtml() const { return loadHtml_; }
    const std::string& appId() const { return appId_; }
    const std::string& userAdId() const { return userAdId_; }
    const std::string& deviceId() const { return deviceId_; }
    const std::string& adnetworkKey() const { return adnetworkKey_; }
    void setAdnetworkKey(std::string key) { adnetworkKey_ = std::move(key); }
    bool testMode() const { return testMode_; }
    void setTestMode(bool on) { testMode_ = on; }
    int32_t shouldCnt() const { return shouldCnt_; }
    int32_t finishCnt() const { return finishCnt_; }

  protected:
    friend class ZIZRadWebDelegate<ZIZRadWallWebView>;
    // Asks the engine for the page at `url`.
    void requestPage(const std::string& url);
    std::shared_ptr<plat::WebView> webView_;
    std::shared_ptr<plat::WebViewDelegate> webDelegate_;

  private:
    std::string loadHtml_;
    // What this adapter itself last loaded (the base of its HTML, or the page it requested).
    std::string ownPage_;
    std::weak_ptr<ZividedirWallHost> parentView_;
    std::weak_ptr<ZividedirWallViewDelegate> wallDelegate_;
    std::string appId_;
    std::string userAdId_;
    std::string deviceId_;
    std::string adnetworkKey_;
    bool testMode_ = false;
    int32_t shouldCnt_ = 0;
    int32_t finishCnt_ = 0;
};

// Shows the setting's HTML with the ad server's site root as base.
class ZIZRadWallHTMView : public ZIZRadWallWebView {
  public:
    static constexpr const char* kClassName = "ZIZRadWallHTMView";
    using ZIZRadWallWebView::ZIZRadWallWebView;
    void setting(const ZividedirAdapterSettings& settings) override;
    void loadAd() override;
    std::string className() const override { return kClassName; }
    const std::shared_ptr<ADFRJSAdEntity>& entity() const { return entity_; }

  protected:
    std::shared_ptr<ADFRJSAdEntity> entity_;
};

// Loads the page at the URL that the setting's HTML text holds.
class ZIZRadWallRequest : public ZIZRadWallHTMView {
  public:
    static constexpr const char* kClassName = "ZIZRadWallRequest";
    using ZIZRadWallHTMView::ZIZRadWallHTMView;
    void loadAd() override;
    std::string className() const override { return kClassName; }
};

// The ad crops offer list: the setting's HTML text is the site id; the list is fetched and put into the
// tile or the list page, drawn at random.
class ZIZRadWallAdCrops : public ZIZRadWallHTMView, public ZividedirWallJsonEntityDelegate {
  public:
    static constexpr const char* kClassName = "ZIZRadWallAdCrops";
    static constexpr const char* kListPath = "/ad/p/txt";
    using ZIZRadWallHTMView::ZIZRadWallHTMView;
    ~ZIZRadWallAdCrops() override;
    void loadAd() override;
    std::string className() const override { return kClassName; }
    void zividedirCPIJsonFinish(ZividedirWallJsonEntity& loader) override;
    void zividedirCPIJsonFailed(ZividedirWallJsonEntity& loader) override;

    // The offer list URL for a site id, by the user's first preferred language.
    static std::string listURL(const std::string& siteId);
    const std::shared_ptr<ZividedirWallJsonEntity>& jsonCpi() const { return jsonCpi_; }

  private:
    std::shared_ptr<ZividedirWallJsonEntity> jsonCpi_;
};
