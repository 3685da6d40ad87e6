#pragma once
// The adapter of the Leadbolt network (keys "1058" and "1061"). The setting's HTML is the network's ad
// tag: the adapter reads its parameters out of it and, once the shared IP manager knows the device's
// address and user agent, asks the network's ad feed with them and shows the answer's text as the ad's
// HTML. A new load may start once the previous one ended. Main thread only.
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ads/adapters/ZIZRadWebView.h"
#include "platform/net/URLConnection.h"

class ADFRIpApiManager;
class ADFRJSAdEntity;

class ADFRLeadboltAPIView : public ZIZRadWebView {
  public:
    static constexpr const char* kClassName = "ADFRLeadboltAPIView";
    static constexpr const char* kPath = "/api/ad_feed";
    static constexpr double kTimeoutSeconds = 3.0;
    // The parameters read from the tag, in the order they are sent.
    static constexpr const char* kTagKeys[] = {"section_id", "secret_key", "width",   "height",   "scr_w",
                                               "scr_h",      "lang",       "ad_type", "category", "max_ads"};
    using Pairs = std::vector<std::pair<std::string, std::string>>;

    explicit ADFRLeadboltAPIView(plat::Rect frame);

    std::string className() const override { return kClassName; }
    void setting(const ZividedirAdapterSettings& settings) override;
    void loadAd() override;
    void finishIpManager(ADFRIpApiManager& manager);
    // Ends a load and shows `htmlTag`.
    virtual void finishLoad();

    // The tag's parameters that it holds, in the order of kTagKeys.
    static Pairs tagParameters(const std::string& tag);
    // The request's pairs after "pf": the device's, the tag's and "format", in that order; none when the
    // tag gives no width or no height. `iconFlg` tells whether the ad is square.
    static std::optional<Pairs> requestPairs(const std::string& tag, const std::string& ip,
                                             const std::string& ua, bool* iconFlg);

    const std::shared_ptr<ADFRIpApiManager>& ipManager() const { return ipManager_; }
    bool loadCheckFlg() const { return loadCheckFlg_; }
    const std::shared_ptr<ADFRJSAdEntity>& entity() const { return entity_; }
    void setEntity(std::shared_ptr<ADFRJSAdEntity> entity) { entity_ = std::move(entity); }
    const std::shared_ptr<plat::URLConnection>& getAdConnection() const { return getAdConnection_; }
    const std::string& htmlTag() const { return htmlTag_; }
    bool iconFlg() const { return iconFlg_; }

  private:
    std::shared_ptr<ADFRIpApiManager> ipManager_;
    bool loadCheckFlg_ = false;
    std::shared_ptr<ADFRJSAdEntity> entity_;
    std::shared_ptr<plat::URLConnection> getAdConnection_;
    std::string htmlTag_;
    bool iconFlg_ = false;
};
