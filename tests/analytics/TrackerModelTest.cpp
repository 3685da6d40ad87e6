#include <gtest/gtest.h>

#include <memory>

#include "analytics/base/RUVHitUtil.h"
#include "analytics/hits/RUVTrackerModel.h"
#include "analytics/store/RUVDataStore.h"
#include "platform/base/ClassRegistry.h"
#include "platform/base/Clock.h"
#include "platform/storage/Bundle.h"
#include "platform/ui/Window.h"
#include "tests/analytics/StoreTestSupport.h"

namespace {
constexpr const char* kAppFieldsEnv = "POTEMARU_ANALYTICS_APP_FIELDS";
// The child: the app fields of its hits, after it gave itself an identity when asked ("own"). They are
// taken once a process, so each case is a process of its own.
const bool kIsAppFieldsChild = [] {
    const char* argument = std::getenv(kAppFieldsEnv);
    if (!argument) return false;
    if (std::string(argument).ends_with(",own")) {
        plat::Bundle::resetMainInfoValues();
        plat::Bundle::setMainIdentity("org.example.app", "Example", "2.1");
    }
    std::string line;
    for (const char* key : {"&aid", "&an", "&av"}) {
        const auto& defaults = RUVTrackerModel::defaultParameters();
        const auto it = defaults.find(key);
        line += std::string(key) + "=" + (it != defaults.end() && it->second ? *it->second : "-") + " ";
    }
    line += "\n";
    std::_Exit(write(std::atoi(argument), line.data(), line.size()) < 0 ? 1 : 0);
}();

struct FakeProvider : RUVAdIdProvider {
    std::optional<std::string> retrieveId() override { return id; }
    bool retrieveTrackingFlag() override { return tracking; }
    std::string id = "AEBE52E7-03EE-455A-B3C4-E57283966239";
    bool tracking = true;
};

class TrackerModel : public analyticstest::StoreTest {
  protected:
    void SetUp() override {
        clock_ = std::make_shared<plat::VirtualClock>(1500000000LL * 1000000LL);
        previous_ = plat::Clock::setShared(clock_);
        store_ = RUVDataStore::dataStore();
        analyticstest::drainWorker();
        ASSERT_TRUE(store_->isSetUp());
    }
    void TearDown() override {
        plat::ClassRegistry::shared().unregister(RUVTrackerModel::kProviderClassName);
        store_.reset();
        analyticstest::StoreTest::TearDown();
        plat::Clock::setShared(previous_);
    }
    std::shared_ptr<plat::VirtualClock> clock_;
    std::shared_ptr<plat::Clock> previous_;
    std::shared_ptr<RUVDataStore> store_;
};
}  // namespace

TEST_F(TrackerModel, ForcedVersionsClientIdNullsAndCacheBuster) {
    RUVTrackerModel model(store_);
    model.setObject("9", "&v");
    model.setObject("x", "&_v");
    model.setObject("", "&cid");
    model.setObject(std::nullopt, "&ul");
    auto first = model.buildDictionary();
    EXPECT_EQ(first["&v"], "1");
    EXPECT_EQ(first["&_v"], "mi3.1.2");
    ASSERT_TRUE(first["&cid"]);
    EXPECT_EQ(first["&cid"], store_->clientId());
    EXPECT_EQ(first["&cid"]->size(), 36u);
    EXPECT_EQ(first["&ul"], std::nullopt);
    EXPECT_EQ(first["&ds"], "app");
    EXPECT_EQ(first["&idfa"], std::nullopt);  // no provider
    auto second = model.buildDictionary();
    EXPECT_LT(std::stoull(*first["&z"]), std::stoull(*second["&z"]));
}

TEST_F(TrackerModel, ScreenViewsShareOneCounterThatWraps) {
    RUVTrackerModel one(store_), two(store_);
    const uint32_t saved = RUVTrackerModel::screenViewCounter();
    RUVTrackerModel::setScreenViewCounter(41);
    RUVTrackerModel::willSendScreenView();
    auto a = one.buildDictionary()["&a"];
    RUVTrackerModel::willSendScreenView();
    auto b = two.buildDictionary()["&a"];
    EXPECT_EQ(a, "42");
    EXPECT_EQ(b, "43");
    RUVTrackerModel::setScreenViewCounter(2147483647u);
    RUVTrackerModel::willSendScreenView();
    EXPECT_EQ(one.objectForKey("&a"), RUVHitValue("1"));
    RUVTrackerModel::setScreenViewCounter(saved);
}

TEST_F(TrackerModel, ProviderAddsIdfaAndANewIdentifierStartsANewClient) {
    auto provider = std::make_shared<FakeProvider>();
    plat::ClassRegistry::shared().registerProvider<RUVAdIdProvider>(RUVTrackerModel::kProviderClassName,
                                                                    provider);
    RUVTrackerModel model(store_);
    EXPECT_EQ(model.buildDictionary()["&idfa"], std::nullopt);  // not allowed yet
    model.setAllowIDFACollection(true);
    auto hit = model.buildDictionary();
    EXPECT_EQ(hit["&idfa"], provider->id);
    EXPECT_EQ(hit["&ate"], "1");
    const auto client = store_->clientId();
    EXPECT_EQ(store_->hashedIdfa(), RUVHitUtil::hashIdfa(provider->id, client.value_or("")));
    const int64_t changes = store_->idfaChangeCount();

    provider->id = "11111111-2222-3333-4444-555555555555";
    hit = model.buildDictionary();
    EXPECT_EQ(store_->idfaChangeCount(), changes + 1);
    EXPECT_NE(store_->clientId(), client);
    EXPECT_EQ(hit["&_crc"], std::to_string(changes + 1));

    clock_->advance(86401);
    EXPECT_EQ(model.buildDictionary()["&_crc"], "0");
}

TEST_F(TrackerModel, CopyWithOverrideLaysParametersOverACopyAndLeavesTheOriginal) {
    RUVTrackerModel model(store_);
    model.setObject("UA-1-1", "&tid");
    model.setObject("Title", "&cd");
    model.setAllowIDFACollection(true);
    auto copy = model.copyWithOverride({{"&cd", "Level 3"}, {"&t", "screenview"}, {"&ul", std::nullopt}});
    EXPECT_EQ(copy.objectForKey("&cd"), RUVHitValue("Level 3"));
    EXPECT_EQ(copy.objectForKey("&t"), RUVHitValue("screenview"));
    EXPECT_EQ(copy.objectForKey("&tid"), RUVHitValue("UA-1-1"));
    // A null override hides the computed fact.
    EXPECT_EQ(copy.objectForKey("&ul"), std::optional<RUVHitValue>(RUVHitValue()));
    EXPECT_TRUE(copy.allowIDFACollection());
    EXPECT_EQ(copy.dataStore(), store_);
    auto hit = copy.buildDictionary();
    EXPECT_EQ(hit["&cd"], "Level 3");
    EXPECT_EQ(hit["&ul"], std::nullopt);
    EXPECT_EQ(model.objectForKey("&cd"), RUVHitValue("Title"));
    EXPECT_FALSE(model.parameters().count("&t"));
    EXPECT_TRUE(model.objectForKey("&ul").value().has_value());
}

TEST_F(TrackerModel, HitsNameTheAppThatSendsThem) {
    const auto programs = analyticstest::runChildUntilKilled(kAppFieldsEnv, "", 1, 50).reported;
    ASSERT_EQ(programs.size(), 1u);
    EXPECT_EQ(*programs.begin(), "&aid=- &an=analytics_tests &av=- ");
    const auto own = analyticstest::runChildUntilKilled(kAppFieldsEnv, "own", 1, 50).reported;
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(*own.begin(), "&aid=org.example.app &an=Example &av=2.1 ");
}

TEST_F(TrackerModel, AProgramThatShowsNoScreenSendsNoScreenSize) {
    RUVTrackerModel model(store_);
    plat::Screen& screen = plat::Screen::main();
    const plat::Screen saved = screen;
    screen = plat::Screen();
    EXPECT_EQ(model.buildDictionary()["&sr"], std::nullopt);
    screen.setBounds({0, 0, 320, 568}, 2);
    EXPECT_EQ(model.buildDictionary()["&sr"], "640x1136");
    screen = saved;
}
