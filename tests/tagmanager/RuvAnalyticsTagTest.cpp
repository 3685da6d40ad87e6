// The analytics tag on a recording tracker: pass-through hits, classic transactions, enhanced e-commerce.
#include <gtest/gtest.h>

#include <atomic>

#include "analytics/RUV.h"
#include "analytics/base/RUVEndpoints.h"
#include "analytics/base/RUVFields.h"
#include "platform/base/Error.h"
#include "tagmanager/base/RUVLoggerImpl.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/runtime/ZAVRuvAnalytics.h"
#include "tagmanager/values/ZAVBoolean.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/tagmanager/TagManagerTestSupport.h"

namespace {

using tmtest::I;
using tmtest::L;
using tmtest::M;
using tmtest::T;
using Properties = ZAVFunctionCallImplementation::Properties;

ZAVPValuePtr V(const ZAVObjectPtr& object) {
    return ZAVTypes::objectToValue(object);
}
ZAVPValuePtr yes() {
    return V(ZAVBoolean::booleanWithBool(true));
}

struct Recording {
    std::vector<std::string> opened, removed;
    std::vector<bool> allowIdfa;
    std::vector<RUVHitRecord> hits;
    int loggers = 0;
};

class RecordingTracker : public ZAVRuvTracker {
  public:
    RecordingTracker(std::string name, Recording& recording)
        : name_(std::move(name)), recording_(recording) {}
    std::string name() const override { return name_; }
    void setAllowIDFACollection(bool allow) override { recording_.allowIdfa.push_back(allow); }
    void send(const RUVHitRecord& parameters) override { recording_.hits.push_back(parameters); }

  private:
    std::string name_;
    Recording& recording_;
};

class RecordingBackend : public ZAVRuvAnalyticsBackend {
  public:
    std::shared_ptr<ZAVRuvTracker> trackerWithTrackingId(const std::string& trackingId) override {
        recording.opened.push_back(trackingId);
        return std::make_shared<RecordingTracker>(trackingId, recording);
    }
    void removeTrackerByName(const std::string& name) override { recording.removed.push_back(name); }
    void setLogger(std::shared_ptr<RUVLogger> logger) override {
        ++recording.loggers;
        EXPECT_TRUE(std::dynamic_pointer_cast<RUVLoggerImpl>(logger));
    }
    Recording recording;
};

class RuvAnalyticsTagTest : public ::testing::Test {
  protected:
    std::vector<RUVHitRecord> hits() const { return backend_->recording.hits; }

    std::shared_ptr<ZAVDataLayer> layer_ = ZAVDataLayer::create();
    std::shared_ptr<RecordingBackend> backend_ = std::make_shared<RecordingBackend>();
    ZAVRuvAnalytics tag_{layer_, backend_};
    tmtest::CapturedLog log_;
};

TEST_F(RuvAnalyticsTagTest, PassThroughDropsAnIpSettingThatTurnsAnonymisingOff) {
    tag_.evaluate({{"analytics_pass_through", yes()},
                   {"collect_adid", yes()},
                   {"analytics_fields", V(M({{T("&t"), T("screenview")}, {T("&aip"), T("FALSE")}}))}});
    tag_.evaluate(
        {{"analytics_pass_through", yes()},
         {"analytics_fields", V(M({{T("&t"), T("screenview")}, {T("&aip"), T("1")}, {T("&n"), I(3)}}))}});
    ASSERT_EQ(hits().size(), 2u);
    EXPECT_EQ(hits()[0], (RUVHitRecord{{"&t", "screenview"}}));
    EXPECT_EQ(hits()[1], (RUVHitRecord{{"&t", "screenview"}, {"&aip", "1"}, {"&n", "3"}}));
    const auto& r = backend_->recording;
    EXPECT_EQ(r.opened, (std::vector<std::string>(2, ZAVRuvAnalytics::kDefaultTrackerName)));
    EXPECT_EQ(r.removed, r.opened);
    EXPECT_EQ(r.allowIdfa, (std::vector<bool>{true, false}));
    EXPECT_EQ(r.loggers, 1);  // once per tag
    EXPECT_TRUE(tag_.logger());
}

TEST_F(RuvAnalyticsTagTest, NoModeWarnsAndSendsNothing) {
    EXPECT_EQ(tag_.evaluate({{"enable_ecommerce", V(ZAVBoolean::booleanWithBool(false))}}),
              ZAVTypes::defaultValue());
    EXPECT_TRUE(hits().empty());
    EXPECT_EQ(log_->count("warning", "Ignoring unknown tag."), 1u);
    EXPECT_EQ(backend_->recording.removed.size(), 1u);
}

TEST_F(RuvAnalyticsTagTest, ATransactionSendsItsHitThenOneHitPerItem) {
    layer_->push(M({{T("transactionId"), T("T-1")},
                    {T("transactionTotal"), ZAVObject::floating(30.5)},
                    {T("transactionProducts"), L({M({{T("name"), T("cup")}, {T("price"), I(10)}}),
                                                  M({{T("name"), T("pot")}, {T("sku"), T("P2")}})})}}));
    tag_.evaluate({{"track_transaction", yes()},
                   {"account", V(T("UA-1"))},
                   {"analytics_fields", V(M({{T("&cd"), T("shop")}}))}});
    ASSERT_EQ(hits().size(), 3u);
    EXPECT_EQ(
        hits()[0],
        (RUVHitRecord{
            {"&cd", "shop"}, {"&tid", "UA-1"}, {"&t", "transaction"}, {"&ti", "T-1"}, {"&tr", "30.5"}}));
    EXPECT_EQ(hits()[1],
              (RUVHitRecord{{"&cd", "shop"}, {"&t", "item"}, {"&ti", "T-1"}, {"&in", "cup"}, {"&ip", "10"}}));
    EXPECT_EQ(hits()[2],
              (RUVHitRecord{{"&cd", "shop"}, {"&t", "item"}, {"&ti", "T-1"}, {"&in", "pot"}, {"&ic", "P2"}}));
}

TEST_F(RuvAnalyticsTagTest, GivenFieldMapsReplaceTheDefaults) {
    layer_->push(M({{T("transactionId"), T("T-2")},
                    {T("shopName"), T("north")},
                    {T("transactionProducts"), L({M({{T("name"), T("cup")}, {T("colour"), T("red")}})})}}));
    tag_.evaluate({{"track_transaction", yes()},
                   {"transaction_datalayer_map", V(M({{T("shopName"), T("&ta")}}))},
                   {"transaction_item_datalayer_map", V(M({{T("colour"), T("&iv")}}))}});
    ASSERT_EQ(hits().size(), 2u);
    EXPECT_EQ(hits()[0].at("&ta"), "north");
    EXPECT_EQ(hits()[0].count("&ti"), 0u);  // only the given map applies
    EXPECT_EQ(hits()[1].at("&iv"), "red");
    EXPECT_EQ(hits()[1].count("&in"), 0u);
}

TEST_F(RuvAnalyticsTagTest, ABrokenTransactionSendsNothing) {
    tag_.evaluate({{"track_transaction", yes()}});
    EXPECT_EQ(log_->count("error", "Cannot find transactionId in data layer."), 1u);

    layer_->push(M({{T("transactionId"), T("T-3")},
                    {T("transactionProducts"),
                     L({M({{T("name"), T("a")}}), M({{T("sku"), T("b")}}), M({{T("name"), T("c")}})})}}));
    tag_.evaluate({{"track_transaction", yes()}});
    EXPECT_EQ(log_->count("error", "Unable to send transaction item hit due to missing 'name' field."), 1u);

    layer_->push(M({{T("transactionProducts"), M({{T("name"), T("a")}})}}));
    tag_.evaluate({{"track_transaction", yes()}});
    EXPECT_EQ(
        log_->count("error", "Unable to send transaction: Expected dictionary entry to be of type NSArray"),
        1u);
    EXPECT_TRUE(hits().empty());
    EXPECT_EQ(backend_->recording.removed.size(), 3u);
}

TEST_F(RuvAnalyticsTagTest, EnhancedEcommerceTakesTheFirstActionAndItsProducts) {
    auto product = M({{T("id"), I(7)}, {T("name"), T("cup")}});
    layer_->push(M({{T("ecommerce"), M({{T("currencyCode"), T("EUR")},
                                        {T("purchase"), M({{T("actionField"), M({{T("id"), T("T-9")}})}})},
                                        {T("detail"), M({{T("products"), L({product})},
                                                         {T("actionField"), M({{T("list"), T("top")}})}})},
                                        {T("promoClick"), M({{T("promotions"), L({})}})}})}}));
    tag_.evaluate({{"enable_ecommerce", yes()},
                   {"ecommerce_use_data_layer", yes()},
                   {"analytics_fields", V(M({{T("&t"), T("event")}}))}});
    ASSERT_EQ(hits().size(), 1u);
    auto hit = hits()[0];
    EXPECT_EQ(hit.at("&t"), "event");
    EXPECT_EQ(hit.at("&cu"), "EUR");
    EXPECT_EQ(hit.at("&pa"), "detail");
    EXPECT_EQ(hit.at("&pal"), "top");
    EXPECT_EQ(hit.count("&ti"), 0u);
    EXPECT_EQ(hit.at("&pr1id"), "7");
    EXPECT_EQ(hit.at("&pr1nm"), "cup");
    EXPECT_EQ(hit.count("&promoa"), 0u);  // the click's list was empty
}

TEST_F(RuvAnalyticsTagTest, MacroDataIsAContainerValueMapAndPromotionsAndImpressionsGoIn) {
    auto ecommerce =
        M({{T("impressions"), L({M({{T("id"), T("i1")}, {T("list"), T("home")}, {T("source"), T("feed")}})})},
           {T("promoView"),
            M({{T("promotions"), L({M({{T("id"), T("p1")}, {T("creative"), T("banner")}})})}})}});
    tag_.evaluate(
        {{"enable_ecommerce", yes()}, {"ecommerce_macro_data", V(M({{T("ecommerce"), ecommerce}}))}});
    ASSERT_EQ(hits().size(), 1u);
    auto hit = hits()[0];
    EXPECT_EQ(hit.at("&promoa"), "view");
    EXPECT_EQ(hit.at("&promo1id"), "p1");
    EXPECT_EQ(hit.at("&promo1cr"), "banner");
    EXPECT_EQ(hit.at("&il1nm"), "home");
    EXPECT_EQ(hit.at("&il1pi1id"), "i1");
}

TEST_F(RuvAnalyticsTagTest, ProductFieldsAndCustomIndexes) {
    auto product = tag_.productFromDataLayerDictionary(M({{T("id"), I(7)},
                                                          {T("price"), T("12")},
                                                          {T("quantity"), T("many")},
                                                          {T("productdimension12"), T("wide")},
                                                          {T("dimension3"), T("blue")},
                                                          {T("metric2"), T("5")}}));
    const auto& p = product->parameters();
    EXPECT_EQ(p.at("id"), "7");
    EXPECT_EQ(p.at("pr"), "12");
    EXPECT_EQ(p.count("qt"), 0u);  // not a number: not set
    EXPECT_EQ(p.at(RUVFields::customDimensionForIndex(3)), "blue");
    EXPECT_EQ(p.at(RUVFields::customDimensionForIndex(12)), "wide");
    EXPECT_EQ(p.at(RUVFields::customMetricForIndex(2)), "5");
    EXPECT_EQ(ZAVRuvAnalytics::numberFromObject(T(" 1.5"))->toDouble(), 1.5);
    EXPECT_FALSE(ZAVRuvAnalytics::numberFromObject(T("1,5")));
    EXPECT_FALSE(ZAVRuvAnalytics::numberFromObject(ZAVBoolean::booleanWithBool(true)));
}

TEST_F(RuvAnalyticsTagTest, ABadListInTheEnhancedPathPassesOnAndTheTrackerIsStillClosed) {
    layer_->push(M({{T("ecommerce"), M({{T("impressions"), L({T("not a map")})}})}}));
    try {
        tag_.evaluate({{"enable_ecommerce", yes()}, {"ecommerce_use_data_layer", yes()}});
        ADD_FAILURE() << "no exception";
    } catch (const plat::Exception& e) {
        EXPECT_EQ(e.name(), "IllegalArgumentException");
        EXPECT_EQ(e.reason(), "Each element of the array should be of type NSDictionary");
    }
    EXPECT_TRUE(hits().empty());
    EXPECT_EQ(backend_->recording.removed.size(), 1u);
}

// The tag on the real analytics SDK: its tracker comes from the shared instance, its logger is installed
// there, and a pass-through screen view reaches the collection endpoint at the next dispatch.
TEST_F(RuvAnalyticsTagTest, ThroughTheRealSdkAPassThroughScreenViewArrives) {
    testsupport::TempHome home;
    testsupport::ForcedReachability reachable{0x2};
    testsupport::LoopbackServer server;
    server.route("GET", "/collect", testsupport::Answer{});
    server.route("POST", "/collect", testsupport::Answer{});
    RUVEndpoints::setHttpsEndpoint({"http", "127.0.0.1", server.port()});
    RUVEndpoints::setHttpEndpoint({"http", "127.0.0.1", server.port()});
    auto previous = RUV::sharedLogger();

    ZAVRuvAnalytics tag(layer_);
    tag.evaluate(
        {{"analytics_pass_through", yes()},
         {"analytics_fields",
          V(M({{T("&t"), T("screenview")}, {T("&cd"), T("Start")}, {T("&tid"), T("UA-31415926-1")}}))}});
    EXPECT_EQ(RUV::sharedLogger(), tag.logger());
    EXPECT_TRUE(RUV::sharedInstance()->trackers().empty());  // the tag closes its tracker again

    std::atomic<int> outcome{-1};
    RUV::sharedInstance()->dispatchWithCompletionHandler([&outcome](RUVDispatchOutcome o) { outcome = o; });
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return outcome >= 0; }));
    EXPECT_EQ(outcome, 1);
    auto requests = server.requestsTo("/collect");
    ASSERT_EQ(requests.size(), 1u);
    const std::string hit = requests[0].method == "GET" ? requests[0].query : requests[0].body;
    EXPECT_NE(hit.find("t=screenview"), std::string::npos) << hit;
    EXPECT_NE(hit.find("cd=Start"), std::string::npos) << hit;
    EXPECT_NE(hit.find("tid=UA-31415926-1"), std::string::npos) << hit;
    RUV::exchangeSharedLogger(previous);
}

}  // namespace
