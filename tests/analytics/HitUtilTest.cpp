#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "analytics/base/RUVHitUtil.h"
#include "analytics/base/RUVStringUtil.h"
#include "analytics/hits/RUVTrackerModel.h"
#include "platform/base/Random.h"
#include "platform/ui/Window.h"
#include "tests/analytics/StoreTestSupport.h"

namespace {
constexpr const char* kFirstIdsEnv = "POTEMARU_ANALYTICS_FIRST_IDS";
// The child: a run pinned to one seed writes its first cache buster and screen-view counter.
const bool kIsFirstIdsChild = [] {
    const char* argument = std::getenv(kFirstIdsEnv);
    if (!argument) return false;
    plat::Random::setFixedSeed(7);
    const std::string line =
        RUVHitUtil::cacheBuster() + " " + std::to_string(RUVTrackerModel::screenViewCounter()) + "\n";
    std::_Exit(write(std::atoi(argument), line.data(), line.size()) < 0 ? 1 : 0);
}();
}  // namespace

TEST(HitUtil, RuvHashOfKnownTexts) {
    EXPECT_EQ(RUVHitUtil::ruvHash(""), 1u);
    EXPECT_EQ(RUVHitUtil::ruvHash("abc"), 37651568u);
    EXPECT_EQ(RUVHitUtil::ruvHash("0e8f5d5a-3b9c-4a53-9d2e-1f2a3b4c5d6e"), 149290615u);
    // A combining mark belongs to the letter before it: only that letter's unit counts.
    EXPECT_EQ(RUVHitUtil::ruvHash("e\xCC\x81x"), RUVHitUtil::ruvHash("ex"));
    // Outside the basic plane the first unit is the high surrogate.
    EXPECT_EQ(RUVHitUtil::ruvHash("\xF0\x9F\x98\x80"), RUVHitUtil::ruvHash("\xED\xA0\xBD"));
    EXPECT_NE(RUVHitUtil::ruvHash("\xFF\xFE"), 0u);  // malformed bytes hash, never crash
}

TEST(HitUtil, HashIdfaIsMd5OfIdAndClientId) {
    const std::string id = "AEBE52E7-03EE-455A-B3C4-E57283966239";
    EXPECT_EQ(RUVHitUtil::hashIdfa(id, "0e8f5d5a-3b9c-4a53-9d2e-1f2a3b4c5d6e"),
              "f01aabf032d4a916998c69529183ee3f");
}

TEST(HitUtil, LanguagesScreenAndUserAgent) {
    EXPECT_EQ(RUVHitUtil::systemLanguageFromLanguages({"ja-JP", "en"}), "ja-jp");
    EXPECT_EQ(RUVHitUtil::systemLanguageFromLanguages({}), "en");
    EXPECT_EQ(RUVHitUtil::systemCountryFromLocale(plat::Locale("ja_JP.UTF-8")), "jp");
    plat::Screen& screen = plat::Screen::main();
    const plat::Screen saved = screen;
    screen.setBounds({0, 0, 320, 568}, 2);
    EXPECT_EQ(RUVHitUtil::systemScreenResolution(), "640x1136");
    screen.setBounds({0, 0, 568, 320}, 2);
    EXPECT_EQ(RUVHitUtil::systemScreenResolution(), "1136x640");
    screen = saved;
    EXPECT_EQ(RUVHitUtil::userAgentStringWithProduct("P", "1", "m", "s", "2", "ja", "jp"),
              "P/1 (m; U; CPU s 2 like Mac OS X; ja-jp)");
    EXPECT_EQ(RUVHitUtil::millisecondsElapsedFrom(1500000000.25, 1500000003.25), 3000);
}

TEST(HitUtil, CacheBusterStrictlyIncreasesAcrossThreads) {
    std::vector<std::vector<uint64_t>> seen(4);
    std::vector<std::thread> threads;
    for (auto& list : seen)
        threads.emplace_back([&list] {
            for (int i = 0; i < 1000; ++i) list.push_back(std::stoull(RUVHitUtil::cacheBuster()));
        });
    for (auto& t : threads) t.join();
    std::vector<uint64_t> all;
    for (auto& list : seen) {
        for (size_t i = 1; i < list.size(); ++i) EXPECT_LT(list[i - 1], list[i]);
        all.insert(all.end(), list.begin(), list.end());
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
}

TEST(HitUtil, TwoProcessesOnTheSameSeedStartFromDifferentCacheBustersAndCounters) {
    ASSERT_FALSE(kIsFirstIdsChild);
    const auto a = analyticstest::runChildUntilKilled(kFirstIdsEnv, "", 1, 50).reported;
    const auto b = analyticstest::runChildUntilKilled(kFirstIdsEnv, "", 1, 50).reported;
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    const std::string& x = *a.begin();
    const std::string& y = *b.begin();
    EXPECT_NE(x.substr(0, x.find(' ')), y.substr(0, y.find(' ')));
    EXPECT_NE(x.substr(x.find(' ')), y.substr(y.find(' ')));
}
