// Campaign attribution with fake attribution clients: one "data" hit per tracking id, dated at the
// facade's first set-up, never again in a later process; the window, the stored answer and the missing
// pieces that end the check.
#include <gtest/gtest.h>

#include "analytics/dispatch/RUVAdClient.h"
#include "analytics/hits/RUVDictionaryBuilder.h"
#include "platform/base/ClassRegistry.h"
#include "platform/storage/UserDefaults.h"
#include "tests/analytics/FacadeTestSupport.h"

using namespace analyticstest;

namespace {

// Answers whichever query it is made for, at once on the asking thread.
struct FakeClient : RUVAdClient {
    enum class Kind { Attribution, ConversionDetails, Neither };
    explicit FakeClient(Kind k, bool a) : kind(k), attributed(a) {}
    bool respondsToLookupAdConversionDetails() const override { return kind == Kind::ConversionDetails; }
    void lookupAdConversionDetails(ConversionDetailsHandler handler) override {
        ++queries;
        std::optional<plat::Value::Date> impression;
        if (attributed) impression = plat::Value::Date{1767000000};
        handler(plat::Value::Date{1767100000}, impression);
    }
    bool respondsToDetermineAppInstallationAttribution() const override { return kind == Kind::Attribution; }
    void determineAppInstallationAttributionWithCompletionHandler(AttributionHandler handler) override {
        ++queries;
        handler(attributed);
    }
    Kind kind;
    bool attributed;
    std::atomic<int> queries{0};
};

class Campaign : public FacadeTest {
  protected:
    void install(std::shared_ptr<FakeClient> c) {
        client = std::move(c);
        plat::ClassRegistry::shared().registerProvider<RUVAdClient>(RUVAdClient::kClassName, client);
    }
    // A screen view on the tracker for `tid`, and everything it sets off on the worker.
    void screenView(const std::string& tid) {
        RUV::sharedInstance()->trackerWithTrackingId(tid)->send(
            RUVDictionaryBuilder::createScreenView()->build());
        for (int i = 0; i < 4; ++i) drainWorker();
    }
    // Stored hits of type "data", each as its tracking id and hit time.
    std::vector<std::pair<std::string, double>> campaignHits() {
        auto store = RUV::sharedInstance()->dispatcher()->dataStore();
        return onWorker([&] {
            std::vector<std::pair<std::string, double>> out;
            for (const auto& record : store->fetchHitsWithLimit(0)) {
                const auto& p = record["parameters"];
                if (p["&t"].toString() != "data") continue;
                EXPECT_EQ(p["&cs"].toString(), "iAd");
                EXPECT_EQ(p["&ni"].toString(), "1");
                EXPECT_FALSE(p.dictionaryIf()->find("timestamp"));
                out.emplace_back(p["&tid"].toString(), record["timestamp"].dateIf()->secondsSince1970);
            }
            return out;
        });
    }
    double firstInit() {
        return plat::UserDefaults::standard()
            ->objectForKey(RUV::kFirstInitTimeStampKey)
            ->dateIf()
            ->secondsSince1970;
    }

    plat::ClassRegistry::Scoped scope{plat::ClassRegistry::shared(), RUVAdClient::kClassName};
    std::shared_ptr<FakeClient> client;
};

}  // namespace

TEST_F(Campaign, OneDataHitPerTrackingIdDatedAtTheFirstSetUpAndNeverAgain) {
    install(std::make_shared<FakeClient>(FakeClient::Kind::Attribution, true));
    RUV::sharedInstance();
    const double first = firstInit();
    clock.clock().advance(3600);
    screenView("UA-1-1");
    EXPECT_EQ(client->queries.load(), 1);
    EXPECT_TRUE(plat::UserDefaults::standard()->boolForKey(RUVBatchingDispatcher::kCampaignInfoKey));
    EXPECT_TRUE(logger->contains("Sending iAd campaign attribution."));
    // The campaign hit did not start a check of its own; the second hit of the id finds it handled.
    screenView("UA-1-1");
    screenView("UA-2-2");
    EXPECT_EQ(client->queries.load(), 1);
    using Hits = std::vector<std::pair<std::string, double>>;
    EXPECT_EQ(campaignHits(), (Hits{{"UA-1-1", first}, {"UA-2-2", first}}));

    // A later process over the same home.
    RUV::resetSharedInstance();
    drainWorker();
    closeAuxiliaryStore();
    openAuxiliaryStore();
    screenView("UA-1-1");
    screenView("UA-2-2");
    EXPECT_EQ(campaignHits().size(), 2u);
    EXPECT_EQ(client->queries.load(), 1);
}

TEST_F(Campaign, TheConversionDetailsQueryCountsAnImpressionDateAsAttribution) {
    install(std::make_shared<FakeClient>(FakeClient::Kind::ConversionDetails, true));
    screenView("UA-1-1");
    EXPECT_EQ(client->queries.load(), 1);
    EXPECT_EQ(campaignHits().size(), 1u);
}

TEST_F(Campaign, AStoredNoMeansNoQueryAndNoHit) {
    install(std::make_shared<FakeClient>(FakeClient::Kind::Attribution, true));
    plat::UserDefaults::standard()->setBool(false, RUVBatchingDispatcher::kCampaignInfoKey);
    screenView("UA-1-1");
    EXPECT_EQ(client->queries.load(), 0);
    EXPECT_TRUE(campaignHits().empty());
}

TEST_F(Campaign, TheFirstAnswerStaysForGood) {
    install(std::make_shared<FakeClient>(FakeClient::Kind::Attribution, false));
    screenView("UA-1-1");
    EXPECT_TRUE(campaignHits().empty());
    client->attributed = true;
    screenView("UA-2-2");
    EXPECT_EQ(client->queries.load(), 1);
    EXPECT_FALSE(plat::UserDefaults::standard()->boolForKey(RUVBatchingDispatcher::kCampaignInfoKey));
    EXPECT_TRUE(campaignHits().empty());
}

TEST_F(Campaign, TwoDaysAfterTheFirstSetUpNothingIsAskedAndTheWindowIsLoggedOnce) {
    install(std::make_shared<FakeClient>(FakeClient::Kind::Attribution, true));
    plat::UserDefaults::standard()->setObject(
        plat::Value(plat::Value::Date{clock.clock().nowSeconds() - 2 * 86400}), RUV::kFirstInitTimeStampKey);
    screenView("UA-1-1");
    screenView("UA-1-1");
    EXPECT_EQ(client->queries.load(), 0);
    EXPECT_EQ(
        logger->count("iAd campaign tracking disabled because the current date is past the campaign window."),
        1u);
    EXPECT_TRUE(campaignHits().empty());
}

TEST_F(Campaign, MissingPiecesEndTheCheckQuietly) {
    // No client: the line goes out once.
    screenView("UA-1-1");
    screenView("UA-1-1");
    EXPECT_EQ(logger->count("iAd campaign tracking disabled because the iAd framework is not linked."), 1u);

    // A client that answers neither query, then a hit without a tracking id.
    install(std::make_shared<FakeClient>(FakeClient::Kind::Neither, true));
    screenView("UA-1-1");
    install(std::make_shared<FakeClient>(FakeClient::Kind::Attribution, true));
    RUV::sharedInstance()->dispatcher()->queueDispatch(
        {{"&t", plat::Value("event")}, {"&cid", plat::Value("c")}});
    for (int i = 0; i < 3; ++i) drainWorker();
    EXPECT_EQ(client->queries.load(), 0);

    // No first set-up time.
    plat::UserDefaults::standard()->removeObjectForKey(RUV::kFirstInitTimeStampKey);
    screenView("UA-1-1");
    EXPECT_TRUE(logger->contains("E ZediveAnalytics"));
    EXPECT_TRUE(logger->contains("iAd campaign tracking disabled because the RUV init time was not found."));
    EXPECT_EQ(client->queries.load(), 0);
    EXPECT_TRUE(campaignHits().empty());
}
