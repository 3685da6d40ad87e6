// The data layer's SQLite store on real files in a temporary home, with the shared clock virtual.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "platform/base/ClassRegistry.h"
#include "platform/storage/Paths.h"
#include "tagmanager/base/ZAVWorkers.h"
#include "tagmanager/datalayer/ZAVDataLayerPersistentStoreImpl.h"
#include "tagmanager/values/ZAVBoolean.h"
#include "tests/support/TestSupport.h"
#include "tests/tagmanager/SqlTestSupport.h"
#include "tests/tagmanager/TagManagerTestSupport.h"

namespace {

using Store = ZAVDataLayerPersistentStoreImpl;

using tmtest::I;
using tmtest::T;

class Collect : public ZAVDataLayerPersistentStoreCallback {
  public:
    void onKeyValuesLoaded(const std::vector<ZAVKeyValue>& keyValues) override {
        ++calls;
        result.set_value(keyValues);
    }
    std::atomic<int> calls{0};
    std::promise<std::vector<ZAVKeyValue>> result;
};

class DataLayerStoreTest : public ::testing::Test {
  protected:
    std::filesystem::path dbPath() const { return plat::Paths::library() / Store::kDatabaseName; }

    static std::vector<ZAVKeyValue> load(Store& store) {
        auto collect = std::make_shared<Collect>();
        auto future = collect->result.get_future();
        store.loadSaved(collect);
        if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "load never answered";
            return {};
        }
        store.waitUntilIdle();
        EXPECT_EQ(collect->calls.load(), 1);
        return future.get();
    }

    static std::vector<std::string> keys(const std::vector<ZAVKeyValue>& values) {
        std::vector<std::string> out;
        for (const auto& v : values) out.push_back(v.key());
        return out;
    }

    std::vector<std::string> column(const std::string& sql) const { return tmtest::sqlColumn(dbPath(), sql); }
    void execSql(const std::string& sql) const { tmtest::sqlExec(dbPath(), sql); }

    static std::vector<ZAVKeyValue> entries(const std::string& prefix, size_t count) {
        std::vector<ZAVKeyValue> out;
        for (size_t i = 0; i < count; ++i) out.emplace_back(prefix + std::to_string(i), I(int64_t(i)));
        return out;
    }

    testsupport::TempHome home_;
    testsupport::VirtualClockScope clock_;
};

TEST_F(DataLayerStoreTest, EveryValueKindRoundTrips) {
    auto date = ZAVObject::opaque(plat::Value(plat::Value::Date{1.7e9}));
    auto bytes = ZAVObject::opaque(plat::Value(plat::Bytes{0, 1, 2, 255}));
    std::vector<ZAVKeyValue> values = {
        {"text", T("héllo")},
        {"int", I(-9007199254740993)},
        {"float", ZAVObject::floating(1.0)},
        {"yes", ZAVBoolean::booleanWithBool(true)},
        {"no", ZAVBoolean::booleanWithBool(false)},
        {"null", ZAVObject::nullMarker()},
        {"list", ZAVObject::list({I(1), ZAVObject::floating(2.5), ZAVBoolean::booleanWithBool(true),
                                  ZAVObject::nullMarker(), ZAVObject::map({{T("k"), T("v")}})})},
        {"date", date},
        {"bytes", bytes},
    };
    {
        Store store;
        store.saveKeyValues(values, 60000);
    }
    Store store;
    auto loaded = load(store);
    ASSERT_EQ(loaded.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(loaded[i].key(), values[i].key());
        EXPECT_TRUE(loaded[i].isEqual(&values[i])) << loaded[i].description();
    }
    // Kinds the text form would blur stay apart.
    EXPECT_TRUE(loaded[1].value()->isIntegerNumber());
    EXPECT_TRUE(loaded[2].value()->isFloatingNumber());
    EXPECT_TRUE(loaded[3].value()->isBoolean());
    EXPECT_TRUE(loaded[3].value()->boolValue());
    EXPECT_FALSE(loaded[4].value()->boolValue());
    EXPECT_EQ(loaded[5].value(), ZAVObject::nullMarker());
    EXPECT_TRUE(loaded[6].value()->items()[2]->isBoolean());
}

TEST_F(DataLayerStoreTest, ABooleanReadsBackAfterItsClassWasUnregistered) {
    auto bytes = ZAVDataLayerPersistentStoreImpl::serialize(ZAVBoolean::booleanWithBool(true));
    ASSERT_TRUE(bytes);
    plat::ClassRegistry::shared().unregister("ZAVBoolean");
    auto back = ZAVDataLayerPersistentStoreImpl::unserialize(*bytes);
    ASSERT_TRUE(back && back->isBoolean());
    EXPECT_TRUE(back->boolValue());
}

TEST_F(DataLayerStoreTest, KeysKeepTheirTextAndLoadInSaveOrder) {
    Store store;
    store.saveKeyValues({{"1.50", T("a")}, {"007", T("b")}}, 60000);
    store.saveKeyValues({{"1.50", T("c")}}, 60000);
    auto loaded = load(store);
    EXPECT_EQ(keys(loaded), (std::vector<std::string>{"1.50", "007", "1.50"}));
    EXPECT_EQ(loaded[2].value()->textValue(), "c");
    EXPECT_EQ(column("SELECT typeof(key) FROM datalayer"),
              (std::vector<std::string>{"text", "text", "text"}));
}

TEST_F(DataLayerStoreTest, ClearingAPrefixMatchesExactly) {
    Store store;
    std::vector<ZAVKeyValue> values;
    for (const char* key :
         {"user", "user.id", "user.a.b", "username", "USER.id", "a_b", "a_b.c", "axb.c", "a%"})
        values.emplace_back(key, T("x"));
    store.saveKeyValues(values, 60000);
    store.clearKeysWithPrefix("user");
    store.clearKeysWithPrefix("a_b");
    store.clearKeysWithPrefix("a");
    EXPECT_EQ(keys(load(store)), (std::vector<std::string>{"username", "USER.id", "axb.c", "a%"}));
}

TEST_F(DataLayerStoreTest, AFullStoreDropsItsOldestRows) {
    tmtest::CapturedLog log;
    Store store;
    store.saveKeyValues(entries("old", 1990), 60000);
    store.saveKeyValues(entries("new", 20), 60000);
    store.waitUntilIdle();
    EXPECT_EQ(log->count("info", "DataLayer store full, deleting 10 entries to make room."), 1u);
    auto loaded = load(store);
    ASSERT_EQ(loaded.size(), 2000u);
    EXPECT_EQ(loaded.front().key(), "old10");
    EXPECT_EQ(loaded.back().key(), "new19");
}

TEST_F(DataLayerStoreTest, ASaveLargerThanTheStoreKeepsEveryNewEntry) {
    Store store("small.db", 3);
    store.saveKeyValues(entries("old", 2), 60000);
    store.saveKeyValues(entries("new", 5), 60000);
    EXPECT_EQ(keys(load(store)), (std::vector<std::string>{"new0", "new1", "new2", "new3", "new4"}));
}

TEST_F(DataLayerStoreTest, RowIdsBeyond32BitsAreDeleted) {
    Store store("small.db", 1);
    store.saveKeyValues({{"first", T("x")}}, 60000);
    store.waitUntilIdle();
    // A row whose id wraps to a small number in 32 bits, and one that the wrap would hit instead.
    tmtest::sqlExec(plat::Paths::library() / "small.db", "UPDATE datalayer SET ID = 4294967297");
    store.saveKeyValues({{"second", T("y")}}, 60000);
    EXPECT_EQ(keys(load(store)), (std::vector<std::string>{"second"}));
}

TEST_F(DataLayerStoreTest, TwoStoresOnOneFileLoseNothing) {
    Store first, second;
    for (int i = 0; i < 20; ++i) {
        first.saveKeyValues(entries("a" + std::to_string(i) + ".", 10), 60000);
        second.saveKeyValues(entries("b" + std::to_string(i) + ".", 10), 60000);
    }
    first.waitUntilIdle();
    EXPECT_EQ(load(second).size(), 400u);
}

TEST_F(DataLayerStoreTest, ExpiredRowsAreNeverLoadedAndAreDeleted) {
    Store store;
    int64_t savedAt = static_cast<int64_t>(plat::Clock::shared().nowSeconds() * 1000);
    store.saveKeyValues({{"short", T("x")}}, 1000);
    store.saveKeyValues({{"hour", T("y")}}, 3600000);
    store.waitUntilIdle();
    EXPECT_EQ(column("SELECT expires FROM datalayer WHERE key = 'hour'"),
              (std::vector<std::string>{std::to_string(savedAt + 3600000)}));
    clock_.clock().advanceMicros(1000 * 1000);  // "short" expires exactly now
    EXPECT_EQ(keys(load(store)), (std::vector<std::string>{"hour"}));
    EXPECT_EQ(column("SELECT key FROM datalayer"), (std::vector<std::string>{"hour"}));
}

TEST_F(DataLayerStoreTest, AHugeLifetimeNeverExpires) {
    Store store;
    store.saveKeyValues({{"forever", T("x")}}, INT64_MAX);
    EXPECT_EQ(keys(load(store)), (std::vector<std::string>{"forever"}));
}

TEST_F(DataLayerStoreTest, ARowThatDoesNotUnarchiveIsSkippedWithAWarning) {
    Store store;
    store.saveKeyValues({{"a", T("1")}}, 60000);
    store.waitUntilIdle();
    execSql("INSERT INTO datalayer (key, value, expires) VALUES ('bad', x'00010203', 9223372036854775807)");
    store.saveKeyValues({{"c", T("3")}}, 60000);
    tmtest::CapturedLog log;
    EXPECT_EQ(keys(load(store)), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(log->count("warning", "does not unarchive"), 1u);
}

TEST_F(DataLayerStoreTest, AnUnopenableDatabaseLoadsEmpty) {
    std::filesystem::create_directories(dbPath());  // a folder where the file belongs
    tmtest::CapturedLog log;
    auto store = std::make_shared<Store>();
    store->saveKeyValues({{"a", T("1")}}, 60000);
    store->clearKeysWithPrefix("a");
    EXPECT_TRUE(load(*store).empty());
    EXPECT_GE(log->count("error"), 1u);
    // The data layer over it still finishes loading, so pushes do not block.
    auto dataLayer = ZAVDataLayer::create(store);
    dataLayer->push(ZAVObject::map({{T("k"), T("v")}}));
    EXPECT_EQ(dataLayer->get("k")->textValue(), "v");
    EXPECT_TRUE(std::filesystem::is_directory(dbPath()));
}

// Damage that the open does not see (the schema page is whole, the table's pages are not) is found by
// the next save: the file is set aside once and the save lands in a new one, read at the next launch.
TEST_F(DataLayerStoreTest, DamageFoundAfterTheOpenSetsTheFileAsideAndTheSaveLandsInANewOne) {
    {
        Store store;
        store.saveKeyValues(entries("old", 200), 60000);
        store.waitUntilIdle();
    }
    std::string bytes = testsupport::readFile(dbPath());
    ASSERT_GT(bytes.size(), 8192u);
    const size_t page = static_cast<size_t>(static_cast<uint8_t>(bytes[16])) << 8 |
                        static_cast<uint8_t>(bytes[17]);  // the header's page size
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(page), bytes.end(), 'g');
    testsupport::writeFile(dbPath(), bytes);
    tmtest::CapturedLog log;
    {
        Store store;
        store.saveKeyValues({{"kept", T("1")}}, 60000);
        store.saveKeyValues({{"also", T("2")}}, 60000);
        store.waitUntilIdle();
    }
    EXPECT_EQ(log->count("warning", "was damaged; set aside and started empty"), 1u);
    Store next;
    EXPECT_EQ(keys(load(next)), (std::vector<std::string>{"kept", "also"}));
}

TEST_F(DataLayerStoreTest, AFileEmptiedToZeroBytesIsToldOfAndSetAside) {
    testsupport::writeFile(dbPath(), "");
    tmtest::CapturedLog log;
    Store store;
    EXPECT_TRUE(load(store).empty());
    EXPECT_EQ(log->count("warning", "emptied to 0 bytes: all it held is lost"), 1u);
    EXPECT_EQ(log->count("warning", "was damaged; set aside and started empty"), 1u);
}

// Saves queued while the queue is busy (a load's answer holds it) reach the file in one transaction: one
// change of the file's change counter.
TEST_F(DataLayerStoreTest, SavesQueuedTogetherAreWrittenInOneTransaction) {
    Store store;
    store.saveKeyValues({{"first", T("0")}}, 60000);
    store.waitUntilIdle();
    auto changeCounter = [&] {
        std::string header = testsupport::readFile(dbPath()).substr(24, 4);
        return uint32_t(uint8_t(header[0])) << 24 | uint32_t(uint8_t(header[1])) << 16 |
               uint32_t(uint8_t(header[2])) << 8 | uint32_t(uint8_t(header[3]));
    };
    const uint32_t before = changeCounter();
    struct Hold : ZAVDataLayerPersistentStoreCallback {
        void onKeyValuesLoaded(const std::vector<ZAVKeyValue>&) override {
            entered.set_value();
            release.wait();
        }
        std::promise<void> entered;
        std::shared_future<void> release;
    };
    std::promise<void> release;
    auto hold = std::make_shared<Hold>();
    hold->release = release.get_future().share();
    auto entered = hold->entered.get_future();
    store.loadSaved(hold);
    ASSERT_EQ(entered.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    for (int i = 0; i < 500; ++i) store.saveKeyValues({{"k" + std::to_string(i), I(i)}}, 60000);
    release.set_value();
    store.waitUntilIdle();
    EXPECT_EQ(changeCounter() - before, 1u);
    EXPECT_EQ(column("SELECT COUNT(*) FROM datalayer"), (std::vector<std::string>{"501"}));
}

// A batch that does not reach the file is rolled back whole and written, in order, with the next write:
// a commit held off by another connection's read lock, then a transaction SQLite ends itself mid-batch.
TEST_F(DataLayerStoreTest, AFailedBatchIsKeptWholeAndWrittenLater) {
    Store store;
    store.saveKeyValues({{"a", T("0")}}, 60000);
    store.waitUntilIdle();
    tmtest::CapturedLog log;
    {
        plat::SqliteFile reader;
        ASSERT_EQ(reader.open(dbPath(), {.busyTimeoutMillis = 0, .quickCheck = false}),
                  plat::SqliteFile::OpenStatus::Open);
        ASSERT_TRUE(reader.exec("BEGIN"));
        ASSERT_EQ(reader.prepare("SELECT COUNT(*) FROM datalayer").step(), plat::SqliteFile::kRow);
        store.saveKeyValues({{"b1", T("1")}, {"b2", T("2")}}, 60000);
        store.clearKeysWithPrefix("a");
        store.waitUntilIdle();
    }
    EXPECT_EQ(log->count("warning", "pushes waiting: 2"), 1u);
    EXPECT_EQ(column("SELECT key FROM datalayer"), (std::vector<std::string>{"a"}));
    execSql(
        "CREATE TRIGGER refuse BEFORE INSERT ON datalayer WHEN NEW.key = 'c2' BEGIN SELECT RAISE(ROLLBACK, "
        "'refused'); END");
    store.saveKeyValues({{"c1", T("3")}, {"c2", T("4")}, {"c3", T("5")}}, 60000);
    store.waitUntilIdle();
    EXPECT_EQ(column("SELECT key FROM datalayer"), (std::vector<std::string>{"a"}));
    execSql("DROP TRIGGER refuse");
    store.saveKeyValues({{"d", T("6")}}, 60000);
    EXPECT_EQ(keys(load(store)), (std::vector<std::string>{"b1", "b2", "c1", "c2", "c3", "d"}));
}

// A save that another connection's write lock held off waits for a retry; the workers' end tries it again.
TEST_F(DataLayerStoreTest, TheWorkersEndWritesAWaitingSave) {
    Store store;
    load(store);  // the file and its table
    auto db = std::make_unique<plat::SqliteFile>();
    ASSERT_TRUE(db->open(dbPath(), {}) == plat::SqliteFile::OpenStatus::Open && db->exec("BEGIN IMMEDIATE"));
    store.saveKeyValues({{"b", T("1")}}, 60000);
    store.waitUntilIdle();
    db.reset();
    ZAVWorkers::shutdown();
    EXPECT_EQ(column("SELECT key FROM datalayer"), (std::vector<std::string>{"b"}));
}

TEST_F(DataLayerStoreTest, TheWorkersEndTellsOfTheSavesItCannotWrite) {
    std::filesystem::create_directories(dbPath());  // a folder where the file belongs
    tmtest::CapturedLog log;
    Store store;
    store.saveKeyValues({{"a", T("1")}}, 60000);
    ZAVWorkers::shutdown();
    EXPECT_EQ(log->count("error", "Data-layer store closed with 1 pushes unwritten"), 1u);
}

TEST_F(DataLayerStoreTest, AnOldFileKeepsItsTable) {
    execSql(
        "CREATE TABLE datalayer ( 'ID' INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, 'key' STRING NOT NULL, "
        "'value' BLOB NOT NULL, 'expires' INTEGER NOT NULL)");
    Store store;
    store.saveKeyValues({{"k", T("v")}}, 60000);
    EXPECT_EQ(keys(load(store)), (std::vector<std::string>{"k"}));
    auto schema = column("SELECT sql FROM sqlite_master WHERE name = 'datalayer'");
    ASSERT_EQ(schema.size(), 1u);
    EXPECT_NE(schema[0].find("STRING"), std::string::npos);
}

TEST_F(DataLayerStoreTest, SavedEntriesComeBackIntoTheNextDataLayer) {
    {
        auto dataLayer = ZAVDataLayer::create(std::make_shared<Store>());
        dataLayer->push(ZAVObject::map({{T("vuz"), ZAVObject::map({{T("lifetime"), T("1h")}})},
                                        {T("user"), ZAVObject::map({{T("id"), T("u1")}})},
                                        {T("flag"), ZAVBoolean::booleanWithBool(true)}}));
    }
    // The first store writes on a queue of its own, which the next store's read does not wait for: the
    // next launch starts once the workers have ended, their work done.
    ZAVWorkers::shutdown();
    ASSERT_EQ(column("SELECT key FROM datalayer").size(), 2u);
    auto dataLayer = ZAVDataLayer::create(std::make_shared<Store>());
    dataLayer->push(ZAVObject::map({{T("other"), I(1)}}));  // waits for the saved entries
    ASSERT_NE(dataLayer->get("user.id"), nullptr);
    EXPECT_EQ(dataLayer->get("user.id")->textValue(), "u1");
    ASSERT_NE(dataLayer->get("flag"), nullptr);
    EXPECT_TRUE(dataLayer->get("flag")->isBoolean());
    EXPECT_EQ(dataLayer->get("vuz.lifetime"), nullptr);
}

// The load's answer may drop the last holder of the store, which then ends on its own queue: the work
// queued behind the load still runs.
TEST_F(DataLayerStoreTest, AStoreReleasedByItsOwnAnswerFinishesItsWork) {
    struct Drop : ZAVDataLayerPersistentStoreCallback {
        void onKeyValuesLoaded(const std::vector<ZAVKeyValue>&) override {
            held.reset();
            done.set_value();
        }
        std::shared_ptr<Store> held;
        std::promise<void> done;
    };
    auto drop = std::make_shared<Drop>();
    auto done = drop->done.get_future();
    {
        auto store = std::make_shared<Store>();
        drop->held = store;
        store->loadSaved(drop);
        store->saveKeyValues({{"late", T("x")}}, 60000);
    }
    drop.reset();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    // The queue ended itself; ending the workers waits for the save queued behind the load.
    ZAVWorkers::shutdown();
    EXPECT_EQ(column("SELECT key FROM datalayer"), (std::vector<std::string>{"late"}));
}

}  // namespace
