#include <gtest/gtest.h>

#include "tagmanager/datalayer/ZAVClickReferrerUtil.h"
#include "tagmanager/values/ZAVAsyncUtil.h"
#include "tagmanager/values/ZAVPropertyListUtil.h"
#include "tagmanager/values/ZAVValueEscapeUtil.h"
#include "tests/support/TestSupport.h"
#include "tests/tagmanager/TagManagerTestSupport.h"

namespace {

const std::string kReferrer = "conv=123&gclid=abc";

ZAVObjectPtr push(const std::string& key, ZAVObjectPtr value) {
    return ZAVObject::map({{ZAVObject::text(key), std::move(value)}});
}

std::string openingUrl(const std::string& referrer) {
    return "potemaru://open?x=1&referrer=" + ZAVValueEscapeUtil::urlEncode(referrer) + "#top";
}

TEST(ClickReferrerTest, PushOfVuzUrlStoresTheReferrer) {
    testsupport::TempHome home;
    ZAVAdnetClickReferrerListener listener;
    listener.changed(push("vuz.url", ZAVObject::text(openingUrl(kReferrer))));
    EXPECT_EQ(ZAVClickReferrerUtil::clickReferrerForConversionId("123", std::string("gclid")), "abc");
    EXPECT_EQ(ZAVClickReferrerUtil::clickReferrerForConversionId("123", std::nullopt), kReferrer);
    ZAVAsyncUtil::waitUntilIdle();
}

TEST(ClickReferrerTest, PushOfUrlInsideVuzMapWorksTheSame) {
    testsupport::TempHome home;
    ZAVAdnetClickReferrerListener listener;
    listener.changed(push("vuz", push("url", ZAVObject::text(openingUrl("conv=7&a=b")))));
    EXPECT_EQ(ZAVClickReferrerUtil::clickReferrerForConversionId("7", std::string("a")), "b");
    listener.changed(push("vuz", ZAVObject::text("not a map")));
    listener.changed(push("vuz.url", ZAVObject::integer(5)));
    ZAVAsyncUtil::waitUntilIdle();
}

TEST(ClickReferrerTest, ReferrerWithoutConversionIdIsNotStored) {
    testsupport::TempHome home;
    tmtest::CapturedLog log;
    ZAVClickReferrerUtil::addClickReferrer("gclid=abc");
    ZAVClickReferrerUtil::addClickReferrer("conv=&gclid=abc");
    ZAVAsyncUtil::waitUntilIdle();
    EXPECT_FALSE(std::filesystem::exists(ZAVPropertyListUtil::plistFilePath("ClickReferrer")));
    EXPECT_FALSE(ZAVClickReferrerUtil::clickReferrerForConversionId("", std::nullopt));
}

TEST(ClickReferrerTest, UnknownIdGivesNothing) {
    testsupport::TempHome home;
    tmtest::CapturedLog log;
    ZAVClickReferrerUtil::addClickReferrer(kReferrer);
    EXPECT_FALSE(ZAVClickReferrerUtil::clickReferrerForConversionId("999", std::string("gclid")));
    EXPECT_FALSE(ZAVClickReferrerUtil::clickReferrerForConversionId("999", std::nullopt));
    ZAVAsyncUtil::waitUntilIdle();
}

TEST(ClickReferrerTest, RestartFindsTheReferrerThroughTheFile) {
    testsupport::TempHome home;
    ZAVClickReferrerUtil::addClickReferrer(kReferrer);
    ZAVAsyncUtil::waitUntilIdle();
    ZAVClickReferrerUtil::clearCache();  // as a new process starts
    EXPECT_EQ(ZAVClickReferrerUtil::clickReferrerForConversionId("123", std::string("conv")), "123");
    // A store after the restart keeps what the file held.
    ZAVClickReferrerUtil::addClickReferrer("conv=456");
    ZAVAsyncUtil::waitUntilIdle();
    auto file = ZAVPropertyListUtil::readPropertyList("ClickReferrer");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->entries().size(), 2u);
}

TEST(ClickReferrerTest, QueryParsing) {
    tmtest::CapturedLog log;
    auto parsed = ZAVClickReferrerUtil::parseComponentsFromQueryParameters("a=1&b=%20x&bad&c=1=2&a=3&d=%zz");
    EXPECT_EQ(parsed, (std::map<std::string, std::string>{{"a", "3"}, {"b", " x"}}));
    EXPECT_EQ(log->count("warning", "Invalid component: "), 3u);
    log->clear();
    EXPECT_TRUE(ZAVClickReferrerUtil::parseComponentsFromQueryParameters("").empty());
    EXPECT_EQ(log->count("warning", "Invalid component: "), 1u);
    EXPECT_FALSE(ZAVClickReferrerUtil::extractComponent(std::string("x"), std::nullopt));
    EXPECT_FALSE(ZAVClickReferrerUtil::extractComponent(std::nullopt, std::string()));
}

}  // namespace
