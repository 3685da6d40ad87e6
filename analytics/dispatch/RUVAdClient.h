#pragma once
// The platform's install-attribution client, looked up by its class name "ADClient" in the class registry
// (the registered provider is its shared client). Nothing in this system registers one, so attribution is
// off unless an app (or a test) does. A client may answer either query or both; its blocks may run on any
// thread.
#include <functional>
#include <optional>

#include "platform/base/Value.h"

class RUVAdClient {
  public:
    static constexpr const char* kClassName = "ADClient";

    using ConversionDetailsHandler = std::function<void(std::optional<plat::Value::Date> appPurchaseDate,
                                                        std::optional<plat::Value::Date> iAdImpressionDate)>;
    using AttributionHandler = std::function<void(bool appInstallationWasAttributed)>;

    virtual ~RUVAdClient() = default;
    virtual bool respondsToLookupAdConversionDetails() const { return false; }
    virtual void lookupAdConversionDetails(ConversionDetailsHandler) {}
    virtual bool respondsToDetermineAppInstallationAttribution() const { return false; }
    virtual void determineAppInstallationAttributionWithCompletionHandler(AttributionHandler) {}
};
