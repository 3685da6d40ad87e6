#pragma once
// The real-time-bidding adapter (network key "1075"): once the shared IP and user-agent lookup is done it
// posts a bid request to the exchange, shows the winning bid's image and link, and after display sends
// the ad server's impression report (with the revenue and the bid id) and the network's impression
// notice, whose URL carries the winning price as a price token. The price step and the reports run on
// "ziz.api.scaleout" queues of their own; everything else on the main thread.
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ads/adapters/ZIZRadWebView.h"
#include "ads/base/ADFRBaseRecURLReformer.h"
#include "ads/base/ADFRWorkQueues.h"
#include "platform/base/Value.h"

class ADFRIpApiManager;
class ADFRJSAdEntity;

namespace plat {
class URLConnection;
}  // namespace plat

class ADFRScaleoutAPIView : public ZIZRadWebView {
  public:
    static constexpr const char* kClassName = "ADFRScaleoutAPIView";
    static constexpr const char* kNetworkKey = "1075";
    static constexpr const char* kBidPath = "/rtb/bid";
    static constexpr const char* kBidQuery = "?id=63052&posall=RTB&proto=adfuri";
    static constexpr const char* kPricePath = "/get-rtb-encrypted-price.php";
    static constexpr const char* kPriceTokensResource = "rtb_price_tokens.txt";
    static constexpr const char* kPriceMacro = "${SSP_WINNING_PRICE}";
    static constexpr const char* kBlackPage = "<html><body bgcolor=black></body></html>";
    static constexpr double kBidTimeoutSeconds = 5;
    static constexpr double kPriceTimeoutSeconds = 5;
    static constexpr size_t kPriceTokenCount = 2001;
    static constexpr size_t kPriceTokenLength = 12;
    static constexpr size_t kMaxAnswerBytes = 1u << 20;

    // What a bid request is made of, gathered on the main thread.
    struct BidInputs {
        plat::Value::Dictionary param;
        std::string bidId, impId, appId, domain, ip, ua, language, ifa;
    };
    // The winning bid of an answer.
    struct Bid {
        std::string price;  // as text
        std::string sid, impUrl, imgUrl, clickUrl;
    };

    explicit ADFRScaleoutAPIView(plat::Rect frame);
    ~ADFRScaleoutAPIView() override;
    std::string className() const override { return kClassName; }

    void setting(const ZividedirAdapterSettings& settings) override;
    void loadAd() override;
    void finishIpManager(ADFRIpApiManager& manager);
    void finishLoad();
    std::string displayHTML();
    // On a worker: the price token into the network's URL, "rev" and "sid" into the report.
    void setEncryptedPrice(const std::string& price, const std::string& impUrl, const std::string& sid);
    void reformRecImpParam(const std::string& url, const std::string& sid, double price);
    void postAdDisplayed() override;
    // The price-token table: 2001 tokens when the resource holds them, else empty.
    std::vector<std::string> getEncryptList() const;

    // The bid request's JSON text; none when it cannot be written.
    static std::optional<std::string> bidBody(const BidInputs& inputs);
    // The winning bid of an answer's text; none without seatbid, bid or price.
    static std::optional<Bid> parseBid(const std::string& answer);
    static std::string pageHtml(const std::string& bgColor, const std::string& link,
                                const std::string& image);
    // The tokens of a table file (one a line); empty unless it holds 2001 tokens of 12 characters.
    static std::vector<std::string> readEncryptList(const std::filesystem::path& file);

    bool loadCheckFlg() const { return loadCheckFlg_; }
    bool loadedFlg() const;
    int adSize() const { return adSize_; }
    void setAdSize(int size) { adSize_ = size; }
    const std::shared_ptr<ADFRJSAdEntity>& entity() const { return entity_; }
    const std::string& htmlTag() const { return htmlTag_; }
    const plat::Value::Dictionary& param() const { return param_; }
    const std::optional<std::string>& adDataBgColor() const { return adDataBgColor_; }
    const std::string& deviceID() const { return deviceID_; }
    const std::shared_ptr<ADFRIpApiManager>& ipManager() const { return ipManager_; }
    const std::shared_ptr<plat::URLConnection>& getAdConnection() const { return getAdConnection_; }
    std::string impUrl() const;
    std::string adnetworkImpUrl() const;
    std::optional<std::string> recImpressionValue(const std::string& key) const;

  private:
    // The price token of a reduced price: the table's entry, or the price-token service's answer.
    std::optional<std::string> priceToken(double reduced, const std::vector<std::string>& table) const;
    struct Report {
        std::string impressionFormat;  // the report URL before reforming
        std::string ua;
        int64_t sinceMicros = 0;  // the shared clock's monotonic time when the display was reported
    };
    void waitPostAdDisplayed(const Report& report);
    void postAdDisplayedCall(const Report& report);

    bool loadCheckFlg_ = false;
    int adSize_ = 15;
    std::shared_ptr<ADFRJSAdEntity> entity_;
    std::shared_ptr<plat::URLConnection> getAdConnection_;
    std::string htmlTag_;
    std::shared_ptr<ADFRIpApiManager> ipManager_;
    plat::Value::Dictionary param_;
    std::optional<std::string> adDataBgColor_;
    std::string deviceID_;
    // Shared with the workers: guarded, and the waiter wakes when it changes.
    mutable std::mutex mutex_;
    // Where the price step finds its table and service, fixed on the main thread.
    std::filesystem::path priceTokensFile_;
    std::string priceServiceURL_;
    std::string priceServiceCAFile_;
    std::condition_variable changed_;
    bool loadedFlg_ = false;
    std::shared_ptr<ADFRRecImpressionURLReformer> recImpressionURLReformer_;
    std::string impUrl_;
    std::string adnetworkImpUrl_;
    // Last, so its workers end first.
    ADFRWorkQueues workQueues_;
};
