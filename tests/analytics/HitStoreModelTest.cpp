#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "analytics/base/RUVHitUtil.h"
#include "analytics/store/RUVCoreDataUtil.h"
#include "analytics/store/RUVStoreContext.h"
#include "tests/analytics/StoreTestSupport.h"

using namespace analyticstest;

TEST(HitStoreModels, EntitiesAndAttributesInOrder) {
    RUVManagedObjectModel current = RUVCoreDataUtil::model();
    ASSERT_EQ(current.entities.size(), 1u);
    const auto& hit = current.entities[0];
    EXPECT_EQ(hit.name, "RUVHit");
    ASSERT_EQ(hit.properties.size(), 2u);
    EXPECT_EQ(hit.properties[0], (RUVAttributeDescription{"timestamp", RUVAttributeDate, "", true, true}));
    EXPECT_EQ(hit.properties[1], (RUVAttributeDescription{"parameters", RUVAttributeTransformable,
                                                          "NSDictionary", false, true}));

    RUVManagedObjectModel old = RUVCoreDataUtil::oldModel();
    ASSERT_EQ(old.entities.size(), 2u);
    EXPECT_EQ(old.entities[0].name, "RUVProperty");
    EXPECT_EQ(old.entities[1].name, "RUVHit");
    std::vector<std::string> names;
    for (const auto& e : old.entities) {
        ASSERT_EQ(e.properties.size(), 4u);
        for (const auto& a : e.properties) names.push_back(a.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"name", "string", "number", "ruvVersion", "timestamp",
                                               "parametersData", "dispatchUrl", "ruvVersion"}));
    EXPECT_EQ(old.entities[0].properties[2].attributeType, RUVAttributeInteger64);
    EXPECT_FALSE(old.entities[1].properties[1].optional);

    EXPECT_EQ(RUVCoreDataUtil::model(), current);
    EXPECT_NE(current.layoutMark(), old.layoutMark());
}

TEST(HitStoreModels, BadDescriptionsAreRefused) {
    LoggerScope logger;
    plat::Value::Dictionary bad{
        {"entities", plat::Value(plat::Value::Array{plat::Value(plat::Value::Dictionary{
                         {"name", plat::Value("E")}, {"colour", plat::Value("red")}})})}};
    EXPECT_FALSE(RUVCoreDataUtil::modelWithDescription(plat::Value(bad)));
    EXPECT_FALSE(RUVCoreDataUtil::modelWithDescription(plat::Value("x")));
    EXPECT_TRUE(logger->contains("Unknown entity key: colour"));
}

TEST(HitStoreModels, ParametersBlobRoundTripsAndRefusesDamage) {
    plat::Value::Dictionary p{{"&t", plat::Value("screenview")},
                              {"&cd", plat::Value()},
                              {"&e", plat::Value("")},
                              {"&n", plat::Value(5)},
                              {"ぽ", plat::Value("レベル")}};
    plat::Bytes blob = RUVStoreContext::encodeParameters(p);
    auto back = RUVStoreContext::decodeParameters(blob.data(), blob.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back->find("&n"), plat::Value("5"));
    EXPECT_TRUE(back->find("&cd")->isNull());
    EXPECT_TRUE(back->contains("&cd"));
    EXPECT_EQ(back->keys(), p.keys());
    for (size_t cut = 0; cut < blob.size(); ++cut)
        EXPECT_FALSE(RUVStoreContext::decodeParameters(blob.data(), cut));
    blob.push_back(0);
    EXPECT_FALSE(RUVStoreContext::decodeParameters(blob.data(), blob.size()));
    EXPECT_THROW(RUVStoreContext::encodeParameters({{"&x", plat::Value(plat::Value::Array{})}}),
                 plat::Exception);
}

TEST(HitUtil, ClientIdsAreVersion4Uuids) {
    std::set<std::string> seen;
    std::regex form("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    for (int i = 0; i < 100; ++i) {
        std::string id = RUVHitUtil::generateClientId();
        EXPECT_TRUE(std::regex_match(id, form)) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 100u);
}

class HitStoreTables : public StoreTest {};

TEST_F(HitStoreTables, LayoutFollowsTheModels) {
    onWorker([&] {
        std::vector<std::pair<RUVManagedObjectModel, std::string>> files{
            {RUVCoreDataUtil::model(), "v3.sql"}, {RUVCoreDataUtil::oldModel(), "v2.sql"}};
        for (const auto& [model, name] : files) {
            RUVStoreContext context(model, file(name));
            std::optional<plat::Error> error;
            EXPECT_EQ(context.open(error), RUVStoreContext::OpenStatus::Open);
        }
    });
    RawDb v3(file("v3.sql"));
    // name and notnull of each column, in order
    EXPECT_EQ(v3.column("PRAGMA table_info(RUVHit)", 1),
              (std::vector<std::string>{"objectID", "timestamp", "parameters"}));
    EXPECT_EQ(v3.column("PRAGMA table_info(RUVHit)", 3), (std::vector<std::string>{"0", "0", "0"}));
    EXPECT_EQ(v3.column("PRAGMA index_info(RUVHit_timestamp)", 2), (std::vector<std::string>{"timestamp"}));
    EXPECT_EQ(v3.scalar("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(v3.scalar("SELECT count(*) FROM sqlite_master WHERE sql LIKE '%AUTOINCREMENT%'"), "1");
    EXPECT_EQ(v3.scalar("PRAGMA application_id"), std::to_string(RUVCoreDataUtil::model().layoutMark()));

    RawDb v2(file("v2.sql"));
    EXPECT_EQ(v2.column("PRAGMA table_info(RUVProperty)", 3),
              (std::vector<std::string>{"0", "1", "0", "0", "1"}));
    EXPECT_EQ(v2.column("PRAGMA table_info(RUVHit)", 3), (std::vector<std::string>{"0", "1", "1", "1", "1"}));
    std::set<std::string> indexes;
    for (const auto& n : v2.column("SELECT name FROM sqlite_master WHERE type='index'")) indexes.insert(n);
    EXPECT_EQ(indexes,
              (std::set<std::string>{"RUVProperty_name", "RUVProperty_ruvVersion", "RUVHit_timestamp",
                                     "RUVHit_dispatchUrl", "RUVHit_ruvVersion"}));
}

TEST_F(HitStoreTables, AnOpenAfterAFailedOneIsCheckedToo) {
    // A folder in the file's place: the first open fails and the file is kept.
    std::filesystem::create_directory(file("v3.sql"));
    onWorker([&] {
        RUVStoreContext context(RUVCoreDataUtil::model(), file("v3.sql"));
        std::optional<plat::Error> error;
        EXPECT_EQ(context.open(error), RUVStoreContext::OpenStatus::Failed);
        std::filesystem::remove(file("v3.sql"));
        testsupport::writeFile(file("v3.sql"), std::string(4096, 'x'));
        error.reset();
        // The next use opens it again, and the damage is set aside as at a first open.
        EXPECT_EQ(context.count("RUVHit", error), 0);
        EXPECT_FALSE(error);
    });
    EXPECT_EQ(logger->count("Corrupted database with URL file://" + file("v3.sql").string()), 1u);
    EXPECT_EQ(filesStartingWith("v3.sql.damaged-").size(), 1u);
}

TEST_F(HitStoreTables, AChangeToARemovedFileFails) {
    onWorker([&] {
        RUVStoreContext context(RUVCoreDataUtil::model(), file("v3.sql"));
        std::optional<plat::Error> error;
        ASSERT_EQ(context.open(error), RUVStoreContext::OpenStatus::Open);
        RUVStoreContext::removeWithSideFiles(file("v3.sql"));
        plat::Value::Dictionary values{{"timestamp", plat::Value(plat::Value::Date{1})}};
        EXPECT_FALSE(context.insert("RUVHit", values, error));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), plat::SqliteFile::kReadOnlyDbMoved);
    });
    EXPECT_TRUE(filesStartingWith("v3.sql").empty());
}
