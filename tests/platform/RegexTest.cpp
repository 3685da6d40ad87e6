#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/base/Cache.h"
#include "platform/base/Log.h"
#include "platform/base/Regex.h"

using plat::Regex;

TEST(Regex, UnicodeClassesFollowThePhone) {
    auto space = Regex::create("\\s+");
    ASSERT_TRUE(space);
    EXPECT_EQ(space->replaceAll("a\u3000b\u00a0c\td", "_"), "a_b_c_d");
    auto digits = Regex::create("^\\d+$");
    EXPECT_TRUE(digits->firstMatch("１２３"));  // full-width digits
    EXPECT_TRUE(digits->firstMatch("٣٤"));      // Arabic-Indic digits
    EXPECT_FALSE(digits->firstMatch("12a"));
    auto word = Regex::create("\\w+");
    EXPECT_EQ(word->firstMatch("  ぽてまる!")->text, "ぽてまる");
    auto dot = Regex::create("^.$");
    EXPECT_TRUE(dot->firstMatch("ぽ"));  // one character, three bytes
}

TEST(Regex, FirstMatchWithGroupsAndByteRanges) {
    auto re = Regex::create("(\\w+)@(\\w+)?(x)?");
    ASSERT_TRUE(re);
    EXPECT_EQ(re->numberOfCaptureGroups(), 3u);
    auto m = re->firstMatch("mail: ぽて@host now");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->text, "ぽて@host");
    EXPECT_EQ(m->range, (Regex::Range{6, 11}));
    EXPECT_EQ(m->group(1), "ぽて");
    EXPECT_EQ(m->group(2), "host");
    EXPECT_FALSE(m->groups[2]);
    EXPECT_EQ(m->group(3), "");
    EXPECT_EQ(m->group(9), "");
    EXPECT_FALSE(re->firstMatch("no at sign"));
    EXPECT_FALSE(re->firstMatch("a@b", 99));
}

TEST(Regex, LocaleModifierIsStripped) {
    auto re = Regex::cached("@.+");
    ASSERT_TRUE(re);
    EXPECT_EQ(re->replaceFirst("ja_JP@calendar=japanese", ""), "ja_JP");
    EXPECT_EQ(re->replaceFirst("en_US", ""), "en_US");
}

TEST(Regex, AllMatchesAndEmptyMatchesAdvance) {
    auto re = Regex::create("a*");
    auto all = re->allMatches("baaぽa");
    std::vector<std::string> texts;
    for (const auto& m : all) texts.push_back(m.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"", "aa", "", "a", ""}));
    EXPECT_EQ(Regex::create("\\d")->numberOfMatches("a1b22"), 3u);
    EXPECT_EQ(re->replaceAll("bab", "-"), "-b--b-");
}

TEST(Regex, ReplacementTemplates) {
    auto re = Regex::create("(\\w)(\\w)");
    EXPECT_EQ(re->replaceAll("abcd", "$2$1"), "badc");
    EXPECT_EQ(re->replaceAll("ab", "[$0]"), "[ab]");
    EXPECT_EQ(re->replaceAll("ab", "\\$1 costs $$"), "$1 costs $$");
    // "$12" with two groups is group 1 followed by the digit 2.
    EXPECT_EQ(re->replaceAll("ab", "$12"), "a2");
    EXPECT_EQ(re->replaceFirst("abcd", "$2$1"), "bacd");
    auto many = Regex::create("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)");
    EXPECT_EQ(many->replaceAll("abcdefghijkl", "$12$10"), "lj");
}

TEST(Regex, IgnoreCaseOption) {
    EXPECT_FALSE(Regex::create("abc")->firstMatch("xABCx"));
    EXPECT_TRUE(Regex::create("abc", Regex::kCaseInsensitive)->firstMatch("xABCx"));
    EXPECT_TRUE(Regex::create("straße", Regex::kCaseInsensitive)->firstMatch("STRAẞE"));
    EXPECT_NE(Regex::cached("abc"), Regex::cached("abc", Regex::kCaseInsensitive));
}

TEST(Regex, BadPatternsGiveNullWithALogLine) {
    plat::LogCapture capture;
    plat::Error error;
    EXPECT_FALSE(Regex::create("(unclosed", Regex::kNone, &error));
    EXPECT_EQ(error.domain(), Regex::kErrorDomain);
    EXPECT_TRUE(capture.contains("does not compile"));
    EXPECT_FALSE(Regex::create("\xff"));
    EXPECT_FALSE(Regex::cached("[z-a]"));
}

TEST(Regex, HostilePatternFailsInsteadOfHanging) {
    auto re = Regex::create("^(\\w+\\s?)*$");
    ASSERT_TRUE(re);
    std::string subject(64, 'a');
    subject += "!";
    plat::LogCapture capture;
    EXPECT_FALSE(re->firstMatch(subject));
    EXPECT_TRUE(capture.contains("failed"));
    EXPECT_TRUE(re->allMatches(subject).empty());
    EXPECT_EQ(re->replaceAll(subject, "x"), subject);
    // The same pattern still works on harmless text.
    EXPECT_TRUE(re->firstMatch("hello world"));
}

TEST(Regex, SubjectsThatAreNotUtf8AreSearched) {
    auto re = Regex::create("b+");
    auto m =
        re->firstMatch(std::string("\xff\xfe"
                                   "bb\xc3"));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->range, (Regex::Range{2, 2}));
}

TEST(Regex, CachedPatternsAreSharedAndBounded) {
    auto first = Regex::cached("cache-me-(\\d)");
    EXPECT_EQ(first, Regex::cached("cache-me-(\\d)"));
    for (size_t i = 0; i < Regex::kCacheCount + 1; ++i) Regex::cached("filler" + std::to_string(i));
    auto again = Regex::cached("cache-me-(\\d)");
    EXPECT_NE(first, again);  // pushed out, compiled anew
    EXPECT_EQ(again->replaceAll("cache-me-5", "$1"), "5");

    // Compiled patterns are shared between threads.
    std::vector<std::thread> threads;
    std::vector<int> found(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &found] {
            for (int i = 0; i < 200; ++i)
                found[t] += Regex::cached("(\\d+)")->firstMatch("x" + std::to_string(i)) ? 1 : 0;
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(found, (std::vector<int>{200, 200, 200, 200}));
}

TEST(Cache, DropsLeastRecentlyUsedPastTheCostLimit) {
    plat::Cache<std::string, int> cache(10);
    cache.setObject("a", 1, 4);
    cache.setObject("b", 2, 4);
    EXPECT_EQ(cache.object("a"), 1);  // a is now the most recent
    cache.setObject("c", 3, 4);       // 12 > 10: b goes
    EXPECT_FALSE(cache.object("b"));
    EXPECT_EQ(cache.object("a"), 1);
    EXPECT_EQ(cache.object("c"), 3);
    EXPECT_EQ(cache.totalCost(), 8u);

    cache.setObject("a", 10, 6);  // replacing takes the new cost
    EXPECT_EQ(cache.totalCost(), 10u);
    EXPECT_EQ(cache.object("a"), 10);

    cache.setObject("huge", 0, 11);  // costs more than the limit alone: kept nowhere
    EXPECT_FALSE(cache.object("huge"));
    EXPECT_LE(cache.totalCost(), 10u);

    cache.setTotalCostLimit(0);
    cache.setCountLimit(1);
    cache.setObject("x", 1);
    cache.setObject("y", 2);
    EXPECT_EQ(cache.count(), 1u);
    EXPECT_EQ(cache.object("y"), 2);
    cache.removeObject("y");
    EXPECT_EQ(cache.count(), 0u);
    cache.setObject("z", 3);
    cache.removeAllObjects();
    EXPECT_EQ(cache.count(), 0u);
    EXPECT_EQ(cache.totalCost(), 0u);
}

TEST(Cache, IsSafeUnderConcurrentUse) {
    plat::Cache<int, std::shared_ptr<int>> cache(100);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &cache] {
            for (int i = 0; i < 2000; ++i) {
                cache.setObject((i * 7 + t) % 50, std::make_shared<int>(i), 3);
                if (auto v = cache.object(i % 50)) {
                    EXPECT_TRUE(*v);
                }
                if (i % 97 == 0) cache.removeObject(i % 50);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_LE(cache.totalCost(), 100u);
    EXPECT_EQ(cache.totalCost(), cache.count() * 3);
}
