#include "ads/base/ADFRAdvertisingIdentifier.h"

#include <memory>

#include "platform/base/ClassRegistry.h"
#include "platform/storage/AdvertisingId.h"

bool ADFRPlatformAdvertisingIdentifier::isAdvertisingTrackingEnabled() const {
    return plat::AdvertisingId::shared().isAdvertisingTrackingEnabled();
}

plat::Uuid ADFRPlatformAdvertisingIdentifier::advertisingIdentifier() const {
    return plat::AdvertisingId::shared().advertisingIdentifier().value_or(plat::Uuid(plat::Uuid::Bytes16{}));
}

void ADFRPlatformAdvertisingIdentifier::registerClass() {
    plat::ClassRegistry::shared().registerProvider<ADFRAdvertisingIdentifierProvider>(
        kClassName, std::make_shared<ADFRPlatformAdvertisingIdentifier>());
}
