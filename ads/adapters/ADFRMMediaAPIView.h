#pragma once
// The adapter of the Millennial Media network (key "1060"): once the shared IP manager knows the
// device's address and user agent, it asks the network's ad server with the setting's placement id and
// a hashed advertising id, wraps the returned markup in a fixed page and shows it. Serves the banner and
// the popup. Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/adapters/ZIZRadWebView.h"
#include "platform/net/URLConnection.h"

class ADFRIpApiManager;
class ADFRJSAdEntity;

class ADFRMMediaAPIView : public ZIZRadWebView {
  public:
    static constexpr const char* kClassName = "ADFRMMediaAPIView";
    static constexpr const char* kPath = "/getAd";
    static constexpr double kTimeoutSeconds = 3.0;

    explicit ADFRMMediaAPIView(plat::Rect frame);

    std::string className() const override { return kClassName; }
    void setting(const ZividedirAdapterSettings& settings) override;
    void loadAd() override;
    void finishIpManager(ADFRIpApiManager& manager);
    // Shows `htmlTag` as the HTML adapter's page.
    virtual void finishLoad();

    static std::string md5WithString(const std::string& text);
    static std::string sha1WithString(const std::string& text);
    // The path and query of the ad request.
    static std::string requestPath(const std::string& apid, const std::string& advertisingId,
                                   const std::string& ua, const std::string& ip);
    // The answer's markup in the fixed page.
    static std::string page(const std::string& markup);

    int32_t adSize() const { return adSize_; }
    void setAdSize(int32_t size) { adSize_ = size; }
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
    int32_t adSize_ = 15;  // not sent to this network
    std::shared_ptr<plat::URLConnection> getAdConnection_;
    std::string htmlTag_;
};
