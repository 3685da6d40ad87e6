#pragma once
// Shared pieces of the ad SDK's tests: settings answers and a registered advertising-id provider.
#include <memory>
#include <string>

#include "ads/ADFRAdvertisingIdentifier.h"
#include "ads/ADFRBase64Util.h"
#include "platform/base/ClassRegistry.h"

namespace adstest {

// One "settings" entry with the given weights (JSON text of the "weight" object).
inline std::string entry(const std::string& userAdId, const std::string& weight,
                         const std::string& html = "<p>ad</p>", const std::string& extra = "") {
    return R"({"user_ad_id": ")" + userAdId + R"(", "weight": )" + weight + R"(, "html": ")" +
           ADFRBase64Util::base64StringFromString(html).c_str() + "\"" + extra + "}";
}

inline std::string answer(const std::string& settings,
                          const std::string& extra = R"("bg_color": "#000000", )") {
    return R"({"result": "ok", )" + extra + R"("cycle_time": 30, "ta_off": 1, "settings": [)" + settings +
           "]}";
}

class FixedIdProvider : public ADFRAdvertisingIdentifierProvider {
  public:
    FixedIdProvider(bool enabled, const char* id) : enabled_(enabled), id_(*plat::Uuid::parse(id)) {}
    bool isAdvertisingTrackingEnabled() const override { return enabled_; }
    plat::Uuid advertisingIdentifier() const override { return id_; }

  private:
    bool enabled_;
    plat::Uuid id_;
};

// Registers a provider under the platform's class name for its lifetime.
class ScopedIdProvider {
  public:
    ScopedIdProvider(bool enabled, const char* id)
        : scope_(plat::ClassRegistry::shared(), ADFRAdvertisingIdentifierProvider::kClassName) {
        plat::ClassRegistry::shared().registerProvider<ADFRAdvertisingIdentifierProvider>(
            ADFRAdvertisingIdentifierProvider::kClassName, std::make_shared<FixedIdProvider>(enabled, id));
    }

  private:
    plat::ClassRegistry::Scoped scope_;
};

}  // namespace adstest
