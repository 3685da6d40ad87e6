#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "analytics/RUVHitUtil.h"
#include "analytics/RUVStringUtil.h"
#include "platform/ui/Window.h"

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
    const plat::Rect bounds = screen.bounds();
    const double scale = screen.scale();
    screen.setBounds({0, 0, 320, 568}, 2);
    EXPECT_EQ(RUVHitUtil::systemScreenResolution(), "640x1136");
    screen.setBounds({0, 0, 568, 320}, 2);
    EXPECT_EQ(RUVHitUtil::systemScreenResolution(), "1136x640");
    screen.setBounds(bounds, scale);
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
