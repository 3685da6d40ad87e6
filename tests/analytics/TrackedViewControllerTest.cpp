// A tracked view controller sends a screen view named after it each time its view comes on screen.
#include <gtest/gtest.h>

#include "analytics/RUVTrackedViewController.h"
#include "analytics/RUVTrackerImpl.h"
#include "tests/analytics/FacadeTestSupport.h"

using namespace analyticstest;

namespace {

class TrackedViewController : public FacadeTest {
  protected:
    void SetUp() override {
        FacadeTest::SetUp();
        ruv = RUV::sharedInstance();
        sender = std::make_shared<RecordingSender>(ruv->dispatcher()->dataStore());
        ruv->setTrackerImplClass([this](std::shared_ptr<RUVDispatchSender>, const std::string& name) {
            return RUVTrackerImpl::trackerWithDispatcher(sender, name);
        });
    }
    void TearDown() override {
        ruv.reset();
        FacadeTest::TearDown();
    }
    std::shared_ptr<RUV> ruv;
    std::shared_ptr<RecordingSender> sender;
};

}  // namespace

TEST_F(TrackedViewController, EachAppearanceSendsOneScreenViewNamedAfterIt) {
    auto tracker = ruv->trackerWithTrackingId("UA-1-1");
    auto controller = std::make_shared<RUVTrackedViewController>();
    controller->setScreenName("S");
    int hooked = 0;
    plat::ViewController::setViewDidAppearHook([&](plat::ViewController&, bool) { ++hooked; });
    RUVUsageTracker::getUsageSequence();
    controller->viewDidAppear(false);
    controller->viewDidAppear(true);
    plat::ViewController::setViewDidAppearHook(nullptr);
    EXPECT_EQ(hooked, 2);
    auto hits = sender->hits();
    ASSERT_EQ(hits.size(), 2u);
    for (auto& hit : hits) {
        EXPECT_EQ(hit["&t"], "screenview");
        EXPECT_EQ(hit["&cd"], "S");
    }
    EXPECT_EQ(tracker->get("&cd"), "S");
    // Only the default tracker's lookup was recorded.
    EXPECT_EQ(hits[0]["&_u"], ".o");
    EXPECT_EQ(hits[1]["&_u"], ".o");
}

TEST_F(TrackedViewController, ItsOwnTrackerWinsAndNoNameSendsNothing) {
    ruv->trackerWithTrackingId("UA-1-1");
    auto own = ruv->trackerWithName("own", "UA-2-2");
    auto controller = std::make_shared<RUVTrackedViewController>();
    controller->viewDidAppear(false);
    EXPECT_TRUE(logger->contains("I ZediveAnalytics"));
    EXPECT_TRUE(logger->contains("Tracked view controller missing view name."));
    EXPECT_EQ(sender->count(), 0u);
    controller->setTracker(own);
    controller->setScreenName("Catalogue");
    controller->viewDidAppear(false);
    ASSERT_EQ(sender->count(), 1u);
    EXPECT_EQ(sender->hits()[0]["&tid"], "UA-2-2");
    EXPECT_EQ(sender->hits()[0]["&cd"], "Catalogue");
}
