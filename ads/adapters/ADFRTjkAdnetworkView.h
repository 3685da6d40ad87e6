#pragma once
// The house network's adapter (network key "8888"): it asks the house network's getad endpoint for one
// ad item, shows it as a one-image page, reports the impression to the item's own URL and the click to
// the ad server with a signed "adfk" parameter; the landing link carries the same signed parameters.
// Main thread, except the impression report, which waits for the item on the shared worker.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ads/adapters/ZIZRadWebView.h"
#include "ads/base/ADFRWorkQueues.h"
#include "platform/base/Value.h"

class ADFRIpApiManager;
class ADFRJSAdEntity;

namespace plat {
class URLConnection;
}  // namespace plat

class ADFRTjkAdnetworkView : public ZIZRadWebView {
  public:
    static constexpr const char* kClassName = "ADFRTjkAdnetworkView";
    static constexpr const char* kGetadPath = "/zividedirpr/api/getad";
    static constexpr double kGetadTimeoutSeconds = 3;
    // A getad answer is one small JSON object; anything larger is no answer.
    static constexpr size_t kMaxAnswerBytes = 256 * 1024;

    // The item of a getad answer, each value empty when absent.
    struct Item {
        std::string prAdId, url, bnrUrl, movUrl, movFlg, strtDate, endDate, impUrl;
    };

    explicit ADFRTjkAdnetworkView(plat::Rect frame);
    ~ADFRTjkAdnetworkView() override;
    std::string className() const override { return kClassName; }

    void setting(const ZividedirAdapterSettings& settings) override;
    void loadAd() override;
    void finishLoad();
    void postAdDisplayed() override;
    void postAdClicked() override;
    void cancel();
    // The URL with "adfk", "aid", "paid" and "uid" added (path form when `pathInfo`); unchanged without
    // an advertising id.
    std::string addAdfktoURL(const std::string& url, const std::optional<std::string>& idfa,
                             bool pathInfo) const;

    // The first item of a getad answer; none when the answer holds no item.
    static std::optional<Item> parseAnswer(const void* data, size_t size);
    // The one-image page of a link and an image.
    static std::string pageHtml(const std::string& link, const std::string& image);
    // "?aid=...&sdk=2.7.0&lang=...&mode=2&lim=1" after the getad endpoint.
    static std::string getadURL(const std::string& appId);

    bool loadCheckFlg() const { return loadCheckFlg_; }
    bool loadedFlg() const;
    int adSize() const { return adSize_; }
    void setAdSize(int size) { adSize_ = size; }
    const std::shared_ptr<ADFRJSAdEntity>& entity() const { return entity_; }
    const std::string& htmlTag() const { return htmlTag_; }
    const std::string& errorStr() const { return errorStr_; }
    const std::string& prAdId() const { return item_.prAdId; }
    const std::string& url() const { return item_.url; }
    const std::string& bnrUrl() const { return item_.bnrUrl; }
    const std::string& movUrl() const { return item_.movUrl; }
    const std::string& movFlg() const { return item_.movFlg; }
    const std::string& strtDate() const { return item_.strtDate; }
    const std::string& endDate() const { return item_.endDate; }
    std::string impUrl() const;
    const std::string& clkUrl() const { return clkUrl_; }
    const std::shared_ptr<ADFRIpApiManager>& ipManager() const { return ipManager_; }
    const std::shared_ptr<plat::URLConnection>& getAdConnection() const { return getAdConnection_; }

  private:
    // Takes the first item of a finished answer and shows its page.
    void showAnswer(const plat::Bytes& answer);
    // Any connection: a failure ends the load whichever request it was.
    // On the worker: waits for the item, then sends the impression to its URL.
    // `sinceMicros`: the shared clock's monotonic time when the display was reported.
    void waitPostAdDisplayed(const std::optional<std::string>& idfa, int64_t sinceMicros);
    void postAdDisplayedCall(const std::optional<std::string>& idfa);

    bool loadCheckFlg_ = false;
    int adSize_ = 15;
    std::shared_ptr<ADFRJSAdEntity> entity_;
    std::shared_ptr<plat::URLConnection> getAdConnection_;
    std::string htmlTag_;
    std::shared_ptr<ADFRIpApiManager> ipManager_;
    std::string errorStr_;
    Item item_;
    std::string clkUrl_;

    // What the impression worker reads: guarded, and the waiter wakes when it changes.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool loadedFlg_ = false;
    std::string impUrl_;
    // Last, so its workers end first.
    ADFRWorkQueues workQueues_;
};
