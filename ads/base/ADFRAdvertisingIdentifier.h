#pragma once
// What the ad SDK asks of the platform's advertising-identifier service. The service is looked up by
// the class name "ASIdentifierManager" as a provider in plat::ClassRegistry: without a registered
// provider there is no advertising id. The app registers the platform's own service
// (ADFRPlatformAdvertisingIdentifier::registerClass) at start, as linking the service makes the class
// present on the phone.
#include "platform/base/Uuid.h"

class ADFRAdvertisingIdentifierProvider {
  public:
    static constexpr const char* kClassName = "ASIdentifierManager";
    virtual ~ADFRAdvertisingIdentifierProvider() = default;
    virtual bool isAdvertisingTrackingEnabled() const = 0;
    // All zeros when there is none.
    virtual plat::Uuid advertisingIdentifier() const = 0;
};

// plat::AdvertisingId behind the provider's interface.
class ADFRPlatformAdvertisingIdentifier : public ADFRAdvertisingIdentifierProvider {
  public:
    bool isAdvertisingTrackingEnabled() const override;
    plat::Uuid advertisingIdentifier() const override;
    // Registers it under kClassName, replacing what was there.
    static void registerClass();
};
