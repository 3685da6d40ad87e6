// Report URL reformers: parameters in insertion order, https and path form, the staging host.
#include <gtest/gtest.h>

#include "ads/base/ADFRBaseRecURLReformer.h"
#include "ads/base/ADFREndpoints.h"

namespace {

const std::string kImpression =
    "http://report.example:8080/zividedir/api/rec-impression?app_id=A&user_ad_id=U&uid=&locale=en";
const std::string kClick = "http://api.example/zividedir/api/rec-click/app_id/A/user_ad_id/U/uid//locale/en";

}  // namespace

TEST(Reformer, NoParametersLeavesTheURLAloneEvenAfterHttps) {
    ADFRRecImpressionURLReformer reformer;
    reformer.change_toHttps();
    EXPECT_EQ(reformer.getReformedRecURL(kImpression), kImpression);
}

TEST(Reformer, ImpressionInHttpsGetsItsParameterAppended) {
    ADFRRecImpressionURLReformer reformer;
    reformer.change_toHttps();
    reformer.addQureyStringKeyValue("price", "10");
    EXPECT_EQ(reformer.getReformedRecURL(kImpression),
              "https://report.example:8080/zividedir/api/rec-impression?app_id=A&user_ad_id=U&uid=&locale=en"
              "&price=10");
}

TEST(Reformer, ClickInPathFormGetsPathSegments) {
    ADFRRecClickURLReformer reformer;
    reformer.change_toPathInfo();
    reformer.addQureyStringKeyValue("price", "10");
    EXPECT_EQ(reformer.getReformedRecURL(kClick), kClick + "/price/10");
    EXPECT_EQ(reformer.separator(), "/");
    EXPECT_EQ(reformer.equal(), "/");
    EXPECT_EQ(reformer.start(), "/");
}

TEST(Reformer, ParametersKeepTheirFirstPlaceWhenReplaced) {
    ADFRRecImpressionURLReformer reformer;
    reformer.addQureyStringKeyValue("b", "1");
    reformer.addQureyStringKeyValue("a", "2");
    reformer.addQureyStringKeyValue("b", "3");
    EXPECT_EQ(reformer.getValue("b"), "3");
    EXPECT_EQ(reformer.getValue("c"), std::nullopt);
    EXPECT_EQ(reformer.getReformedRecURL(kImpression), kImpression + "&b=3&a=2");
    reformer.initializeVars();
    EXPECT_TRUE(reformer.queryStringKeyValue().empty());
    EXPECT_EQ(reformer.protocol(), "http:");
}

TEST(Reformer, StagingHostStaysOnHttp) {
    ADFREndpoints::setEndpoint(ADFREndpoints::Kind::Staging, {"http", "staging.example", 80});
    ADFRRecImpressionURLReformer reformer;
    reformer.change_toHttps();
    reformer.addQureyStringKeyValue("price", "10");
    const std::string staging = "http://staging.example/zividedir/api/rec-impression?app_id=A";
    EXPECT_EQ(reformer.getReformedRecURL(staging), staging + "&price=10");
    EXPECT_EQ(reformer.protocol(), "http:");
    // A host that merely begins with the staging host's name is not it.
    ADFRRecImpressionURLReformer other;
    other.change_toHttps();
    other.addQureyStringKeyValue("p", "1");
    EXPECT_EQ(other.getReformedRecURL("http://staging.example.org/x?y=1"),
              "https://staging.example.org/x?y=1&p=1");
}

TEST(Reformer, JoinerFollowsEachClassesPathRule) {
    ADFRRecClickURLReformer click;
    click.addQureyStringKeyValue("k", "v");
    // Neither "?" nor "rec-click/": joined with "?".
    EXPECT_EQ(click.getReformedRecURL("http://h/other"), "http://h/other?k=v");
    ADFRRecImpressionURLReformer impression;
    impression.addQureyStringKeyValue("k", "v");
    // No "rec-impression?" counts as path form for the impression reformer: the separator joins.
    EXPECT_EQ(impression.getReformedRecURL("http://h/other"), "http://h/other&k=v");
    ADFRBaseRecURLReformer base;
    base.addQureyStringKeyValue("k", "v");
    EXPECT_EQ(base.getReformedRecURL("http://h/other"), "http://h/other&k=v");

    EXPECT_TRUE(ADFRBaseRecURLReformer::isPathInfoURL("http://h/a/b"));
    EXPECT_FALSE(ADFRBaseRecURLReformer::isPathInfoURL("http://h/a?b"));
    EXPECT_TRUE(ADFRRecClickURLReformer::isPathInfoURL(kClick));
    EXPECT_FALSE(ADFRRecImpressionURLReformer::isPathInfoURL(kImpression));
    EXPECT_STREQ(ADFRRecClickURLReformer::getPathInfoPart(), "rec-click/");
}

TEST(Reformer, AdvertisingIdPlaceholder) {
    EXPECT_EQ(ADFRBaseRecURLReformer::replaceIDFA("a[ZIZ_IDFA]b[ZIZ_IDFA]", std::string("X")), "aXbX");
    EXPECT_EQ(ADFRBaseRecURLReformer::replaceIDFA("a[ZIZ_IDFA]b", std::nullopt), "ab");
}
