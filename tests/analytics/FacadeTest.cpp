// The facade: one shared instance published before its set-up, trackers by trimmed name, the default
// tracker, flags and their observers, reset, and the calls the tag manager makes.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "analytics/RUVTrackerImpl.h"
#include "analytics/hits/RUVDictionaryBuilder.h"
#include "platform/storage/UserDefaults.h"
#include "tests/analytics/FacadeTestSupport.h"

using namespace analyticstest;

namespace {

class Facade : public FacadeTest {};

}  // namespace

TEST_F(Facade, OneSharedInstancePublishedBeforeItsSetUp) {
    std::shared_ptr<RUV> seenDuringSetUp;
    RUVBatchingDispatcher::setMaker([&](bool optOut) {
        seenDuringSetUp = RUV::sharedInstance();
        return RUVBatchingDispatcher::create(RUVDataStore::dataStore(), properties.get(), optOut);
    });
    auto ruv = RUV::sharedInstance();
    ASSERT_TRUE(ruv);
    EXPECT_EQ(seenDuringSetUp, ruv);
    EXPECT_EQ(RUV::sharedInstance(), ruv);
    EXPECT_EQ(RUV::create(), nullptr);
    EXPECT_TRUE(ruv->dispatcher());
    EXPECT_EQ(ruv->dispatchInterval(), 120.0);
}

TEST_F(Facade, TrackersByTrimmedNameAndTheFirstIsTheDefault) {
    auto ruv = RUV::sharedInstance();
    auto first = ruv->trackerWithTrackingId("  UA-1-1 \n");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->name(), "UA-1-1");
    EXPECT_EQ(first->get("&tid"), "  UA-1-1 \n");
    EXPECT_EQ(ruv->defaultTracker(), first);
    EXPECT_EQ(ruv->trackerWithTrackingId("UA-1-1"), first);
    auto second = ruv->trackerWithName("other", "UA-2-2");
    EXPECT_EQ(ruv->trackerWithName("other", "UA-9-9")->get("&tid"), "UA-2-2");  // the id is not updated
    EXPECT_EQ(ruv->defaultTracker(), first);
    EXPECT_EQ(ruv->trackers().size(), 2u);
    ruv->setDefaultTracker(second);
    EXPECT_EQ(ruv->defaultTracker(), second);
}

TEST_F(Facade, BlankNamesMakeNothingAndRecordNothing) {
    auto ruv = RUV::sharedInstance();
    RUVUsageTracker::getUsageSequence();
    EXPECT_EQ(ruv->trackerWithTrackingId(""), nullptr);
    EXPECT_EQ(ruv->trackerWithTrackingId("   "), nullptr);
    EXPECT_EQ(logger->count("Nil or empty name supplied. Cannot create tracker."), 2u);
    EXPECT_EQ(RUVUsageTracker::getUsageSequence(), "");
    EXPECT_TRUE(ruv->trackers().empty());
}

TEST_F(Facade, RemovingTheDefaultClearsItAndAnUnknownNameChangesNothing) {
    auto ruv = RUV::sharedInstance();
    auto tracker = ruv->trackerWithTrackingId("UA-1-1");
    ruv->trackerWithTrackingId("UA-2-2");
    RUVUsageTracker::getUsageSequence();
    ruv->removeTrackerByName("nobody");
    EXPECT_EQ(ruv->trackers().size(), 2u);
    EXPECT_EQ(ruv->defaultTracker(), tracker);
    ruv->removeTrackerByName("UA-1-1");
    EXPECT_EQ(ruv->defaultTracker(), nullptr);
    EXPECT_EQ(ruv->trackers().size(), 1u);
    EXPECT_EQ(RUVUsageTracker::getUsageSequence(), ".7o7o");
}

TEST_F(Facade, ResetLeavesNoTrackersNoHitFilesAndTheDefaultInterval) {
    auto ruv = RUV::sharedInstance();
    auto tracker = ruv->trackerWithTrackingId("UA-1-1");
    tracker->send(RUVDictionaryBuilder::createScreenView()->build());
    ruv->setDispatchInterval(30);
    ruv->setOptOut(false);
    drainWorker();
    ASSERT_EQ(stored(), 1);
    // An earlier version's file, with a journal and a log beside each.
    testsupport::writeFile(file(RUVDataStore::kOldStoreFileName), "old");
    for (const char* name : {RUVDataStore::kOldStoreFileName, RUVDataStore::kStoreFileName}) {
        for (const char* suffix : {"-journal", "-wal", "-shm"})
            testsupport::writeFile(file(std::string(name) + suffix), "j");
    }
    tracker.reset();

    ruv->reset();
    EXPECT_EQ(ruv->defaultTracker(), nullptr);
    EXPECT_TRUE(ruv->trackers().empty());
    EXPECT_TRUE(filesStartingWith("zediveanalytics-v").empty());
    EXPECT_EQ(ruv->dispatchInterval(), 120.0);
    EXPECT_EQ(stored(), 0);
    EXPECT_FALSE(ruv->optOut());
}

namespace {

// Holds a dispatcher; letting it go waits for a worker task that needs the facade's lock, as a campaign
// hit does. Records whether that task could finish.
struct WaitingRelease {
    std::shared_ptr<RUVBatchingDispatcher> dispatcher;
    std::shared_ptr<std::atomic<int>> finished = std::make_shared<std::atomic<int>>(0);
    ~WaitingRelease() {
        auto done = std::make_shared<std::promise<void>>();
        auto future = done->get_future();
        RUV::postToWorker([done] {
            RUV::sharedInstance()->trackers();
            done->set_value();
        });
        *finished = future.wait_for(std::chrono::seconds(10)) == std::future_status::ready ? 1 : -1;
    }
};

}  // namespace

TEST_F(Facade, ResetLetsGoOfTheDispatcherAfterUnlocking) {
    auto finished = std::make_shared<std::atomic<int>>(0);
    RUVBatchingDispatcher::setMaker([&](bool optOut) {
        auto holder = std::make_shared<WaitingRelease>();
        holder->dispatcher =
            RUVBatchingDispatcher::create(RUVDataStore::dataStore(), properties.get(), optOut);
        finished = holder->finished;
        // Shares the holder's life: the last release runs its destructor.
        return std::shared_ptr<RUVBatchingDispatcher>(holder, holder->dispatcher.get());
    });
    auto ruv = RUV::sharedInstance();
    auto first = finished;
    ruv->reset();
    EXPECT_EQ(*first, 1);
}

TEST_F(Facade, FirstInitTimeIsWrittenOnce) {
    clock.clock().setWallMicros(1767225600LL * 1000000);
    RUV::sharedInstance();
    auto stamp = plat::UserDefaults::standard()->objectForKey(RUV::kFirstInitTimeStampKey);
    ASSERT_TRUE(stamp && stamp->dateIf());
    EXPECT_EQ(stamp->dateIf()->secondsSince1970, 1767225600.0);
    RUV::resetSharedInstance();
    clock.clock().advance(3600);
    RUV::sharedInstance();
    EXPECT_EQ(
        plat::UserDefaults::standard()->objectForKey(RUV::kFirstInitTimeStampKey)->dateIf()->secondsSince1970,
        1767225600.0);
}

TEST_F(Facade, OptOutObserversRunAfterTheLockIsReleasedAndStoredHitsGo) {
    auto ruv = RUV::sharedInstance();
    auto tracker = ruv->trackerWithTrackingId("UA-1-1");
    tracker->send(RUVDictionaryBuilder::createScreenView()->build());
    drainWorker();
    ASSERT_EQ(stored(), 1);
    std::vector<bool> heard;
    bool otherThreadGotIn = false;
    auto token = ruv->addOptOutObserver([&](bool optOut) {
        heard.push_back(optOut);
        // Another thread can use the facade meanwhile.
        auto other = std::async(std::launch::async, [&] { return ruv->optOut(); });
        otherThreadGotIn = other.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    });
    ruv->setOptOut(true);
    EXPECT_EQ(heard, std::vector<bool>{true});
    EXPECT_TRUE(otherThreadGotIn);
    drainWorker();
    EXPECT_EQ(stored(), 0);
    tracker->send(RUVDictionaryBuilder::createScreenView()->build());
    drainWorker();
    EXPECT_EQ(stored(), 0);
    ruv->removeOptOutObserver(token);
    ruv->setOptOut(false);
    EXPECT_EQ(heard.size(), 1u);
}

TEST_F(Facade, DryRunGoesToTheConnectionClassAndLoggersAreExchanged) {
    auto ruv = RUV::sharedInstance();
    std::vector<bool> dryRuns;
    RUVURLConnectionClass recording = RUVURLConnectionClass::standard();
    recording.setDryRun = [&](bool d) { dryRuns.push_back(d); };
    ruv->setDryRun(true);
    EXPECT_TRUE(RUVURLConnection::dryRun());
    ruv->setUrlConnectionClass(recording);
    ruv->setDryRun(false);
    EXPECT_EQ(dryRuns, (std::vector<bool>{true, false}));
    EXPECT_FALSE(ruv->dryRun());

    RUVUsageTracker::getUsageSequence();
    ruv->setLogger(ruv->logger());
    EXPECT_EQ(RUVUsageTracker::getUsageSequence(), "");
    auto own = std::make_shared<RecordingLogger>();
    auto previous = ruv->logger();
    ruv->setLogger(own);
    EXPECT_EQ(RUVUsageTracker::getUsageSequence(), ".4");
    EXPECT_EQ(RUV::sharedLogger(), own);
    ruv->trackerWithTrackingId(" ");
    EXPECT_TRUE(own->contains("E ZediveAnalytics 3.12 "));
    EXPECT_TRUE(own->contains("Nil or empty name supplied."));
    ruv->setLogger(previous);
}

TEST_F(Facade, TrackersComeFromTheTrackerClass) {
    auto ruv = RUV::sharedInstance();
    auto sender = std::make_shared<RecordingSender>(ruv->dispatcher()->dataStore());
    std::vector<std::string> made;
    ruv->setTrackerImplClass([&](std::shared_ptr<RUVDispatchSender> dispatcher, const std::string& name) {
        EXPECT_EQ(dispatcher, ruv->dispatcher());
        made.push_back(name);
        return RUVTrackerImpl::trackerWithDispatcher(sender, name);
    });
    auto tracker = ruv->trackerWithTrackingId("UA-1-1");
    EXPECT_EQ(made, std::vector<std::string>{"UA-1-1"});
    // The app shell's first screen view.
    RUVUsageTracker::getUsageSequence();
    ruv->trackUncaughtExceptions();
    auto t = ruv->defaultTracker();
    t->set("&cd", "Level 1");
    t->send(RUVDictionaryBuilder::createScreenView()->build());
    t->set("&cd", std::nullopt);
    ASSERT_EQ(sender->count(), 1u);
    auto hit = sender->hits()[0];
    EXPECT_EQ(hit["&_u"], ".foK9L");
    EXPECT_EQ(hit["&tid"], "UA-1-1");
    EXPECT_EQ(hit["&cd"], "Level 1");
}

TEST_F(Facade, WithoutADispatcherNothingIsMadeAndHandlersHearNothingSent) {
    RUVBatchingDispatcher::setMaker([](bool) { return nullptr; });
    auto ruv = RUV::sharedInstance();
    EXPECT_TRUE(logger->contains("Dispatcher initialization failed: (null)"));
    EXPECT_TRUE(logger->contains("Cannot initiate dispatcher: (null)"));
    EXPECT_EQ(ruv->trackerWithTrackingId("UA-1-1"), nullptr);
    EXPECT_TRUE(logger->contains("initialization failed: dispatcher is required."));
    EXPECT_EQ(ruv->dispatchInterval(), 0.0);
    EXPECT_EQ(ruv->clientId(), std::nullopt);
    std::vector<int> outcomes;
    ruv->dispatchWithCompletionHandler([&](RUVDispatchOutcome o) { outcomes.push_back(o); });
    EXPECT_EQ(outcomes, std::vector<int>{0});
    ruv->dispatch();
    // A later call tries again.
    RUVBatchingDispatcher::setMaker([this](bool optOut) {
        return RUVBatchingDispatcher::create(RUVDataStore::dataStore(), properties.get(), optOut);
    });
    EXPECT_TRUE(ruv->trackerWithTrackingId("UA-1-1"));
}

// ---- as the tag manager calls it -------------------------------------------------------------------------

TEST_F(Facade, DispatchAnswersNothingSentThenSentThenFailed) {
    auto ruv = RUV::sharedInstance();
    EXPECT_EQ(dispatchOnce(), RUVDispatchOutcomeNothingSent);
    EXPECT_EQ(ruv->dispatchInterval(), -1.0);

    auto tracker = ruv->trackerWithTrackingId("UA-27182818-1");
    tracker->set("&cd", "Level 1");
    tracker->send(RUVDictionaryBuilder::createScreenView()->build());
    drainWorker();
    EXPECT_EQ(dispatchOnce(), RUVDispatchOutcomeSent);
    ASSERT_EQ(server.requestsTo("/collect").size(), 1u);
    const auto request = server.requestsTo("/collect")[0];
    EXPECT_EQ(request.method, "GET");
    for (const char* part : {"t=screenview", "cd=Level+1", "tid=UA-27182818-1", "_s=0"})
        EXPECT_NE(request.query.find(part), std::string::npos) << part << " in " << request.query;
    EXPECT_EQ(stored(), 0);

    // Nobody listens on the port any more.
    testsupport::RefusedPort refused;
    const int closedPort = refused.port();
    RUVEndpoints::setHttpsEndpoint({"http", "127.0.0.1", closedPort});
    ruv->reset();
    tracker = ruv->trackerWithTrackingId("UA-27182818-1");
    tracker->send(RUVDictionaryBuilder::createScreenView()->build());
    drainWorker();
    EXPECT_EQ(dispatchOnce(), RUVDispatchOutcomeFailed);
    EXPECT_EQ(stored(), 1);
}
