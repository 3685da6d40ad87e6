#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <regex>

#include "analytics/store/RUVCoreDataUtil.h"
#include "analytics/store/RUVDataStore.h"
#include "analytics/store/RUVStoreContext.h"
#include "platform/base/Clock.h"
#include "platform/net/FileURL.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/storage/KeyedArchive.h"
#include "platform/ui/Application.h"
#include "tests/analytics/StoreTestSupport.h"

using namespace analyticstest;

namespace {

constexpr const char* kV3 = RUVDataStore::kStoreFileName;
constexpr const char* kV2 = RUVDataStore::kOldStoreFileName;

plat::Value hit(const std::string& screen, std::optional<double> timestamp = std::nullopt) {
    plat::Value::Dictionary d;
    if (timestamp) d.set("timestamp", plat::Value(plat::Value::Date{*timestamp}));
    d.set("parameters",
          plat::Value(plat::Value::Dictionary{
              {"&t", plat::Value("screenview")}, {"&cd", plat::Value(screen)}, {"&ul", plat::Value()}}));
    return plat::Value(std::move(d));
}

std::string screenOf(const plat::Value& stored) {
    return stored["parameters"]["&cd"].toString();
}

std::vector<plat::Value> idsOf(const plat::Value::Array& hits) {
    std::vector<plat::Value> ids;
    for (const auto& h : hits) ids.push_back(h["objectID"]);
    return ids;
}

class HitStore : public StoreTest {
  protected:
    // An earlier version's file with hits (made through the old model), as an old SDK left it.
    void makeOldFile(const std::vector<std::tuple<double, std::string, std::string>>& hits) {
        onWorker([&] {
            RUVStoreContext old(RUVCoreDataUtil::oldModel(), file(kV2));
            std::optional<plat::Error> error;
            ASSERT_EQ(old.open(error), RUVStoreContext::OpenStatus::Open);
            for (const auto& [timestamp, screen, url] : hits) {
                plat::Value params(plat::Value::Dictionary{
                    {"t", plat::Value("screenview")}, {"cd", plat::Value(screen)}, {"a", plat::Value(7)}});
                auto archived = plat::KeyedArchive::archive(params);
                ASSERT_TRUE(archived);
                plat::Value::Dictionary record;
                record.set("timestamp", plat::Value(plat::Value::Date{timestamp}));
                record.set("parametersData", plat::Value(std::move(*archived)));
                record.set("dispatchUrl", plat::Value(url));
                record.set("ruvVersion", plat::Value("2.0"));
                ASSERT_TRUE(old.insert("RUVHit", record, error)) << error->localizedDescription();
            }
            ASSERT_TRUE(old.save(error));
        });
    }
};

}  // namespace

TEST_F(HitStore, FirstRunMakesBothFilesAndAClientId) {
    auto store = RUVDataStore::dataStore();
    auto id = store->clientId();
    ASSERT_TRUE(id);
    EXPECT_TRUE(std::regex_match(*id, std::regex("[0-9a-f-]{36}"))) << *id;
    EXPECT_TRUE(store->isSetUp());
    EXPECT_TRUE(std::filesystem::exists(file(kV3)));
    EXPECT_TRUE(std::filesystem::exists(file(kV2)));
    EXPECT_EQ(store->idfaChangeCount(), 0);
    EXPECT_EQ(store->lastChangeTimeStamp(), 0);
    EXPECT_EQ(store->hashedIdfa(), std::nullopt);
    EXPECT_EQ(store->hitCount(), 0);
    store.reset();
    drainWorker();

    RawDb v2(file(kV2));
    EXPECT_EQ(v2.column("SELECT string FROM RUVProperty WHERE name='ClientId'"),
              std::vector<std::string>{*id});
    EXPECT_EQ(v2.scalar("SELECT ruvVersion FROM RUVProperty WHERE name='ClientId'"), "3.12");

    auto second = RUVDataStore::dataStore();
    EXPECT_EQ(second->clientId(), id);
    EXPECT_EQ(second->fetchClientId(), id);
}

TEST_F(HitStore, IdentityPropertiesPersist) {
    {
        auto store = RUVDataStore::dataStore();
        store->setHashedIdfa("abc");
        store->setIdfaChangeCount(3);
        store->setLastChangeTimeStamp(1700000000);
        store->setClientId("c-1");
        store->setIdfaChangeCount(4);
    }
    auto store = RUVDataStore::dataStore();
    EXPECT_EQ(store->hashedIdfa(), "abc");
    EXPECT_EQ(store->idfaChangeCount(), 4);
    EXPECT_EQ(store->lastChangeTimeStamp(), 1700000000);
    EXPECT_EQ(store->clientId(), "c-1");
    store.reset();
    drainWorker();
    RawDb v2(file(kV2));
    EXPECT_EQ(v2.scalar("SELECT count(*) FROM RUVProperty"), "4");
}

TEST_F(HitStore, OldHitsAreConvertedAndFetchedFirst) {
    double now = plat::Clock::shared().nowSeconds();
    makeOldFile({{now - 31 * 86400, "stale", "http://c.example/collect"},
                 {now - 2 * 86400, "old-a", "http://c.example/collect"},
                 {now - 1 * 86400, "old-b", "https://c.example/collect"}});
    auto store = RUVDataStore::dataStore();
    store->addHit(hit("new", now - 3 * 86400));  // older than the old file's hits, still fetched after them
    ASSERT_TRUE(store->save());
    EXPECT_TRUE(store->isReadingOldHits());
    EXPECT_EQ(store->hitCount(), 3);

    auto hits = store->fetchHitsWithLimit(0);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(screenOf(hits[0]), "old-a");
    EXPECT_EQ(screenOf(hits[1]), "old-b");
    const plat::Value& p = hits[0]["parameters"];
    EXPECT_EQ(p["&t"], plat::Value("screenview"));
    EXPECT_EQ(p["&a"], plat::Value("7"));
    EXPECT_EQ(p["useSecure"], plat::Value("0"));
    EXPECT_EQ(p["ruvVersion"], plat::Value("2.0"));
    EXPECT_FALSE(hits[1]["parameters"].dictionaryIf()->contains("useSecure"));
    EXPECT_EQ(hits[0]["dispatchUrl"], plat::Value("http://c.example/collect"));
    EXPECT_TRUE(hits[0]["parametersData"].isData());
    EXPECT_TRUE(hits[0]["timestamp"].isDate());

    // Deleting them (and an id of the other file, which is skipped) and saving moves to the new file.
    auto ids = idsOf(hits);
    const plat::Value otherFileId(1);
    ids.push_back(otherFileId);
    EXPECT_TRUE(store->deleteHitsWithIds(ids));
    EXPECT_TRUE(store->save());
    EXPECT_FALSE(store->isReadingOldHits());
    hits = store->fetchHitsWithLimit(10);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(screenOf(hits[0]), "new");
    EXPECT_EQ(hits[0]["objectID"], plat::Value(1));
    EXPECT_EQ(store->hitCount(), 1);
}

TEST_F(HitStore, TrimKeepsTheNewestUpToTheLimit) {
    auto store = RUVDataStore::dataStore();
    double t0 = 1.6e9;
    for (int i = 0; i < 2000; ++i) store->addHit(hit("h" + std::to_string(i), t0 + i));
    ASSERT_TRUE(store->save());
    EXPECT_EQ(store->hitCount(), 2000);
    store->addHit(hit("h2000", t0 + 2000));
    ASSERT_TRUE(store->save());
    EXPECT_EQ(store->hitCount(), 2000);
    auto first = store->fetchHitsWithLimit(1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(screenOf(first[0]), "h1");
    EXPECT_TRUE(logger->contains("Deleting excess hits."));

    store->setMaxHitCount(0);
    for (int i = 0; i < 3; ++i) store->addHit(hit("more", t0 + 5000 + i));
    ASSERT_TRUE(store->save());
    EXPECT_EQ(store->hitCount(), 2003);
    EXPECT_EQ(store->fetchHitsWithLimit(0).size(), 2003u);
}

TEST_F(HitStore, AddDeleteAndFetchEdges) {
    auto store = RUVDataStore::dataStore();
    double before = plat::Clock::shared().nowSeconds();
    store->addHit(hit("now"));
    double after = plat::Clock::shared().nowSeconds();
    store->addHit(hit("tie", 100));
    store->addHit(hit("tie2", 100));
    auto hits = store->fetchHitsWithLimit(0);  // unsaved rows are seen
    ASSERT_EQ(hits.size(), 3u);
    EXPECT_EQ(screenOf(hits[0]), "tie");
    EXPECT_EQ(screenOf(hits[1]), "tie2");
    double stamp = hits[2]["timestamp"].dateIf()->secondsSince1970;
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    EXPECT_TRUE(hits[0]["parameters"]["&ul"].isNull());
    EXPECT_TRUE(hits[0]["parameters"].dictionaryIf()->contains("&ul"));
    ASSERT_TRUE(store->save());

    // A deleted hit's id is never used again, so deleting it twice touches nothing newer.
    plat::Value tieId = hits[0]["objectID"];
    ASSERT_TRUE(store->deleteHitsWithIds({tieId}));
    ASSERT_TRUE(store->save());
    store->addHit(hit("later", 200));
    ASSERT_TRUE(store->save());
    ASSERT_TRUE(store->deleteHitsWithIds({tieId, plat::Value(999)}));
    ASSERT_TRUE(store->save());
    EXPECT_EQ(store->hitCount(), 3);

    plat::Value::Dictionary bad{{"parameters", plat::Value(plat::Value::Dictionary{})},
                                {"colour", plat::Value("red")}};
    store->addHit(plat::Value(bad));
    EXPECT_EQ(logger->count("Datastore error: NSSQLiteErrorDomain -1"), 1u);
    EXPECT_EQ(store->hitCount(), 3);

    std::optional<plat::Error> error;
    EXPECT_TRUE(store->deleteAllHits(&error));
    EXPECT_FALSE(error);
    EXPECT_TRUE(store->save(&error));
    EXPECT_EQ(store->hitCount(), 0);
}

TEST_F(HitStore, ExceptionsBecomeErrors) {
    auto store = RUVDataStore::dataStore();
    std::optional<plat::Error> error;
    plat::Value result = store->performBlockAndWait(
        [](std::optional<plat::Error>&) -> plat::Value { throw plat::Exception("Boom", "inside"); }, &error);
    EXPECT_TRUE(result.isNull());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), "NSSQLiteErrorDomain");
    EXPECT_EQ(error->code(), -1);
    EXPECT_EQ(error->userInfo().find("exception")->toString(), "Boom");
}

TEST_F(HitStore, DamagedFilesAreSetAsideAndReplaced) {
    testsupport::writeFile(file(kV3), std::string(4096, 'x'));
    testsupport::writeFile(file(std::string(kV3) + "-journal"), "stale journal");
    {
        // Another layout counts as damaged as well.
        RawDb foreign(file(kV2));
        foreign.exec("CREATE TABLE other (x); INSERT INTO other VALUES (1)");
    }
    auto store = RUVDataStore::dataStore();
    store->addHit(hit("fresh"));
    ASSERT_TRUE(store->save());
    EXPECT_EQ(store->hitCount(), 1);
    EXPECT_EQ(logger->count("Corrupted database with URL file://" + file(kV3).string() + ": "), 1u);
    EXPECT_EQ(logger->count("Corrupted database with URL file://" + file(kV2).string() + ": "), 1u);
    EXPECT_EQ(logger->count("Error creating database"), 0u);
    store.reset();
    drainWorker();
    EXPECT_FALSE(filesStartingWith(std::string(kV3) + ".damaged-").empty());
    EXPECT_EQ(filesStartingWith(std::string(kV2) + ".damaged-").size(), 1u);
}

TEST_F(HitStore, AStoreEmptiedToZeroBytesIsToldOfAndSetAside) {
    {
        auto store = RUVDataStore::dataStore();
        store->addHit(hit("lost"));
        ASSERT_TRUE(store->save());
    }
    drainWorker();
    // What a truncating file-system fault leaves.
    std::filesystem::resize_file(file(kV3), 0);
    auto store = RUVDataStore::dataStore();
    EXPECT_EQ(store->hitCount(), 0);
    EXPECT_EQ(
        logger->count("Corrupted database with URL file://" + file(kV3).string() +
                      ": NSSQLiteErrorDomain 11: the file was found emptied to 0 bytes: all it held is lost"),
        1u);
    store.reset();
    drainWorker();
    auto moved = filesStartingWith(std::string(kV3) + ".damaged-");
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(std::filesystem::file_size(moved[0]), 0u);
}

TEST_F(HitStore, StoredAndDeletedHitsReachTheMainFileSoonAfter) {
    // The main file alone, as if its log were lost.
    auto alone = [&] {
        drainWorker();
        std::filesystem::copy_file(file(kV3), file("alone.sql"),
                                   std::filesystem::copy_options::overwrite_existing);
        return RawDb(file("alone.sql")).scalar("SELECT count(*) FROM RUVHit");
    };
    auto store = RUVDataStore::dataStore();
    store->addHit(hit("kept"));
    ASSERT_TRUE(store->save());
    EXPECT_EQ(alone(), "1");
    ASSERT_TRUE(store->deleteHitsWithIds(idsOf(store->fetchHitsWithLimit(0))) && store->save());
    EXPECT_EQ(alone(), "0");
}

TEST_F(HitStore, ALockedFileIsKept) {
    {
        auto store = RUVDataStore::dataStore();
        for (int i = 0; i < 3; ++i) store->addHit(hit("kept" + std::to_string(i)));
        ASSERT_TRUE(store->save());
    }
    drainWorker();
    auto locker = std::make_unique<RawDb>(file(kV3));
    // With a write-ahead log readers pass a writer; only the exclusive locking mode keeps them out.
    ASSERT_EQ(locker->exec("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT"), plat::SqliteFile::kOk);
    auto store = RUVDataStore::dataStore();
    std::optional<plat::Error> error;
    EXPECT_EQ(store->hitCount(&error), -1);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), "NSSQLiteErrorDomain");
    EXPECT_TRUE(logger->contains("Error creating database with URL file://" + file(kV3).string()));
    EXPECT_FALSE(logger->contains("Corrupted database"));
    EXPECT_TRUE(filesStartingWith(std::string(kV3) + ".damaged-").empty());

    locker.reset();
    // Once the lock is gone the same store reads the file again.
    EXPECT_EQ(store->hitCount(), 3);
    EXPECT_EQ(RawDb(file(kV3)).scalar("SELECT count(*) FROM RUVHit"), "3");
}

TEST_F(HitStore, CallsWaitForTheWorkerAndEarlyWorkerCallsAreSkipped) {
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::shared_ptr<RUVDataStore> store;
    std::promise<int64_t> early;
    // Holds the worker, so the store's set-up queues behind a call made on the worker before it.
    RUV::postToWorker([&] {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return release; });
        store->addHit(hit("too early"));
        early.set_value(store->hitCount());
    });
    store = RUVDataStore::dataStore();
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    EXPECT_EQ(early.get_future().get(), -1);
    EXPECT_FALSE(logger->contains("Datastore error"));
    // From this thread the call waits for set-up and then runs.
    EXPECT_EQ(store->hitCount(), 0);
    store->addHit(hit("in time"));
    EXPECT_EQ(store->hitCount(), 1);
}

TEST_F(HitStore, DeleteStoreFileTakesTheLogAndJournalToo) {
    testsupport::writeFile(file(kV3), "x");
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        testsupport::writeFile(file(std::string(kV3) + suffix), "j");
    RUVDataStore::deleteStoreFile(kV3);
    EXPECT_TRUE(filesStartingWith(kV3).empty());
    // Its address reads back to its path, from a home named with a space, "%", "#", "?" and Japanese
    // letters too.
    EXPECT_EQ(plat::pathFromFileURL(RUVDataStore::databaseFullURL(kV3)), file(kV3));
    ASSERT_TRUE(plat::Paths::setHome(home.path() / "sp ace %#? ゲーム"));
    EXPECT_EQ(plat::pathFromFileURL(RUVDataStore::databaseFullURL(kV3)), file(kV3));
}

TEST_F(HitStore, LeavingTheForegroundOrEndingSaves) {
    auto& center = plat::NotificationCenter::defaultCenter();
    size_t observers = center.observerCount();
    auto store = RUVDataStore::dataStore();
    int sender = 0;
    int saved = 0;
    for (const char* name :
         {plat::Application::kWillResignActiveNotification, plat::Application::kWillTerminateNotification}) {
        store->addHit(hit(name));
        RawDb db(file(kV3));
        // Another connection sees only what was committed.
        EXPECT_EQ(db.scalar("SELECT count(*) FROM RUVHit"), std::to_string(saved));
        center.post(name, &sender);
        EXPECT_EQ(db.scalar("SELECT count(*) FROM RUVHit"), std::to_string(++saved));
    }
    store.reset();
    EXPECT_EQ(center.observerCount(), observers);
}
