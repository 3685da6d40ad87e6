#pragma once
// What the ad SDK asks of the platform's advertising-identifier service. The service is looked up by
// the class name "ASIdentifierManager" as a provider in plat::ClassRegistry; this system has none of its
// own, so without a registered provider there is no advertising id.
#include "platform/base/Uuid.h"

class ADFRAdvertisingIdentifierProvider {
  public:
    static constexpr const char* kClassName = "ASIdentifierManager";
    virtual ~ADFRAdvertisingIdentifierProvider() = default;
    virtual bool isAdvertisingTrackingEnabled() const = 0;
    virtual plat::Uuid advertisingIdentifier() const = 0;
};
