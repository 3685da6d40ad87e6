// The hit store on real SQLite files in a temporary home, on a virtual clock; and ZAVThread and the
// User-Agent of hit requests.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/base/Locale.h"
#include "platform/net/FileURL.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/runloop/Thread.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "tests/tagmanager/HitTestSupport.h"

namespace {

using tmtest::HitStoreFixture;

class HitStoreTest : public HitStoreFixture {};

std::vector<std::string> urls(const std::vector<ZAVHit>& hits) {
    std::vector<std::string> out;
    for (const auto& h : hits) out.push_back(h.dispatchURL.value_or("(none)"));
    return out;
}

TEST_F(HitStoreTest, HitsComeBackOldestFirstWithLimit) {
    auto store = ZAVDataProvider::create();
    store->addHitWithURLString("http://h/1");
    clock_.clock().advance(1);
    store->addHitWithURLString("http://h/2");
    store->addHitWithURLString("http://h/3");  // same instant as h/2: queued order breaks the tie
    EXPECT_EQ(urls(fetch(*store, 0)), (std::vector<std::string>{"http://h/1", "http://h/2", "http://h/3"}));
    EXPECT_EQ(urls(fetch(*store, 2)), (std::vector<std::string>{"http://h/1", "http://h/2"}));
    EXPECT_TRUE(store->hasHits());
    // What was handed in is in the file.
    EXPECT_EQ(column(storePath(), "SELECT dispatchURL FROM ZAVHit ORDER BY id").size(), 3u);
}

TEST_F(HitStoreTest, TheHitPastTheCountLimitPushesOutTheOldest) {
    // 2000 hits already stored (seeded in one transaction, each a second older than the next).
    {
        auto store = ZAVDataProvider::create();
        drain();
    }
    std::string sql = "BEGIN;";
    double start = clock_.clock().nowSeconds() - 3000;
    for (int i = 0; i < 2000; ++i)
        sql += "INSERT INTO ZAVHit (dispatchURL, timestamp) VALUES ('http://h/" + std::to_string(i) + "', " +
               std::to_string(start + i) + ");";
    execSql(storePath(), sql + "COMMIT;");

    auto store = ZAVDataProvider::create();
    store->addHitWithURLString("http://h/new");
    auto hits = fetch(*store, 0);
    ASSERT_EQ(hits.size(), 2000u);
    EXPECT_EQ(hits.front().dispatchURL, "http://h/1");
    EXPECT_EQ(hits.back().dispatchURL, "http://h/new");
}

TEST_F(HitStoreTest, AnAgedHitGoesAtTheNextSaveOfAnyChange) {
    auto store = ZAVDataProvider::create();
    store->addHitWithURLString("http://h/old");
    drain();
    clock_.clock().advance(ZAVDataProvider::kDefaultMaxHitAge - 1);
    EXPECT_EQ(fetch(*store, 0).size(), 1u);  // a fetch is not a save: nothing goes yet
    clock_.clock().advance(2);
    EXPECT_EQ(fetch(*store, 0).size(), 1u);
    store->addHitWithURLString("http://h/new");
    EXPECT_EQ(urls(fetch(*store, 0)), std::vector<std::string>{"http://h/new"});
}

TEST_F(HitStoreTest, ZeroLimitsKeepEverything) {
    auto store = ZAVDataProvider::create();
    store->setMaxHitCount(0);
    store->setMaxHitAge(0);
    store->addHitWithURLString("http://h/old");
    drain();
    clock_.clock().advance(ZAVDataProvider::kDefaultMaxHitAge * 2);
    store->addHitWithURLString("http://h/new");
    EXPECT_EQ(fetch(*store, 0).size(), 2u);
}

TEST_F(HitStoreTest, RecentlyFailedHitsWaitTwoMinutes) {
    auto store = ZAVDataProvider::create();
    store->addHitWithURLString("http://h/fails");
    store->addHitWithURLString("http://h/fresh");
    auto hits = fetch(*store, 0);
    ASSERT_EQ(hits.size(), 2u);
    store->updateFailedHits({hits[0]});
    drain();
    clock_.clock().advance(60);
    EXPECT_EQ(urls(fetch(*store, 0, true)), std::vector<std::string>{"http://h/fresh"});
    clock_.clock().advance(60);
    EXPECT_EQ(urls(fetch(*store, 0, true)), (std::vector<std::string>{"http://h/fails", "http://h/fresh"}));
}

TEST_F(HitStoreTest, HasHitsFollowsTheStoreNotTheFilteredFetch) {
    auto store = ZAVDataProvider::create();
    store->addHitWithURLString("http://h/1");
    auto hits = fetch(*store, 0);
    store->updateFailedHits(hits);
    EXPECT_TRUE(fetch(*store, 0, true).empty());
    // The hit still waits to be sent, so the dispatch timer must go on.
    EXPECT_TRUE(store->hasHits());
    store->deleteHits(hits);
    drain();
    EXPECT_FALSE(store->hasHits());
}

TEST_F(HitStoreTest, FirstAndLastFailureTimesAreKeptApart) {
    auto store = ZAVDataProvider::create();
    store->addHitWithURLString("http://h/1");
    auto hits = fetch(*store, 0);
    double first = clock_.clock().nowSeconds();
    store->updateFailedHits(hits);
    drain();
    clock_.clock().advance(300);
    store->updateFailedHits(hits);
    hits = fetch(*store, 0);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_DOUBLE_EQ(hits[0].dispatchTime.value_or(0), first);
    EXPECT_DOUBLE_EQ(hits[0].lastDispatchTime.value_or(0), first + 300);
}

TEST_F(HitStoreTest, DeletedHitsAreGoneFromTheFile) {
    auto store = ZAVDataProvider::create();
    for (int i = 0; i < 3; ++i) store->addHitWithURLString("http://h/" + std::to_string(i));
    auto hits = fetch(*store, 0);
    store->deleteHits({hits[0], hits[2]});
    drain();
    EXPECT_EQ(column(storePath(), "SELECT dispatchURL FROM ZAVHit"), std::vector<std::string>{"http://h/1"});
}

TEST_F(HitStoreTest, APreviousVersionStoreOpensWithItsHits) {
    std::string sql = "BEGIN;";
    for (const auto& s : ZAVModel::schemaSql(ZAVModel::kPreviousVersion)) sql += s + ";";
    const std::string t = std::to_string(clock_.clock().nowSeconds() - 10);
    sql += "INSERT INTO ZAVHit (dispatchURL, timestamp, dispatchTime) VALUES ('http://h/a', " + t + ", 5);" +
           "INSERT INTO ZAVHit (dispatchURL, timestamp) VALUES ('http://h/b', " + t + ");COMMIT;";
    execSql(storePath(), sql);

    auto store = ZAVDataProvider::create();
    auto hits = fetch(*store, 0);
    ASSERT_EQ(urls(hits), (std::vector<std::string>{"http://h/a", "http://h/b"}));
    EXPECT_EQ(hits[0].dispatchTime, 5);
    EXPECT_FALSE(hits[0].lastDispatchTime);
    EXPECT_EQ(column(storePath(), "PRAGMA user_version"), std::vector<std::string>{"2"});
    // The migrated store takes failures like a new one.
    store->updateFailedHits({hits[1]});
    EXPECT_EQ(fetch(*store, 0, true).size(), 1u);
}

TEST_F(HitStoreTest, AnotherProgramsDatabaseIsSetAsideNotDropped) {
    execSql(storePath(), "CREATE TABLE other (x); INSERT INTO other VALUES (1);");
    auto store = ZAVDataProvider::create();
    store->addHitWithURLString("http://h/1");
    EXPECT_EQ(fetch(*store, 0).size(), 1u);
    bool kept = false;
    for (const auto& entry : std::filesystem::directory_iterator(storePath().parent_path()))
        if (entry.path().filename().string().rfind("VUZ.sql.damaged-", 0) == 0)
            kept = column(entry.path(), "SELECT x FROM other") == std::vector<std::string>{"1"};
    EXPECT_TRUE(kept);
}

TEST_F(HitStoreTest, AStoreThatCannotBeOpenedFindsNothing) {
    std::filesystem::create_directories(storePath());  // a folder where the file should be
    auto store = ZAVDataProvider::create();
    store->addHitWithURLString("http://h/1");
    EXPECT_TRUE(fetch(*store, 0).empty());
    EXPECT_FALSE(store->hasHits());
    EXPECT_TRUE(std::filesystem::is_directory(storePath()));
}

TEST_F(HitStoreTest, ResigningActiveWaitsUntilQueuedHitsAreSaved) {
    auto store = ZAVDataProvider::create();
    std::promise<void> release;
    auto released = release.get_future().share();
    // Hold ZAVThread so that the hit below is still queued when the notification comes.
    ZAVDispatchUtil::background([released] { released.wait(); }, false);
    store->addHitWithURLString("http://h/1");
    std::thread unblock([&] { release.set_value(); });
    plat::NotificationCenter::defaultCenter().post(plat::Application::kWillResignActiveNotification);
    EXPECT_EQ(column(storePath(), "SELECT dispatchURL FROM ZAVHit"), std::vector<std::string>{"http://h/1"});
    unblock.join();
}

TEST_F(HitStoreTest, ZAVThreadRunsWorkInOrderAndInlineOnItself) {
    std::vector<int> order;
    std::string name;
    for (int i = 0; i < 5; ++i) ZAVDispatchUtil::background([&order, i] { order.push_back(i); }, false);
    ZAVDispatchUtil::background(
        [&] {
            name = plat::Thread::currentName();
            bool inlineRan = false;
            ZAVDispatchUtil::background([&] { inlineRan = true; }, true);  // no deadlock on itself
            order.push_back(inlineRan ? 5 : -1);
        },
        true);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(name, "ZAVThread");
    // An exception in one block does not end the thread.
    ZAVDispatchUtil::background([] { throw std::runtime_error("boom"); }, true);
    bool after = false;
    ZAVDispatchUtil::background([&] { after = true; }, true);
    EXPECT_TRUE(after);
}

TEST(ZAVDispatchUtilTest, UserAgentFormat) {
    EXPECT_EQ(ZAVDispatchUtil::userAgentStringWithProduct("P", "1.0", "phone", "Sys", "7.1", "en", "us"),
              "P/1.0 (phone; U; CPU Sys 7.1 like Mac OS X; en-us)");
    EXPECT_EQ(ZAVDispatchUtil::systemLanguageFromLanguages({}), "en");
    EXPECT_EQ(ZAVDispatchUtil::systemLanguageFromLanguages({"PT-BR", "ja"}), "pt-br");
    EXPECT_EQ(ZAVDispatchUtil::systemCountryFromLocale(plat::Locale("en_US.UTF-8")), "us");
    const auto& device = plat::Device::current();
    EXPECT_EQ(ZAVDispatchUtil::userAgentString(),
              "ZuruziVarOvozivi/3.12 (" + device.model() + "; U; CPU " + device.systemName() + " " +
                  device.systemVersion() + " like Mac OS X; " +
                  ZAVDispatchUtil::systemLanguageFromLanguages(plat::Locale::preferredLanguages()) + "-" +
                  ZAVDispatchUtil::systemCountryFromLocale(plat::Locale::current()) + ")");
}

TEST(ZAVDispatchUtilTest, TheStoreLivesInTheLibraryFolder) {
    testsupport::TempHome home;
    EXPECT_EQ(ZAVDispatchUtil::databaseFullPath("VUZ.sql"), plat::Paths::library() / "VUZ.sql");
    // Its URL reads back to the same path, from a home named with a space, "%", "#", "?" and Japanese
    // letters too.
    ASSERT_TRUE(plat::Paths::setHome(home.path() / "sp ace %#? ゲーム"));
    const auto url = ZAVDispatchUtil::databaseFullURL("VUZ.sql");
    EXPECT_EQ(url, plat::fileURLFromPath(plat::Paths::library() / "VUZ.sql"));
    EXPECT_EQ(plat::pathFromFileURL(url.value_or("")), plat::Paths::library() / "VUZ.sql");
}

}  // namespace
