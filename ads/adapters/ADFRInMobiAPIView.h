#pragma once
// The adapter of the InMobi network (key "1003"). The setting's HTML is the network's tag: the adapter
// reads the site id out of it and, once the shared IP manager knows the device's address and user
// agent, asks the network's ad API with a JSON request and shows the HTML that comes back. Serves the
// banner and the popup (which picks the ad size). Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/adapters/ZIZRadWebView.h"
#include "platform/net/URLConnection.h"

class ADFRIpApiManager;
class ADFRJSAdEntity;

class ADFRInMobiAPIView : public ZIZRadWebView, public ZividedirAdSizing {
  public:
    static constexpr const char* kClassName = "ADFRInMobiAPIView";
    static constexpr const char* kPath = "/showad/v2";
    static constexpr const char* kScriptPath = "/ad/inmobi.js";
    static constexpr const char* kNoAdComment = "<!-- mKhoj: No advt for this position -->";
    static constexpr double kTimeoutSeconds = 3.0;

    explicit ADFRInMobiAPIView(plat::Rect frame);

    std::string className() const override { return kClassName; }
    void setting(const ZividedirAdapterSettings& settings) override;
    void loadAd() override;
    void finishIpManager(ADFRIpApiManager& manager);
    // Shows `htmlTag` as the HTML adapter's page.
    virtual void finishLoad();

    // The site id of a tag that loads the network's script; none otherwise.
    static std::optional<std::string> siteIdOfTag(const std::string& html);
    // The request body. Every text goes in escaped as JSON needs it; ordinary values stay as they are.
    static std::string requestBody(int32_t adSize, const std::string& siteId, const std::string& ip,
                                   const std::string& ua, const std::optional<std::string>& advertisingId);
    // True for the network's "no ad" answer (spaces and tabs around it allowed, line breaks not).
    static bool isNoAdAnswer(const std::string& text);

    int32_t adSize() const { return adSize_; }
    void setAdSize(int size) override { adSize_ = size; }
    const std::shared_ptr<ADFRJSAdEntity>& entity() const { return entity_; }
    void setEntity(std::shared_ptr<ADFRJSAdEntity> entity) { entity_ = std::move(entity); }
    const std::shared_ptr<ADFRIpApiManager>& ipManager() const { return ipManager_; }
    bool loadCheckFlg() const { return loadCheckFlg_; }
    const std::shared_ptr<plat::URLConnection>& getAdConnection() const { return getAdConnection_; }
    const std::string& htmlTag() const { return htmlTag_; }

  private:
    std::shared_ptr<ADFRJSAdEntity> entity_;
    std::shared_ptr<ADFRIpApiManager> ipManager_;
    bool loadCheckFlg_ = false;
    int32_t adSize_ = 15;
    std::shared_ptr<plat::URLConnection> getAdConnection_;
    std::string htmlTag_;
};
