#pragma once
// The adapter of the Gamefeat network (key "1065"): asks the network's server for one custom ad (a link
// and an image), wraps both in a small page and shows it as the HTML adapter does, which also reports
// the impression and the click and tells by its blank test whether the ad has content. At most one
// request per adapter. Main thread only.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "ads/adapters/ZIZRadWebView.h"
#include "platform/net/URLConnection.h"

class ADFRJSAdEntity;

class ADFRGamefeatView : public ZIZRadWebView {
  public:
    static constexpr const char* kClassName = "ADFRGamefeatView";
    static constexpr const char* kPath = "/webapi/v1/requestCustomAds/";
    static constexpr double kTimeoutSeconds = 3.0;

    explicit ADFRGamefeatView(plat::Rect frame);

    std::string className() const override { return kClassName; }
    void setting(const ZividedirAdapterSettings& settings) override;
    void loadAd() override;
    // Shows `htmlTag` as the HTML adapter's page.
    virtual void finishLoad();

    static std::string md5WithString(const std::string& text);
    static std::string sha1WithString(const std::string& text);
    // The page that shows an image ad: the image, linked to `link`, centred on white.
    static std::string page(const std::string& link, const std::string& image);
    // The link target ("url") and image address ("img") of an answer; empty texts when the answer is no
    // JSON object or a member is missing or not text.
    static std::pair<std::string, std::string> linkAndImage(const plat::Bytes& answer);

    const std::shared_ptr<ADFRJSAdEntity>& entity() const { return entity_; }
    void setEntity(std::shared_ptr<ADFRJSAdEntity> entity) { entity_ = std::move(entity); }
    int32_t adSize() const { return adSize_; }
    void setAdSize(int32_t size) { adSize_ = size; }
    bool loadCheckFlg() const { return loadCheckFlg_; }
    void setLoadCheckFlg(bool on) { loadCheckFlg_ = on; }
    const std::shared_ptr<plat::URLConnection>& getAdConnection() const { return getAdConnection_; }
    const std::string& htmlTag() const { return htmlTag_; }
    void setHtmlTag(std::string html) { htmlTag_ = std::move(html); }

  private:
    std::shared_ptr<ADFRJSAdEntity> entity_;
    int32_t adSize_ = 10;
    bool loadCheckFlg_ = false;
    std::shared_ptr<plat::URLConnection> getAdConnection_;
    std::string htmlTag_;
};
