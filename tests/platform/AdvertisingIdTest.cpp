// The install's advertising identifier: made once and kept in the app's data, none while the user
// limits tracking in the defaults.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "platform/base/Log.h"
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

TEST(AdvertisingId, AFailedReadGivesNoneThatOnceAndKeepsTheIdentifier) {
    testsupport::TempHome home;
    const auto id = AdvertisingId::shared().advertisingIdentifier();
    ASSERT_TRUE(id);
    rlimit old{};
    getrlimit(RLIMIT_NOFILE, &old);
    rlimit none{static_cast<rlim_t>(::dup(2)), old.rlim_max};  // the lowest free descriptor: none left
    ::close(static_cast<int>(none.rlim_cur));
    plat::LogCapture log;
    setrlimit(RLIMIT_NOFILE, &none);
    const auto during = AdvertisingId::shared().advertisingIdentifier();
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_FALSE(during);
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(AdvertisingId::shared().advertisingIdentifier(), id);
}

TEST(AdvertisingId, ASecondDamagedFileIsSetAsideBesideTheFirst) {
    testsupport::TempHome home;
    const std::string file = AdvertisingId::filePath().string();
    testsupport::writeFile(file, "first");
    ASSERT_TRUE(AdvertisingId::shared().advertisingIdentifier());
    testsupport::writeFile(file, "second");
    ASSERT_TRUE(AdvertisingId::shared().advertisingIdentifier());
    EXPECT_EQ(testsupport::readFile(file + ".unreadable"), "first");
    EXPECT_EQ(testsupport::readFile(file + ".unreadable-2"), "second");
}
