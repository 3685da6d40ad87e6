#include <gtest/gtest.h>

#include <sys/stat.h>

#include "analytics/store/RUVAnalyticsPropertiesStore.h"
#include "analytics/store/RUVSqlStore.h"
#include "platform/runloop/NotificationCenter.h"
#include "tests/analytics/StoreTestSupport.h"

using namespace analyticstest;

namespace {

constexpr const char* kAux = RUVSqlStore::kSharedDatabaseName;

class SqlStore : public StoreTest {
  protected:
    void SetUp() override {
        observer_ = plat::NotificationCenter::defaultCenter().addObserver(
            RUVSqlStore::kDidOpenDatabaseNotification, [this](const plat::Notification&) { ++opened; });
    }
    void TearDown() override {
        onWorker([this] {
            properties.reset();
            store.reset();
        });
        plat::NotificationCenter::defaultCenter().removeObserver(observer_);
        StoreTest::TearDown();
    }
    // Makes the SQL store (and, when asked, the properties store over it), on the worker.
    void make(bool withProperties) {
        onWorker([&] {
            store = RUVSqlStore::initWithDatabaseName(kAux);
            if (withProperties) properties = std::make_unique<RUVAnalyticsPropertiesStore>(store.get());
        });
    }

    std::atomic<int> opened{0};
    std::unique_ptr<RUVSqlStore> store;
    std::unique_ptr<RUVAnalyticsPropertiesStore> properties;

  private:
    plat::NotificationCenter::Token observer_ = 0;
};

}  // namespace

TEST_F(SqlStore, FirstOpenPostsOnce) {
    make(false);
    EXPECT_EQ(store->databasePath(), file(kAux));
    EXPECT_FALSE(std::filesystem::exists(file(kAux)));
    EXPECT_TRUE(onWorker([&] { return store->ensureOpenDatabase() && store->ensureOpenDatabase(); }));
    EXPECT_EQ(opened.load(), 1);
    EXPECT_TRUE(std::filesystem::exists(file(kAux)));
    EXPECT_FALSE(store->errorMessage()->empty());
}

TEST_F(SqlStore, GarbageAndVanishedFilesAreRecreated) {
    testsupport::writeFile(file(kAux), std::string(3000, 'g'));
    make(false);
    EXPECT_TRUE(onWorker([&] { return store->ensureOpenDatabase(); }));
    EXPECT_EQ(opened.load(), 1);
    EXPECT_EQ(filesStartingWith(std::string(kAux) + ".damaged-").size(), 1u);

    // Committed to the log, which outlives the removed file; the new file must not take it in.
    EXPECT_EQ(onWorker([&] { return store->executeSql("CREATE TABLE t (x)"); }), 101);
    ASSERT_TRUE(std::filesystem::exists(file(std::string(kAux) + "-wal")));
    std::filesystem::remove(file(kAux));
    EXPECT_TRUE(onWorker([&] { return store->ensureOpenDatabase(); }));
    EXPECT_EQ(opened.load(), 2);
    EXPECT_TRUE(std::filesystem::exists(file(kAux)));
    EXPECT_FALSE(onWorker([&] { return store->tableExists("t"); }));
}

TEST_F(SqlStore, ImmutableFileIsMadeWritable) {
    {
        RawDb db(file(kAux));
        db.exec("CREATE TABLE t (x); INSERT INTO t VALUES (1)");
    }
    ::chmod(file(kAux).c_str(), 0444);
    make(false);
    EXPECT_TRUE(onWorker([&] { return store->ensureOpenDatabase(); }));
    struct stat st {};
    ::stat(file(kAux).c_str(), &st);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
    EXPECT_EQ(onWorker([&] { return store->rowCountForTableWithName("t"); }), 1u);
    EXPECT_EQ(onWorker([&] { return store->executeSql("INSERT INTO t VALUES (2)"); }), 101);
}

TEST_F(SqlStore, LockedFileIsKept) {
    {
        RawDb db(file(kAux));
        db.exec("CREATE TABLE t (x); INSERT INTO t VALUES (1)");
    }
    RawDb locker(file(kAux));
    ASSERT_EQ(locker.exec("BEGIN EXCLUSIVE"), plat::SqliteFile::kOk);
    make(false);
    EXPECT_FALSE(onWorker([&] { return store->ensureOpenDatabase(); }));
    EXPECT_TRUE(filesStartingWith(std::string(kAux) + ".damaged-").empty());
    ASSERT_EQ(locker.exec("COMMIT"), plat::SqliteFile::kOk);
    EXPECT_EQ(onWorker([&] { return store->rowCountForTableWithName("t"); }), 1u);
}

TEST_F(SqlStore, TableHelpersAndStatementCache) {
    make(false);
    onWorker([&] {
        EXPECT_TRUE(store->dropTableWithName("missing"));
        EXPECT_EQ(store->rowCountForTableWithName("missing"), 0u);
        EXPECT_FALSE(store->dropTableWithName(""));
        EXPECT_EQ(store->executeSql("CREATE TABLE t (x)"), 101);
        EXPECT_TRUE(store->tableExists("t"));
        EXPECT_EQ(store->executeSql(""), 21);
        EXPECT_EQ(store->executeSql("NOT SQL"), 1);
        EXPECT_FALSE(store->prepareSql("ALSO NOT SQL").ok());
        auto* s = store->statementForQuery("SELECT 1");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(store->statementForQuery("SELECT 1"), s);
        size_t before = store->cachedStatementCount();
        store->setStatement({}, "SELECT 1");
        EXPECT_EQ(store->cachedStatementCount(), before - 1);
        EXPECT_TRUE(store->dropTableWithName("t"));
        EXPECT_FALSE(store->tableExists("t"));
        EXPECT_FALSE(store->closeDatabase());
        EXPECT_EQ(store->cachedStatementCount(), 0u);
        EXPECT_FALSE(store->errorMessage());
    });
    EXPECT_TRUE(logger->contains("Table does not exist: missing"));
    EXPECT_TRUE(logger->contains("Received empty table name"));
    EXPECT_TRUE(logger->contains("Received empty sql string"));
    EXPECT_TRUE(logger->contains("Failed to construct sql statement: "));
    EXPECT_TRUE(logger->contains("Failed to prepare sql statement: "));
    EXPECT_EQ(RUVSqlStore::initWithDatabaseName(""), nullptr);
    EXPECT_TRUE(logger->contains("Received empty database name"));
}

TEST_F(SqlStore, PropertiesStatementsByteForByte) {
    make(true);
    EXPECT_EQ(properties->propertiesTableSchemaSql(),
              "CREATE TABLE IF NOT EXISTS properties ('tid' TEXT PRIMARY KEY NOT NULL, 'cid' TEXT NOT NULL, "
              "'hit_number' INTEGER NOT NULL, 'last_modified_time_since_1970' REAL NOT NULL, "
              "'checked_iad_campaign' INTEGER NOT NULL);");
    EXPECT_EQ(properties->propertiesTableUpsertSql(),
              "INSERT OR REPLACE INTO properties (tid, cid, hit_number, last_modified_time_since_1970, "
              "checked_iad_campaign) VALUES (?, ?, ?, ?, ?);");
    EXPECT_EQ(properties->storageLimit(), 1000u);
}

TEST_F(SqlStore, HitNumbersPerTrackingId) {
    make(true);
    onWorker([&] {
        EXPECT_EQ(properties->nextHitNumberForTrackingId("UA-1", "c1"), "0");
        EXPECT_EQ(properties->nextHitNumberForTrackingId("UA-1", "c1"), "1");
        EXPECT_EQ(properties->nextHitNumberForTrackingId("UA-2", "c1"), "0");
        EXPECT_EQ(properties->trackerIdCount(), 2u);
    });
    {
        RawDb db(file(kAux));
        EXPECT_EQ(db.scalar("SELECT hit_number FROM properties WHERE tid='UA-1'"), "1");
    }
    onWorker([&] {
        // Another client id starts every number again.
        EXPECT_EQ(properties->nextHitNumberForTrackingId("UA-1", "c2"), "0");
        EXPECT_EQ(properties->trackerIdCount(), 1u);
        EXPECT_EQ(properties->nextHitNumberForTrackingId("", "c2"), std::nullopt);
        EXPECT_EQ(properties->nextHitNumberForTrackingId("UA-1", ""), std::nullopt);
    });
    EXPECT_EQ(logger->count("Received empty tracking id or client id"), 2u);

    {
        RawDb db(file(kAux));
        db.exec(
            "UPDATE properties SET hit_number=2147483647, last_modified_time_since_1970=5 WHERE tid='UA-1'");
    }
    EXPECT_EQ(onWorker([&] { return properties->nextHitNumberForTrackingId("UA-1", "c2"); }), std::nullopt);
    RawDb db(file(kAux));
    EXPECT_EQ(db.scalar("SELECT hit_number || ',' || last_modified_time_since_1970 FROM properties"),
              "2147483647,5.0");
}

TEST_F(SqlStore, StorageLimitStopsEveryWrite) {
    make(true);
    onWorker([&] { EXPECT_EQ(properties->nextHitNumberForTrackingId("UA-0", "c"), "0"); });
    {
        RawDb db(file(kAux));
        db.exec("BEGIN");
        for (int i = 1; i < 1000; ++i) {
            db.exec("INSERT INTO properties VALUES ('UA-" + std::to_string(i) + "', 'c', 0, 0, 0)");
        }
        db.exec("COMMIT");
    }
    onWorker([&] {
        EXPECT_TRUE(properties->isPropertiesTableFull());
        EXPECT_EQ(properties->nextHitNumberForTrackingId("UA-0", "c"), std::nullopt);
        EXPECT_EQ(properties->nextHitNumberForTrackingId("UA-new", "c"), std::nullopt);
    });
    EXPECT_EQ(logger->count("W "), logger->count("Reached properties storage limit"));
    EXPECT_EQ(logger->count("Reached properties storage limit"), 2u);
}

TEST_F(SqlStore, TableWithMissingColumnIsRecreated) {
    {
        RawDb db(file(kAux));
        db.exec(
            "CREATE TABLE properties (tid TEXT, cid TEXT, hit_number INTEGER, "
            "last_modified_time_since_1970 REAL); INSERT INTO properties VALUES ('UA-1', 'c', 5, 0)");
    }
    make(true);
    EXPECT_EQ(onWorker([&] { return properties->nextHitNumberForTrackingId("UA-1", "c"); }), "0");
    EXPECT_TRUE(logger->contains(
        "Columns of properties table are not valid. Table will be dropped and created new."));
}

TEST_F(SqlStore, CampaignMarkIsSetOnce) {
    make(true);
    onWorker([&] {
        EXPECT_FALSE(properties->setCheckedIAdCampaignForTrackingId("UA-1"));
        EXPECT_EQ(properties->nextHitNumberForTrackingId("UA-1", "c"), "0");
        EXPECT_TRUE(properties->setCheckedIAdCampaignForTrackingId("UA-1"));
        EXPECT_FALSE(properties->setCheckedIAdCampaignForTrackingId("UA-1"));
        EXPECT_FALSE(properties->setCheckedIAdCampaignForTrackingId("UA-unknown"));
        // The mark survives the next hit number.
        EXPECT_EQ(properties->nextHitNumberForTrackingId("UA-1", "c"), "1");
        EXPECT_FALSE(properties->setCheckedIAdCampaignForTrackingId("UA-1"));
    });
    EXPECT_EQ(logger->count("Attempted to set iAd flag for tracking ID with no record"), 2u);
    EXPECT_TRUE(logger->contains("I ZediveAnalytics 3.12"));
    EXPECT_TRUE(logger->contains("Record for tracking id UA-unknown not found"));
}
