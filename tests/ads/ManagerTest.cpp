// The ad manager against real HTTPS loopback servers (the CDN mirror and the primary server), on a
// virtual clock so that retry timers fire only when the test moves time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "AdsTestSupport.h"
#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRRandom.h"
#include "ads/base/ZividedirBaseView.h"
#include "ads/settings/ADFRManager.h"
#include "platform/base/Clock.h"
#include "platform/base/Log.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/KeyedArchive.h"
#include "platform/storage/UserDefaults.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"

using adstest::answer;
using adstest::entry;
using adstest::ScopedEnv;
using testsupport::Answer;
using testsupport::LoopbackServer;
using testsupport::runMainLoopUntil;
namespace fs = std::filesystem;

namespace {

constexpr const char* kPath = "/zividedir/api/getinfo/app_id/A/locale/ja_JP/ver/2.7.0/appver/1.0";

// Both servers' authorities in one file, for the loader to trust.
std::string joinedCaFile(const fs::path& dir, const LoopbackServer& a, const LoopbackServer& b) {
    fs::path path = dir / "ca.pem";
    testsupport::writeFile(path, testsupport::readFile(a.caFile()) + testsupport::readFile(b.caFile()));
    return path.string();
}

struct ManagerTest : ::testing::Test {
    ManagerTest() : loading(joinedCaFile(home.path(), mirror, primary)) {
        pointMirrorAt(mirror.port());
        pointPrimaryAt(primary.port());
        plat::Bundle::setMainInfoValue(plat::Bundle::kShortVersionKey, "1.0");
        view->setAppId("A");
        manager = makeManager(view);
    }
    ~ManagerTest() override {
        ADFRManager::unregisterFetchNotification(this);
        plat::Bundle::resetMainInfoValues();
    }

    std::shared_ptr<ADFRManager> makeManager(const std::shared_ptr<ZividedirBaseView>& v) {
        auto m = ADFRManager::create();
        m->setView(v);
        m->registerFetchNotification(this, [this] { ++fetched; });
        m->registerFetchFailedNotification(this, [this] { ++failed; });
        return m;
    }
    void pointMirrorAt(int port) {
        ADFREndpoints::setEndpoint(ADFREndpoints::Kind::SettingsMirror, {"https", "127.0.0.1", port});
    }
    void pointPrimaryAt(int port) {
        ADFREndpoints::setEndpoint(ADFREndpoints::Kind::Settings, {"https", "127.0.0.1", port});
    }
    void writeCache(const std::string& json) {
        ADFRData::registerCodingClasses();
        auto data = std::make_shared<ADFRData>();
        ASSERT_TRUE(data->parseJsonData(json.data(), json.size()));
        fs::create_directories(manager->cacheFilePath().parent_path());
        ASSERT_TRUE(plat::KeyedArchive::archiveToFile(manager->cacheFilePath(),
                                                      std::shared_ptr<const plat::Coding>(data)));
    }
    bool ended() { return fetched + failed > 0; }
    double storedNextUpdate() {
        auto v = plat::UserDefaults::standard()->objectForKey(manager->nextUpdateDateKey());
        return v && v->dateIf() ? v->dateIf()->secondsSince1970 : 0;
    }
    // Runs until the manager waits on its retry timer or has told its view.
    bool settle() {
        return runMainLoopUntil([&] { return manager->hasRetryTimer() || ended(); });
    }
    // Runs until the mirror saw `count` requests and the manager waits on a fresh retry timer.
    bool waitingAfterRequest(size_t count) {
        return runMainLoopUntil([&] { return mirror.requestCount() == count && manager->hasRetryTimer(); });
    }

    ScopedEnv lcAll{"LC_ALL", nullptr};
    ScopedEnv lcMessages{"LC_MESSAGES", nullptr};
    ScopedEnv language{"LANGUAGE", nullptr};
    ScopedEnv lang{"LANG", "ja_JP.UTF-8@calendar=japanese"};
    testsupport::TempHome home;
    testsupport::VirtualClockScope clock;
    LoopbackServer mirror{{.https = true}};
    LoopbackServer primary{{.https = true}};
    testsupport::URLLoadingScope loading;
    std::shared_ptr<ZividedirBaseView> view = std::make_shared<ZividedirBaseView>();
    std::shared_ptr<ADFRManager> manager;
    int fetched = 0;
    int failed = 0;
};

}  // namespace

TEST_F(ManagerTest, FetchesFromTheMirrorOverTlsAndCachesTheSettings) {
    mirror.route("GET", kPath, Answer{.body = answer(entry("u1", R"({"ja": 1})"))});
    double start = plat::Clock::shared().nowSeconds();
    manager->updateAd();
    ASSERT_TRUE(settle());
    EXPECT_EQ(fetched, 1);
    EXPECT_EQ(failed, 0);
    ASSERT_EQ(mirror.requestCount(), 1u);
    EXPECT_TRUE(mirror.requests()[0].tls);
    EXPECT_EQ(primary.requestCount(), 0u);
    EXPECT_EQ(manager->status(),
              ADFRManager::kStarted | ADFRManager::kResponseComplete | ADFRManager::kSettingsAvailable);
    ASSERT_TRUE(manager->adData());
    EXPECT_EQ(manager->adData()->adList().size(), 1u);
    manager->waitForCacheWrite();
    EXPECT_TRUE(fs::exists(home.path() / "Library" / "Zividedir" / "cache.dat_A"));
    EXPECT_DOUBLE_EQ(storedNextUpdate(), start + 900);
    EXPECT_TRUE(manager->isAdFetched());
    clock.clock().advance(901);
    EXPECT_FALSE(manager->isAdFetched());
}

TEST_F(ManagerTest, AManagerThatGoesLeavesWhatArrivedInTheCache) {
    mirror.route("GET", kPath, Answer{.body = answer(entry("u1", R"({"ja": 1})"))});
    manager->updateAd();
    ASSERT_TRUE(settle());
    manager.reset();
    ADFRData::registerCodingClasses();
    auto cached = std::dynamic_pointer_cast<ADFRData>(
        plat::KeyedArchive::unarchiveObjectFromFile(home.path() / "Library" / "Zividedir" / "cache.dat_A"));
    ASSERT_TRUE(cached);
    EXPECT_EQ(cached->adList().size(), 1u);
}

TEST_F(ManagerTest, NoAppVersionWithoutAShortVersion) {
    plat::Bundle::setMainInfoValue(plat::Bundle::kShortVersionKey, nullptr);
    mirror.route("GET", "/zividedir/api/getinfo/app_id/A/locale/ja_JP/ver/2.7.0", Answer{.body = answer("")});
    manager->updateAd();
    ASSERT_TRUE(settle());
    EXPECT_EQ(fetched, 1);
    EXPECT_EQ(manager->urlString().find("/appver"), std::string::npos);
}

TEST_F(ManagerTest, MirrorNotFoundGoesToThePrimaryAtOnce) {
    primary.route("GET", kPath, Answer{.body = answer("")});
    manager->updateAd();
    ASSERT_TRUE(settle());
    EXPECT_EQ(fetched, 1);
    EXPECT_EQ(mirror.requestCount(), 1u);
    EXPECT_EQ(primary.requestCount(), 1u);
    EXPECT_FALSE(manager->hasRetryTimer());
    // The data received set the mirror again for the next request.
    EXPECT_TRUE(manager->firstUrl());
}

TEST_F(ManagerTest, PrimaryNotFoundFailsAtOnce) {
    manager->updateAd();
    ASSERT_TRUE(settle());
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(fetched, 0);
    EXPECT_FALSE(manager->hasRetryTimer());
    EXPECT_TRUE(manager->firstUrl());
}

TEST_F(ManagerTest, MirrorRefusedGoesToThePrimary) {
    testsupport::RefusedPort refused;
    pointMirrorAt(refused.port());
    primary.route("GET", kPath, Answer{.body = answer("")});
    manager->updateAd();
    ASSERT_TRUE(settle());
    EXPECT_EQ(fetched, 1);
    EXPECT_EQ(primary.requestCount(), 1u);
}

TEST_F(ManagerTest, PrimaryRefusedWaitsTenSecondsThenTriesTheMirror) {
    testsupport::RefusedPort refused;
    pointPrimaryAt(refused.port());
    manager->updateAd();
    ASSERT_TRUE(settle());
    ASSERT_TRUE(manager->hasRetryTimer());
    EXPECT_EQ(mirror.requestCount(), 1u);
    EXPECT_EQ(manager->httpRetryCount(), 1);
    clock.clock().advance(9.9);
    testsupport::runMainLoopFor(0.05);
    EXPECT_EQ(mirror.requestCount(), 1u);
    mirror.route("GET", kPath, Answer{.body = answer("")});
    clock.clock().advance(0.1);
    ASSERT_TRUE(runMainLoopUntil([&] { return ended(); }));
    EXPECT_EQ(mirror.requestCount(), 2u);
    EXPECT_EQ(fetched, 1);
    EXPECT_EQ(manager->httpRetryCount(), 0);
}

TEST_F(ManagerTest, BadBodiesRetry24TimesThenFallBackToTheCache) {
    writeCache(answer(entry("cached", R"({"ja": 1})")));
    mirror.route("GET", kPath, Answer{.body = R"({"result": "ng"})"});
    manager->updateAd();
    for (size_t i = 0; i < ADFRManager::kMaxHttpRetries; ++i) {
        ASSERT_TRUE(waitingAfterRequest(i + 1)) << i;
        clock.clock().advance(10);
    }
    ASSERT_TRUE(runMainLoopUntil([&] { return ended(); }));
    EXPECT_EQ(mirror.requestCount(), 25u);
    EXPECT_EQ(primary.requestCount(), 0u);
    EXPECT_EQ(fetched, 1);
    EXPECT_EQ(failed, 0);
    ASSERT_TRUE(manager->adData());
    EXPECT_EQ(manager->adData()->adList()[0]->userAdId(), "cached");
    EXPECT_DOUBLE_EQ(storedNextUpdate(), plat::Clock::shared().nowSeconds() + 900);
}

TEST_F(ManagerTest, AnswersCutAfterSomeBytesRetryEveryTenSecondsThenUseTheCache) {
    writeCache(answer(entry("cached", R"({"ja": 1})")));
    const Answer cut{.body = answer(entry("u1", R"({"ja": 1})")),
                     .fault = testsupport::Fault::PartialBody,
                     .partialBytes = 15};
    mirror.route("GET", kPath, cut);
    primary.route("GET", kPath, cut);
    plat::LogCapture log;
    manager->updateAd();
    for (size_t i = 0; i < ADFRManager::kMaxHttpRetries; ++i) {
        ASSERT_TRUE(waitingAfterRequest(i + 1)) << i;
        clock.clock().advance(10);
    }
    ASSERT_TRUE(runMainLoopUntil([&] { return ended(); }));
    EXPECT_EQ(mirror.requestCount() + primary.requestCount(), 25u);
    EXPECT_EQ(fetched, 1);
    EXPECT_EQ(manager->adData()->adList()[0]->userAdId(), "cached");
    // One line a failed try, with its reason and count.
    const auto lines = log.lines();
    EXPECT_EQ(std::count_if(
                  lines.begin(), lines.end(),
                  [](const std::string& l) { return l.find("could not be fetched") != std::string::npos; }),
              25);
    EXPECT_TRUE(log.contains("retry 24 of 24 in 10 s"));
}

TEST_F(ManagerTest, BadBodiesWithoutACacheOnlyFail) {
    mirror.route("GET", kPath, Answer{.body = "<html>"});
    manager->updateAd();
    for (size_t i = 0; i < ADFRManager::kMaxHttpRetries; ++i) {
        ASSERT_TRUE(waitingAfterRequest(i + 1)) << i;
        clock.clock().advance(10);
    }
    ASSERT_TRUE(runMainLoopUntil([&] { return ended(); }));
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(fetched, 0);
    EXPECT_FALSE(manager->adData());
    EXPECT_EQ(storedNextUpdate(), 0);
}

TEST_F(ManagerTest, AnAnswerThatIsNotHttpIsToldOfAsSuch) {
    primary.route("GET", kPath, Answer{.body = R"({"result": "ok"})", .fault = testsupport::Fault::NotHttp});
    plat::LogCapture log;
    manager->updateAd();
    ASSERT_TRUE(settle());
    EXPECT_TRUE(log.contains("could not be fetched (The server's answer is not HTTP.); retry 1"));
}

TEST_F(ManagerTest, UnreachableRetries64TimesThenUsesTheCache) {
    writeCache(answer(""));
    testsupport::ForcedReachability offline(0);
    manager->updateAd();
    for (int i = 0; i < ADFRManager::kMaxNetworkRetries; ++i) {
        ASSERT_TRUE(manager->hasRetryTimer()) << i;
        EXPECT_EQ(fetched, 0);
        clock.clock().advance(0.25);
        plat::RunLoop::main().runOnce();
    }
    EXPECT_EQ(fetched, 1);
    EXPECT_FALSE(manager->hasRetryTimer());
    EXPECT_EQ(mirror.requestCount() + primary.requestCount(), 0u);
}

TEST_F(ManagerTest, UnreachableAfterAnHttpFailureUsesTheCacheAtOnce) {
    writeCache(answer(""));
    mirror.route("GET", kPath, Answer{.body = "nonsense"});
    manager->updateAd();
    ASSERT_TRUE(settle());
    ASSERT_TRUE(manager->hasRetryTimer());
    testsupport::ForcedReachability offline(0);
    clock.clock().advance(10);
    plat::RunLoop::main().runOnce();
    EXPECT_EQ(fetched, 1);
    EXPECT_EQ(mirror.requestCount(), 1u);
}

TEST_F(ManagerTest, WithOnlyTheBuiltInServersNothingIsAskedNorRetriedNorTakenFromTheCache) {
    writeCache(answer(entry("u1", R"({"ja": 1})")));
    // The servers stand where the defaults point, but neither the file nor the app names them.
    plat::Endpoints::shared().reset();
    plat::Endpoints::shared().setDefault("ads.settings_mirror", {"https", "127.0.0.1", mirror.port()});
    plat::Endpoints::shared().setDefault("ads.settings", {"https", "127.0.0.1", primary.port()});
    ADFREndpoints::forgetOfflineLines();
    plat::LogCapture log;
    manager->updateAd();
    manager->updateAd();
    ASSERT_TRUE(runMainLoopUntil([&] { return failed >= 2; }));
    EXPECT_EQ(mirror.requestCount() + primary.requestCount(), 0u);
    EXPECT_FALSE(manager->hasRetryTimer());
    EXPECT_FALSE(manager->isRequestUnderWay());
    EXPECT_FALSE(manager->nextAdEntity(nullptr));
    EXPECT_EQ(fetched, 0);
    const auto lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("no ad server") != std::string::npos; }),
              1);
}

TEST_F(ManagerTest, UnreadableCacheIsSetAsideAndCountsAsMissing) {
    fs::create_directories(manager->cacheFilePath().parent_path());
    testsupport::writeFile(manager->cacheFilePath(), "not an archive");
    manager->loadFromCache();
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(manager->adData());
    EXPECT_FALSE(fs::exists(manager->cacheFilePath()));
    fs::path aside = manager->cacheFilePath();
    aside += ".unreadable";
    EXPECT_EQ(testsupport::readFile(aside), "not an archive");
}

TEST_F(ManagerTest, ACacheFolderThatIsAFileIsToldOfInOneLine) {
    testsupport::writeFile(manager->cacheFilePath().parent_path(), "not a folder");
    plat::LogCapture log;
    manager->loadFromCache();
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(log.lines().size(), 1u);
}

TEST_F(ManagerTest, WeightedChoiceFollowsTheDraws) {
    writeCache(answer(entry("a", R"({"ja": 1})") + "," + entry("b", R"({"ja": 0, "en": 9})") + "," +
                      entry("c", R"({"ja": 3})")));
    std::vector<uint32_t> draws{0, 1, 2, 3};
    size_t next = 0;
    ADFRRandom::setDrawSource([&] { return draws[next++ % draws.size()]; });
    std::vector<int32_t> chosen;
    for (int i = 0; i < 4; ++i) {
        int32_t index = -7;
        auto entity = manager->nextAdEntity(&index);
        ASSERT_TRUE(entity);
        EXPECT_EQ(entity, manager->adData()->adList()[static_cast<size_t>(index)]);
        chosen.push_back(index);
    }
    EXPECT_EQ(chosen, (std::vector<int32_t>{0, 2, 2, 2}));
}

TEST_F(ManagerTest, NoWeightGivesNoEntity) {
    writeCache(answer(entry("a", R"({"ja": 0})") + "," + entry("b", R"({"en": 4})")));
    int32_t index = -7;
    EXPECT_FALSE(manager->nextAdEntity(&index));
    EXPECT_EQ(index, -7);
    EXPECT_EQ(manager->nextAdIndex(), -1);
}

TEST_F(ManagerTest, HugeAndNegativeWeightsStillChooseSoundly) {
    writeCache(answer(entry("a", R"({"ja": 2147483647})") + "," + entry("b", R"({"ja": 2147483647})")));
    ADFRRandom::setDrawSource([] { return 0xFFFFFFFFu; });
    manager->loadFromCache();
    int32_t index = manager->nextAdIndex();
    EXPECT_TRUE(index == 0 || index == 1) << index;

    writeCache(answer(entry("neg", R"({"ja": -5})") + "," + entry("pos", R"({"ja": 2})")));
    manager->loadFromCache();
    for (uint32_t draw : {0u, 1u, 2u, 3u, 0xFFFFFFFFu}) {
        ADFRRandom::setDrawSource([draw] { return draw; });
        EXPECT_EQ(manager->nextAdIndex(), 1) << draw;
    }
}

TEST_F(ManagerTest, TwoPlacementsHaveTheirOwnNamesAndFilesButOneDeviceId) {
    plat::UserDefaults::standard()->setString("DEV", ADFRData::kDeviceIdKey);
    auto other = std::make_shared<ZividedirBaseView>();
    other->setAppId("B");
    auto first = makeManager(view);
    auto second = makeManager(other);
    EXPECT_NE(first->fetchNotificationName(), second->fetchNotificationName());
    EXPECT_EQ(first->fetchFailedNotificationName(), "Failed" + first->fetchNotificationName());
    EXPECT_NE(first->cacheFilePath(), second->cacheFilePath());
    EXPECT_EQ(second->cacheFilePath().filename(), "cache.dat_B");
    EXPECT_NE(first->nextUpdateDateKey(), second->nextUpdateDateKey());
    EXPECT_EQ(first->deviceId(), "DEV");
    EXPECT_EQ(second->deviceId(), "DEV");
}

TEST_F(ManagerTest, TheViewIsNotRetainedAndItsNamesOutliveIt) {
    std::string name = manager->fetchNotificationName();
    std::weak_ptr<ZividedirBaseView> weak = view;
    view.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(manager->view(), nullptr);
    EXPECT_EQ(manager->fetchNotificationName(), name);
    manager->loadFromCache();
    EXPECT_EQ(failed, 1);
}

TEST_F(ManagerTest, UnregisteringRemovesEveryRegistrationOfTheObserver) {
    ADFRManager::unregisterFetchFailedNotification(this);
    manager->cancelGetInfoRequest();
    EXPECT_EQ(failed, 0);
}

TEST_F(ManagerTest, LocaleAndCountryCode) {
    EXPECT_EQ(ADFRManager::localeIdentifierWithoutModifiers("ja_JP@calendar=japanese"), "ja_JP");
    EXPECT_EQ(ADFRManager::stringCurrentLocaleIdentifier(), "ja_JP");
    EXPECT_EQ(ADFRManager::stringCurrentContryCode(), "ja");
    EXPECT_EQ(ADFRManager::stringContryCodeFromLocaleType(2), "ja");
    EXPECT_EQ(ADFRManager::stringContryCodeFromLocaleType(1), "en");
    manager->updateLocale();
    EXPECT_EQ(manager->adLocale(), 2);
    ScopedEnv c("LANG", "C");
    EXPECT_EQ(ADFRManager::stringCurrentLocaleIdentifier(), "en_US");
    EXPECT_EQ(ADFRManager::stringCurrentContryCode(), "en");
    manager->updateLocale();
    EXPECT_EQ(manager->adLocale(), 1);
}

TEST_F(ManagerTest, AnAppIdThatWouldLeaveTheCacheFolderIsNotCached) {
    view->setAppId("../x");
    EXPECT_TRUE(manager->cacheFilePath().empty());
    manager->loadFromCache();
    EXPECT_EQ(failed, 1);
}
