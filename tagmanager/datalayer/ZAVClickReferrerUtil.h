#pragma once
// Referrers of the URLs that opened the app, remembered per conversion id ("conv") in memory and in the
// property-list file "ClickReferrer", for the click-referrer macro to look up.
#include <map>
#include <optional>
#include <string>

#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/values/ZAVObject.h"

class ZAVClickReferrerUtil {
  public:
    ZAVClickReferrerUtil() = delete;
    // Stores the referrer under its "conv" component; one without a conversion id is ignored.
    static void addClickReferrer(const std::string& referrer);
    // The stored referrer for the id, or one component of it; empty when there is none.
    static std::optional<std::string> clickReferrerForConversionId(
        const std::string& conversionId, const std::optional<std::string>& component);
    // No component: the referrer itself unless empty.
    static std::optional<std::string> extractComponent(const std::optional<std::string>& component,
                                                       const std::optional<std::string>& referrer);
    // "k=v&k2=v2", each side percent-decoded; malformed parts are logged and skipped.
    static std::map<std::string, std::string> parseComponentsFromQueryParameters(const std::string& query);
    // Drops the in-memory map; the next store reloads it from the file.
    static void clearCache();
};

// Feeds the referrer of every URL pushed to the data layer ("vuz.url", or "url" inside "vuz").
class ZAVAdnetClickReferrerListener final : public ZAVDataLayerListener {
  public:
    void changed(const ZAVObjectPtr& update) override;
};
