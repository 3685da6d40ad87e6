// The install's advertising identifier: made once and kept in the app's data, none while the user
// limits tracking in the defaults.
#include <gtest/gtest.h>

#include "platform/storage/AdvertisingId.h"
#include "platform/storage/UserDefaults.h"
#include "tests/support/TestSupport.h"

using plat::AdvertisingId;

TEST(AdvertisingId, MadeOncePerInstallKeptInTheHomeAndNoneWhileTrackingIsLimited) {
    std::optional<plat::Uuid> first;
    {
        testsupport::TempHome home;
        auto& service = AdvertisingId::shared();
        EXPECT_TRUE(service.isAdvertisingTrackingEnabled());
        first = service.advertisingIdentifier();
        ASSERT_TRUE(first);
        EXPECT_EQ(first->bytes()[6] >> 4, 4);  // version 4
        EXPECT_EQ(service.advertisingIdentifier(), first);
        EXPECT_EQ(testsupport::readFile(home.path() / "Library" / "AdvertisingIdentifier"),
                  first->string() + "\n");

        plat::UserDefaults::standard()->setBool(true, AdvertisingId::kTrackingLimitedKey);
        EXPECT_FALSE(service.isAdvertisingTrackingEnabled());
        EXPECT_FALSE(service.advertisingIdentifier());
        plat::UserDefaults::standard()->setBool(false, AdvertisingId::kTrackingLimitedKey);
        EXPECT_EQ(service.advertisingIdentifier(), first);
    }
    // Another install, another identifier.
    testsupport::TempHome other;
    auto second = AdvertisingId::shared().advertisingIdentifier();
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
}
