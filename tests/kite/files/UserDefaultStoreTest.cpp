#include <gtest/gtest.h>

#include "kite/files/KTFileUtils.h"
#include "kite/files/KTUserDefaultStore.h"
#include "platform/base/Log.h"
#include "platform/storage/FileManager.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "platform/storage/UserDefaults.h"
#include "tests/support/TestSupport.h"

using kite::KTUserDefaultStore;
namespace fs = std::filesystem;

namespace {

class UserDefaultStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        KTUserDefaultStore::purgeSharedUserDefaultStore();  // the legacy path follows the temp home
        store = KTUserDefaultStore::sharedUserDefaultStore();
    }
    void TearDown() override { KTUserDefaultStore::purgeSharedUserDefaultStore(); }

    fs::path legacyPath() const { return plat::Paths::caches() / "UserDefault.xml"; }
    void installLegacyFixture() const {
        fs::copy_file(testsupport::sourceDir() / "tests/kite/files/fixtures/UserDefault.xml", legacyPath());
    }
    std::string legacy() const { return testsupport::readFile(legacyPath()); }
    // What is on disk, read back fresh.
    plat::Value savedSettings() const {
        auto v =
            plat::PropertyList::readFile(plat::Paths::preferences() / plat::UserDefaults::standardFileName());
        return v ? *v : plat::Value();
    }

    testsupport::TempHome home;
    KTUserDefaultStore* store = nullptr;
};

}  // namespace

TEST_F(UserDefaultStoreTest, ValuesPersistAcrossAFreshStore) {
    EXPECT_EQ(store->getIntegerForKey("myobjectlevel", 1), 1);
    EXPECT_TRUE(store->getBoolForKey("firstgame", true));
    store->setBoolForKey("firstgame", false);
    store->setIntegerForKey("myobjectlevel", 4);
    store->setFloatForKey("objectcreatetimerget3", 27.25f);
    store->setDoubleForKey("gametimer", 1234.5);
    store->setStringForKey("name", "potemaru");
    store->flush();
    {
        // Another home in between drops the loaded store; coming back reads the file again.
        testsupport::TempHome elsewhere;
        KTUserDefaultStore::purgeSharedUserDefaultStore();
        EXPECT_EQ(KTUserDefaultStore::sharedUserDefaultStore()->getIntegerForKey("myobjectlevel"), 0);
    }
    KTUserDefaultStore::purgeSharedUserDefaultStore();
    store = KTUserDefaultStore::sharedUserDefaultStore();
    EXPECT_FALSE(store->getBoolForKey("firstgame", true));
    EXPECT_EQ(store->getIntegerForKey("myobjectlevel", 1), 4);
    EXPECT_EQ(store->getFloatForKey("objectcreatetimerget3", 0.0f), 27.25f);
    EXPECT_EQ(store->getDoubleForKey("gametimer"), 1234.5);
    EXPECT_EQ(store->getStringForKey("name"), "potemaru");
    EXPECT_EQ(store->getStringForKey("missing", "dflt"), "dflt");
    // Conversions as number objects do them.
    EXPECT_EQ(store->getIntegerForKey("objectcreatetimerget3"), 27);
    EXPECT_TRUE(store->getBoolForKey("myobjectlevel"));
    EXPECT_EQ(store->getFloatForKey("myobjectlevel"), 4.0f);
}

TEST_F(UserDefaultStoreTest, SettersWaitForFlush) {
    store->setIntegerForKey("mypoints", 10);
    EXPECT_FALSE(savedSettings()["mypoints"].isInteger());
    store->flush();
    EXPECT_EQ(savedSettings()["mypoints"].toInt64(), 10);
    store->setFloatForKey("ShimerikeGageLevel", 12.5f);
    store->flush();
    EXPECT_TRUE(savedSettings()["ShimerikeGageLevel"].isReal());
}

TEST_F(UserDefaultStoreTest, LegacyFileMigratesKeyByKeyAndIsRemovedAfterItsLastKey) {
    installLegacyFixture();
    EXPECT_TRUE(store->getBoolForKey("firstgame", false));
    EXPECT_EQ(legacy().find("firstgame"), std::string::npos);
    EXPECT_NE(legacy().find("<mypoints>35</mypoints>"), std::string::npos);
    EXPECT_EQ(*savedSettings()["firstgame"].boolIf(), true);  // stored and flushed at once

    EXPECT_EQ(store->getIntegerForKey("mypoints", 0), 35);
    EXPECT_EQ(store->getFloatForKey("ShimerikeGageLevel", 0.0f), 42.5f);
    EXPECT_EQ(store->getStringForKey("nickname"), "ぽて & まる");
    // An element without a value is dropped and the store (or the default) answers.
    EXPECT_EQ(store->getIntegerForKey("empty", 9), 9);
    EXPECT_TRUE(plat::FileManager::fileExists(legacyPath()));
    EXPECT_EQ(legacy().find("<empty"), std::string::npos);
    EXPECT_NE(legacy().find("userDefaultRoot"), std::string::npos);

    // The next lookup of any key sees an empty root and deletes the file.
    EXPECT_EQ(store->getIntegerForKey("mypoints", 0), 35);
    EXPECT_FALSE(plat::FileManager::fileExists(legacyPath()));
    EXPECT_EQ(savedSettings()["mypoints"].toInt64(), 35);
    EXPECT_EQ(savedSettings()["nickname"].toString(), "ぽて & まる");
}

TEST_F(UserDefaultStoreTest, WritingALegacyKeyRemovesItFromTheFileFirst) {
    installLegacyFixture();
    store->setIntegerForKey("mypoints", 50);
    EXPECT_EQ(legacy().find("mypoints"), std::string::npos);
    EXPECT_EQ(store->getIntegerForKey("mypoints", 0), 50);
    EXPECT_NE(legacy().find("ShimerikeGageLevel"), std::string::npos);  // other keys wait for their turn
}

TEST_F(UserDefaultStoreTest, LegacyKeysStayWhileTheSettingsCannotBeRead) {
    plat::LogCapture capture;
    plat::UserDefaults::forgetStandard();
    fs::create_directories(plat::Paths::preferences() / plat::UserDefaults::standardFileName());
    installLegacyFixture();
    EXPECT_EQ(store->getIntegerForKey("mypoints", 0), 35);
    store->setBoolForKey("firstgame", false);
    EXPECT_NE(legacy().find("<mypoints>35</mypoints>"), std::string::npos);
    EXPECT_NE(legacy().find("firstgame"), std::string::npos);
    plat::UserDefaults::forgetStandard();
}

TEST_F(UserDefaultStoreTest, UnreadableLegacyFilesAreLoggedAndSkipped) {
    store->setIntegerForKey("mypoints", 3);
    testsupport::writeFile(legacyPath(), "this is not xml <<<");
    {
        plat::LogCapture capture;
        EXPECT_EQ(store->getIntegerForKey("mypoints", 0), 3);
        EXPECT_TRUE(capture.contains("read root node error"));
    }
    fs::remove(legacyPath());
    fs::create_directories(legacyPath());
    {
        plat::LogCapture capture;
        EXPECT_EQ(store->getIntegerForKey("mypoints", 0), 3);
        EXPECT_TRUE(capture.contains("can not read xml file"));
    }
}

TEST_F(UserDefaultStoreTest, OutOfRangeLegacyNumbersSaturate) {
    testsupport::writeFile(
        legacyPath(),
        "<r><big>99999999999999999999</big><huge>1e300</huge><neg>-5x</neg><yes>TRUE</yes></r>");
    EXPECT_EQ(store->getIntegerForKey("big"), 2147483647);
    EXPECT_EQ(store->getFloatForKey("huge"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(store->getIntegerForKey("neg"), -5);
    EXPECT_FALSE(store->getBoolForKey("yes", true));  // only the exact text "true" is true
}

TEST_F(UserDefaultStoreTest, SingletonSurvivesPurge) {
    KTUserDefaultStore::purgeSharedUserDefaultStore();
    EXPECT_EQ(KTUserDefaultStore::sharedUserDefaultStore(), store);
    EXPECT_EQ(KTUserDefaultStore::getXMLFilePath(), legacyPath().string());
    EXPECT_FALSE(KTUserDefaultStore::isXMLFileExist());
    EXPECT_FALSE(store->getBoolForKey(nullptr, false));
    store->setBoolForKey(nullptr, true);  // ignored
}
