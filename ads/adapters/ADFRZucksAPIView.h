#pragma once
// The adapter of the Zucks network (key "1035"). With the entity's wall type "2" it asks the network's
// ad API for an ad, once the shared IP manager knows the device's address and user agent, and shows
// the answer's HTML or image ad; with any other wall type it shows the setting's HTML like the plain
// HTML adapter. It decides by itself whether it has content, and on display it calls the network's
// impression address before the ad server's report. Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "ads/adapters/ZIZRadWebView.h"
#include "platform/net/URLConnection.h"

class ADFRIpApiManager;
class ADFRJSAdEntity;

class ADFRZucksAPIView : public ZIZRadWebView {
  public:
    static constexpr const char* kClassName = "ADFRZucksAPIView";
    static constexpr const char* kPath = "/opt/api/v2";
    static constexpr double kTimeoutSeconds = 5.0;
    static constexpr double kImpressionTimeoutSeconds = 10.0;

    // The members of an API answer; absent ones stay none.
    struct Answer {
        std::optional<std::string> landingUrl, impUrl, altText, status, type, imgSrc, htmlSrc;
    };

    explicit ADFRZucksAPIView(plat::Rect frame);

    std::string className() const override { return kClassName; }
    void setting(const ZividedirAdapterSettings& settings) override;
    void loadAd() override;
    void finishIpManager(ADFRIpApiManager& manager);
    // Ends a load; a page from the answer goes to the web view.
    virtual void finishLoad();
    // No blank test: the answer alone tells.
    bool checkDisplayAd() override { return displayFlg_; }
    void postAdDisplayed() override;

    // The string members of an answer; nothing when it is no JSON object.
    static std::optional<Answer> parseAnswer(const plat::Bytes& bytes);
    // The page an answer gives: its HTML, or the image page; none unless its status is "ok".
    static std::optional<std::string> pageOf(const Answer& answer);

    const std::shared_ptr<ADFRJSAdEntity>& entity() const { return entity_; }
    void setEntity(std::shared_ptr<ADFRJSAdEntity> entity) { entity_ = std::move(entity); }
    const std::shared_ptr<ADFRIpApiManager>& ipManager() const { return ipManager_; }
    bool loadCheckFlg() const { return loadCheckFlg_; }
    bool displayFlg() const { return displayFlg_; }
    bool iconFlg() const { return iconFlg_; }
    void setIconFlg(bool on) { iconFlg_ = on; }
    const std::shared_ptr<plat::URLConnection>& getAdConnection() const { return getAdConnection_; }
    // Empty when none.
    std::string htmlTag() const { return htmlTag_.value_or(""); }
    // The last answer's members.
    const Answer& answer() const { return answer_; }

  private:
    // Merges a finished answer into the one kept and shows its page.
    void showAnswer(const plat::Bytes& body);
    std::shared_ptr<ADFRJSAdEntity> entity_;
    std::shared_ptr<ADFRIpApiManager> ipManager_;
    bool loadCheckFlg_ = false;
    bool displayFlg_ = false;
    bool iconFlg_ = false;
    std::shared_ptr<plat::URLConnection> getAdConnection_;
    std::optional<std::string> htmlTag_;
    Answer answer_;
};
