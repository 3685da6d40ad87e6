#include <gtest/gtest.h>

#include "analytics/base/RUVFields.h"
#include "analytics/base/RUVUsageTracker.h"
#include "analytics/hits/RUVDictionaryBuilder.h"
#include "tests/analytics/AnalyticsTestSupport.h"

using analyticstest::LoggerScope;

namespace {

class Builder : public ::testing::Test {
  protected:
    void TearDown() override { RUVUsageTracker::getUsageSequence(); }
    LoggerScope logger;
};

std::shared_ptr<RUVEcommerceProduct> product(const std::string& id, double price) {
    auto p = std::make_shared<RUVEcommerceProduct>();
    p->setId(id).setPrice(plat::Value(price));
    return p;
}

}  // namespace

TEST(FieldKeys, TableAndIndexedKeys) {
    ASSERT_EQ(RUVFieldKeyTable.size(), 64u);
    EXPECT_STREQ(RUVFieldKeyTable[0], "&t");
    EXPECT_STREQ(RUVFieldKeyTable[47], "&gmob_t");
    EXPECT_STREQ(RUVFieldKeyTable[62], "useSecure");
    EXPECT_STREQ(RUVFieldKeyTable[63], "&_crc");
    EXPECT_STREQ(RUVHitTypeData, "data");
    EXPECT_EQ(RUVFields::contentGroupForIndex(2), "&cg2");
    EXPECT_EQ(RUVFields::customDimensionForIndex(12), "&cd12");
    EXPECT_EQ(RUVFields::customMetricForIndex(3), "&cm3");
    EXPECT_EQ(RUVEcommerceFields::productFieldForIndex(4, std::nullopt), "&pr4");
    EXPECT_EQ(RUVEcommerceFields::productFieldForIndex(4, "&x"), "&pr4x");
    EXPECT_EQ(RUVEcommerceFields::productImpressionForList("&il2", 3, "id"), "&il2pi3id");
    EXPECT_EQ(RUVEcommerceFields::promotionForIndex(1, "nm"), "&promo1nm");
}

TEST_F(Builder, ScreenAndAppViewsBuildOneEntry) {
    RUVHitRecord expected{{"&t", "screenview"}};
    EXPECT_EQ(RUVDictionaryBuilder::createScreenView()->build(), expected);
    EXPECT_EQ(RUVDictionaryBuilder::createAppView()->build(), expected);
}

TEST_F(Builder, CreateOperationsFillTheirKeys) {
    auto event =
        RUVDictionaryBuilder::createEventWithCategory("c", "a", std::nullopt, plat::Value())->build();
    EXPECT_EQ(
        event,
        (RUVHitRecord{
            {"&t", "event"}, {"&ec", "c"}, {"&ea", "a"}, {"&el", std::nullopt}, {"&ev", std::nullopt}}));

    auto timing =
        RUVDictionaryBuilder::createTimingWithCategory("cat", plat::Value(125), "load", "l")->build();
    EXPECT_EQ(timing.at("&t"), "timing");
    EXPECT_EQ(timing.at("&utv"), "load");
    EXPECT_EQ(timing.at("&utt"), "125");
    EXPECT_EQ(timing.at("&utc"), "cat");
    EXPECT_EQ(timing.at("&utl"), "l");

    auto exception = RUVDictionaryBuilder::createExceptionWithDescription("d", plat::Value(true))->build();
    EXPECT_EQ(exception, (RUVHitRecord{{"&t", "exception"}, {"&exf", "1"}, {"&exd", "d"}}));

    auto item = RUVDictionaryBuilder::createItemWithTransactionId("T", "n", "s", "c", plat::Value(1.5),
                                                                  plat::Value("2"), "JPY")
                    ->build();
    EXPECT_EQ(item.at("&ip"), "1.5");
    EXPECT_EQ(item.at("&iq"), std::nullopt);
    EXPECT_EQ(item.at("&cu"), "JPY");
    EXPECT_EQ(item.size(), 8u);

    auto social = RUVDictionaryBuilder::createSocialWithNetwork("net", "like", std::nullopt)->build();
    EXPECT_EQ(social,
              (RUVHitRecord{{"&t", "social"}, {"&sn", "net"}, {"&sa", "like"}, {"&st", std::nullopt}}));

    auto transaction = RUVDictionaryBuilder::createTransactionWithId("T", "aff", plat::Value(10),
                                                                     plat::Value(0.5), plat::Value(), "USD")
                           ->build();
    EXPECT_EQ(transaction.at("&tr"), "10");
    EXPECT_EQ(transaction.at("&tt"), "0.5");
    EXPECT_EQ(transaction.at("&ts"), std::nullopt);
    EXPECT_EQ(RUVUsageTracker::getUsageSequence(), ".yjhzkg");
}

TEST_F(Builder, CampaignParameters) {
    auto b = RUVDictionaryBuilder::create();
    b->set("old", "&cm");
    // Without "?" the whole text is the query.
    b->setCampaignParametersFromUrl("utm_source=news%20letter&utm_medium=mail&gclid=G");
    EXPECT_EQ(b->get("&cs"), "news letter");
    EXPECT_EQ(b->get("&cm"), "mail");
    EXPECT_EQ(b->get("&gclid"), "G");

    b->setCampaignParametersFromUrl("http://x.example/p?utm_source=s");
    auto hit = b->build();
    EXPECT_EQ(hit.size(), 11u);
    EXPECT_EQ(hit.at("&cs"), "s");
    for (const char* key :
         {"&gclid", "&dclid", "&gmob_t", "&cm", "&cn", "&ck", "&cc", "&ci", "&aclid", "&anid"}) {
        ASSERT_TRUE(hit.count(key)) << key;
        EXPECT_EQ(hit.at(key), std::nullopt) << key;
    }
}

TEST_F(Builder, SettersAndGet) {
    auto b = RUVDictionaryBuilder::create();
    b->set(std::nullopt, "&cd").set("v", std::nullopt);
    EXPECT_EQ(logger->count("W nil key not allowed in setString"), 1u);
    EXPECT_EQ(b->get("&cd"), std::nullopt);
    EXPECT_EQ(logger->count("Unexpected type in Builder"), 0u);
    EXPECT_EQ(b->get("&never"), std::nullopt);
    EXPECT_TRUE(logger->contains("W Unexpected type in Builder: (null)"));
    // Plain warnings, without the SDK line prefix.
    EXPECT_FALSE(logger->contains("ZediveAnalytics"));

    plat::Value::Dictionary all{{"&a", plat::Value("x")}, {"&b", plat::Value()}, {"&c", plat::Value(3)}};
    b->setAll(plat::Value(all));
    EXPECT_EQ(b->get("&a"), "x");
    EXPECT_EQ(b->parameters().count("&b"), 1u);
    EXPECT_EQ(b->parameters().count("&c"), 0u);
    EXPECT_TRUE(logger->contains("W Unexpected value type: number"));
}

TEST_F(Builder, ProductsPromotionsAndImpressions) {
    auto b = RUVDictionaryBuilder::create();
    auto action = std::make_shared<RUVEcommerceProductAction>();
    action->setAction("purchase").setRevenue(plat::Value(12)).setCheckoutStep(plat::Value("x"));
    b->setProductAction(action);
    b->addProduct(product("P0", 1)).addProduct(product("P1", 9.99));
    b->addProduct(nullptr).addPromotion(nullptr).addProductImpression(nullptr, "L", "S");
    EXPECT_EQ(logger->count("W nil"), 2u);
    auto promo = std::make_shared<RUVEcommercePromotion>();
    promo->setName("N").setPosition("top");
    b->addPromotion(promo);
    b->addProductImpression(product("I1", 1), "list", "search");
    b->addProductImpression(product("I2", 2), "list", "other");
    b->addProductImpression(product("I3", 3), "list", std::nullopt);
    b->addProductImpression(product("J1", 1), std::nullopt, std::nullopt);

    auto hit = b->build();
    EXPECT_EQ(hit.at("&pa"), "purchase");
    EXPECT_EQ(hit.at("&tr"), "12");
    EXPECT_EQ(hit.at("&cos"), std::nullopt);
    EXPECT_EQ(hit.at("&pr1id"), "P0");
    EXPECT_EQ(hit.at("&pr2id"), "P1");
    EXPECT_EQ(hit.at("&pr2pr"), "9.99");
    EXPECT_EQ(hit.count("&pr3id"), 0u);
    EXPECT_EQ(hit.at("&promo1nm"), "N");
    EXPECT_EQ(hit.at("&promo1ps"), "top");
    EXPECT_EQ(hit.at("&il1nm"), "list");
    EXPECT_EQ(hit.at("&il1ls"), "search");  // the first source stays
    EXPECT_EQ(hit.at("&il1pi1id"), "I1");
    EXPECT_EQ(hit.at("&il1pi2id"), "I2");
    EXPECT_EQ(hit.at("&il1pi3id"), "I3");
    EXPECT_EQ(hit.at("&il1pi3pr"), "3");
    EXPECT_EQ(hit.at("&il2nm"), "");  // the list without a name
    EXPECT_EQ(hit.count("&il2ls"), 0u);
    EXPECT_EQ(hit.at("&il2pi1id"), "J1");
    // build leaves the builder as it was.
    EXPECT_EQ(b->build(), hit);
    EXPECT_EQ(b->parameters().size(), 0u);
}

TEST_F(Builder, RecordsKeepTheirFields) {
    auto p = std::make_shared<RUVEcommerceProduct>();
    p->setId("P1").setPrice(plat::Value(9.99)).setCustomDimension(3, "S").setCustomMetric(4, plat::Value(2));
    auto built = p->buildWithIndex(2);
    EXPECT_EQ(built.at("&pr2id"), "P1");
    EXPECT_EQ(built.at("&pr2pr"), "9.99");
    EXPECT_EQ(p->buildWithIndex(1).at("&pr1cd3"), "S");
    EXPECT_EQ(p->buildWithIndex(1).at("&pr1cm4"), "2");
    auto listed = p->buildWithListIndex(1, 2);
    EXPECT_EQ(listed.at("&il1pi2id"), "P1");
    EXPECT_EQ(listed.at("&il1pi2pr"), "9.99");

    p->setPrice(plat::Value("9.99"));
    EXPECT_EQ(p->buildWithIndex(1).at("&pr1pr"), std::nullopt);

    p->setString("x", std::nullopt).setNumber(plat::Value(1), std::nullopt);
    EXPECT_EQ(logger->count("W nil key not allowed in setString"), 1u);
    EXPECT_EQ(logger->count("W nil key not allowed in setNumber"), 1u);
    EXPECT_EQ(p->parameters().size(), 4u);

    RUVEcommercePromotion promo;
    promo.setName("N");
    EXPECT_EQ(promo.buildWithIndex(1), (RUVHitRecord{{"&promo1nm", "N"}}));

    RUVEcommerceProductAction action;
    action.setTransactionId("T").setAffiliation("A").setTax(plat::Value(1)).setShipping(plat::Value(2));
    action.setCouponCode("C").setCheckoutOption("visa").setProductActionList("L").setProductListSource("S");
    EXPECT_EQ(action.build(), (RUVHitRecord{{"&ti", "T"},
                                            {"&ta", "A"},
                                            {"&tt", "1"},
                                            {"&ts", "2"},
                                            {"&tcc", "C"},
                                            {"&col", "visa"},
                                            {"&pal", "L"},
                                            {"&pls", "S"}}));
}
