// A container's loading and refresh end to end on the loopback kit, the virtual clock and a temporary
// home: the saved copy, downloads and their schedule, what the caller's callback hears, what is saved,
// and what a rejected resource, preview, default-container mode and close change.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Bundle.h"
#include "tagmanager/container/ZAVContainer.h"
#include "tagmanager/container/ZAVDiskLoadCallback.h"
#include "tagmanager/container/ZAVNetworkLoadCallback.h"
#include "tagmanager/container/ZAVPreviewManager.h"
#include "tagmanager/container/ZAVResourceLoaderScheduler.h"
#include "tagmanager/hits/ZAVDispatcher.h"
#include "tagmanager/values/ZAVAsyncUtil.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/tagmanager/ContainerTestSupport.h"
#include "tests/tagmanager/TagManagerTestSupport.h"
#include "wire/ZAVWireRootObject.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Answer;
using testsupport::LoopbackServer;
using Events = std::vector<std::string>;

const std::string kVersionQuery = "&v=i92886563";

std::string downloadBody(const std::string& greeting, const std::string& version,
                         const std::string& fingerprint) {
    return tmtest::bytesOf(*tmtest::supplemented(tmtest::greetingResource(greeting, version), fingerprint));
}

class ContainerLoadingTest : public ::testing::Test {
  protected:
    void SetUp() override { plat::Bundle::setMainResourcePath(bundle.path()); }
    void TearDown() override {
        for (const auto& container : containers) container->close();
        ZAVAsyncUtil::waitUntilIdle();
        plat::RunLoop::main().runOnce(0);
        ZAVPreviewManager::instance()->clear();
        // The hits a fired tag stored are written before the home goes, not into its folder made again.
        ZAVDispatcher::resetInstance();
        plat::Bundle::setMainResourcePath({});
    }

    std::shared_ptr<ZAVContainer> make(const std::string& id) {
        auto container = ZAVContainer::initWithId(id, owner);
        containers.push_back(container);
        container->setCtfeServerAddress("http://127.0.0.1:" + std::to_string(server.port()));
        return container;
    }
    std::shared_ptr<ZAVContainer> load(const std::string& id = "C1") {
        auto container = make(id);
        container->loadWithCallback(callback);
        return container;
    }
    bool waitFor(const std::string& event, size_t times = 1) {
        return testsupport::runMainLoopUntil([&] { return callback->count(event) >= times; });
    }
    bool waitForRequests(size_t count) {
        return testsupport::runMainLoopUntil([&] { return server.requestCount() >= count; });
    }
    void pump() {
        for (int i = 0; i < 5; ++i) plat::RunLoop::main().runOnce(0.01);
    }

    fs::path savedFile(const std::string& id) const {
        return home.path() / "Library" / "Application Support" / "Zedive" / "ZodAruzivu" / ("resource_" + id);
    }
    void writeSaved(const std::string& id, const ZAVPResourceWithMetadata& saved) {
        fs::create_directories(savedFile(id).parent_path());
        testsupport::writeFile(savedFile(id), tmtest::bytesOf(saved));
    }
    // A saved copy as a download leaves it: the supplemented resource with its fingerprint.
    static std::shared_ptr<ZAVPResourceWithMetadata> savedCopy(std::shared_ptr<ZAVPResource> resource,
                                                               double timeStamp,
                                                               const std::string& fingerprint) {
        auto saved = ZAVPResourceWithMetadata::message();
        saved->setTimeStamp(static_cast<int64_t>(timeStamp));
        saved->setResource(ZAVPResource::message());
        saved->setSupplementedResource(tmtest::supplemented(std::move(resource), fingerprint));
        return saved;
    }
    std::shared_ptr<ZAVPResourceWithMetadata> readSaved(const std::string& id) const {
        return ZAVPResourceWithMetadata::parseFromData(
            ZAVWireData::create(testsupport::readFile(savedFile(id))), tmtest::ResourceBuilder::registry());
    }
    size_t scheduled(const std::string& id, const std::string& delay) {
        return log->count("verbose", "scheduleTask: containerId=" + id + " delay=" + delay);
    }

    testsupport::TempHome home;
    testsupport::TempDir bundle;
    testsupport::VirtualClockScope clock;
    tmtest::CapturedLog log;
    LoopbackServer server;
    testsupport::URLLoadingScope loading;
    std::shared_ptr<tmtest::TestOwner> owner = std::make_shared<tmtest::TestOwner>();
    std::shared_ptr<tmtest::RecordingContainerCallback> callback =
        std::make_shared<tmtest::RecordingContainerCallback>();
    std::vector<std::shared_ptr<ZAVContainer>> containers;
};

TEST_F(ContainerLoadingTest, NoSavedCopyDownloadsAtOnceSavesItAndComesBackInTwelveHours) {
    server.route("GET", "/r", Answer{.body = downloadBody("net", "5", "fp-5")});
    auto container = load();
    EXPECT_TRUE(container->isDefault());
    ASSERT_TRUE(waitFor("success 1"));
    EXPECT_EQ(callback->events(), (Events{"begin 0", "failure 0 0", "begin 1", "success 1"}));
    EXPECT_EQ(container->stringForKey("greeting"), "net");
    EXPECT_FALSE(container->isDefault());
    EXPECT_EQ(container->lastRefreshTime(), ZAVContainer::currentTimeInMilliseconds());
    EXPECT_EQ(container->resourceVersion(), "5");
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].query, "id=C1" + kVersionQuery);
    EXPECT_EQ(scheduled("C1", "0.000000"), 1u);
    EXPECT_EQ(scheduled("C1", "43200000.000000"), 1u);

    ZAVAsyncUtil::waitUntilIdle();
    ASSERT_TRUE(fs::is_regular_file(savedFile("C1")));
    auto saved = readSaved("C1");
    EXPECT_EQ(saved->timeStamp(), static_cast<int64_t>(container->lastRefreshTime()));
    ASSERT_TRUE(saved->supplementedResource()->hasResource());
    EXPECT_EQ(saved->supplementedResource()->fingerprint()->utf8(), "fp-5");
    EXPECT_EQ(saved->supplementedResource()->resource()->version()->utf8(), "5");

    clock.clock().advance(43199.999);
    pump();
    EXPECT_EQ(server.requestCount(), 1u);
    clock.clock().advance(0.001);
    ASSERT_TRUE(waitFor("success 1", 2));
    EXPECT_EQ(server.requests()[1].query, "id=C1" + kVersionQuery + "&pv=fp-5");
}

TEST_F(ContainerLoadingTest, WithNoServerConfiguredADownloadFailsOnTheNextTurn) {
    auto container = ZAVContainer::initWithId("C1", owner);
    containers.push_back(container);
    container->loadWithCallback(callback);
    ASSERT_TRUE(waitFor("failure 2 1"));
    container->refresh();
    plat::RunLoop::main().runOnce(0);
    EXPECT_EQ(callback->events(), (Events{"begin 0", "failure 0 0", "failure 2 1", "failure 2 1"}));
}

TEST_F(ContainerLoadingTest, RefreshSendsTheFingerprintNoChangeKeepsTheRulesAndA404RetriesInAnHour) {
    server.route("GET", "/r", Answer{.body = downloadBody("net", "5", "fp-5")});
    auto container = load();
    ASSERT_TRUE(waitFor("success 1"));

    // No change: an answer without resource.
    server.route("GET", "/r", Answer{.body = ""});
    clock.clock().advance(60);
    container->refresh();
    ASSERT_TRUE(waitFor("success 1", 2));
    EXPECT_EQ(server.requests()[1].query, "id=C1" + kVersionQuery + "&pv=fp-5");
    EXPECT_EQ(container->stringForKey("greeting"), "net");
    EXPECT_EQ(container->lastRefreshTime(), ZAVContainer::currentTimeInMilliseconds());
    // Without a fingerprint in the answer the resource's version stands for it.
    EXPECT_EQ(container->lastLoadedSupplementedResource()->fingerprint()->utf8(), "5");

    server.route("GET", "/r", Answer{.status = 404});
    clock.clock().advance(5);
    container->refresh();
    ASSERT_TRUE(waitFor("failure 4 1"));
    EXPECT_EQ(callback->events().back(), "failure 4 1");
    EXPECT_EQ(container->stringForKey("greeting"), "net");
    EXPECT_EQ(scheduled("C1", "3600000.000000"), 1u);
    clock.clock().advance(3599);
    pump();
    EXPECT_EQ(server.requestCount(), 3u);
    clock.clock().advance(1);
    ASSERT_TRUE(waitForRequests(4));
    EXPECT_EQ(server.requests()[3].query, "id=C1" + kVersionQuery + "&pv=5");
}

TEST_F(ContainerLoadingTest, SavedCopyIsAdoptedAndItsTimeStampSetsTheNextDownload) {
    server.route("GET", "/r", Answer{.body = downloadBody("net", "6", "fp-6")});
    const double now = ZAVContainer::currentTimeInMilliseconds();
    writeSaved("HOUR", *savedCopy(tmtest::greetingResource("saved"), now - 3600000, "fp-saved"));
    writeSaved("LATE", *savedCopy(tmtest::greetingResource("saved"), now - 13 * 3600000.0, "fp-old"));
    writeSaved("AHEAD", *savedCopy(tmtest::greetingResource("saved"), now + 3600000, "fp-ahead"));

    auto hour = load("HOUR");
    ASSERT_TRUE(waitFor("success 0"));
    EXPECT_EQ(callback->events(), (Events{"begin 0", "success 0"}));
    EXPECT_EQ(hour->stringForKey("greeting"), "saved");
    EXPECT_EQ(hour->lastRefreshTime(), now - 3600000);
    EXPECT_EQ(hour->lastLoadedSupplementedResource()->fingerprint()->utf8(), "fp-saved");
    EXPECT_EQ(log->count("verbose", "Setting refresh time to saved time: " +
                                        std::to_string(static_cast<int64_t>(now - 3600000))),
              1u);
    EXPECT_EQ(scheduled("HOUR", "39600000.000000"), 1u);

    auto ahead = load("AHEAD");
    ASSERT_TRUE(waitFor("success 0", 2));
    EXPECT_EQ(scheduled("AHEAD", "43200000.000000"), 1u);

    auto late = load("LATE");
    ASSERT_TRUE(waitFor("success 1"));
    EXPECT_EQ(scheduled("LATE", "0.000000"), 1u);
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].query, "id=LATE" + kVersionQuery + "&pv=fp-old");
    EXPECT_EQ(late->stringForKey("greeting"), "net");
}

TEST_F(ContainerLoadingTest, ExperimentSupplementalsOfADownloadReachTheDataLayerAndAreSaved) {
    auto body = tmtest::supplemented(tmtest::greetingResource("net", "5"), "fp-5");
    auto experiment = ZAVPRuvExperimentSupplemental::message();
    experiment->valueToPushArray()->addObject(
        ZAVTypes::objectToValue(tmtest::M({{tmtest::T("variant"), tmtest::T("b")}})));
    auto supplemental = ZAVPSupplemental::message();
    supplemental->setName(ZAVWireString::create("ruvExperiment:1"));
    supplemental->setExperimentSupplemental(experiment);
    body->supplementalArray()->addObject(supplemental);
    server.route("GET", "/r", Answer{.body = tmtest::bytesOf(*body)});
    auto container = load();
    ASSERT_TRUE(waitFor("success 1"));
    auto variant = owner->layer->get("variant");
    ASSERT_TRUE(variant);
    EXPECT_EQ(variant->textValue(), "b");
    EXPECT_EQ(container->lastLoadedSupplementedResource()->supplementalArray_Count(), 1u);
    ZAVAsyncUtil::waitUntilIdle();
    EXPECT_EQ(readSaved("C1")->supplementedResource()->supplementalArray_Count(), 1u);
}

TEST_F(ContainerLoadingTest, ASavedCopyInTheOlderFormUsesItsVersionAsFingerprint) {
    tmtest::ResourceBuilder b;
    b.macro("greeting", "_c", {{"value", b.string("old form")}});
    b.setVersion("v9");
    writeSaved("C1", *b.withMetadata(static_cast<int64_t>(ZAVContainer::currentTimeInMilliseconds())));
    auto container = load();
    ASSERT_TRUE(waitFor("success 0"));
    EXPECT_EQ(container->stringForKey("greeting"), "old form");
    EXPECT_EQ(container->lastLoadedSupplementedResource()->fingerprint()->utf8(), "v9");
}

TEST_F(ContainerLoadingTest, ADownloadTheExpansionRefusesIsAServerErrorAndNothingIsKept) {
    tmtest::ResourceBuilder b;
    b.macro("greeting", "_c", {{"value", b.string("bundle")}});
    testsupport::writeFile(bundle.path() / "C1", tmtest::bytesOf(*b.build()));
    server.route("GET", "/r",
                 Answer{.body = tmtest::bytesOf(*tmtest::supplemented(tmtest::invalidResource(), "fp-bad"))});
    auto container = load();
    ASSERT_TRUE(waitFor("failure 4 1"));
    EXPECT_EQ(callback->events(), (Events{"begin 0", "failure 0 0", "begin 1", "failure 4 1"}));
    EXPECT_EQ(log->count("error", "Not loading resource: "), 1u);
    EXPECT_EQ(container->stringForKey("greeting"), "bundle");
    EXPECT_TRUE(container->isDefault());
    EXPECT_FALSE(container->lastLoadedSupplementedResource()->hasFingerprint());
    EXPECT_EQ(scheduled("C1", "3600000.000000"), 1u);
    ZAVAsyncUtil::waitUntilIdle();
    EXPECT_FALSE(fs::exists(savedFile("C1")));

    // The next attempt asks without a previous version, so the good one can come.
    server.route("GET", "/r", Answer{.body = downloadBody("good", "2", "fp-2")});
    clock.clock().advance(3600);
    ASSERT_TRUE(waitFor("success 1"));
    EXPECT_EQ(server.requests()[1].query, "id=C1" + kVersionQuery);
    EXPECT_EQ(container->stringForKey("greeting"), "good");
}

TEST_F(ContainerLoadingTest, ASavedCopyTheExpansionRefusesIsAReadErrorAndDownloadsAtOnce) {
    writeSaved("C1",
               *savedCopy(tmtest::invalidResource(), ZAVContainer::currentTimeInMilliseconds(), "fp-bad"));
    server.route("GET", "/r", Answer{.body = downloadBody("net", "3", "fp-3")});
    auto container = load();
    ASSERT_TRUE(waitFor("success 1"));
    EXPECT_EQ(callback->events(), (Events{"begin 0", "failure 1 0", "begin 1", "success 1"}));
    EXPECT_EQ(server.requests()[0].query, "id=C1" + kVersionQuery);
    EXPECT_EQ(container->stringForKey("greeting"), "net");
    // The reason, then one line naming the refused resource; never the resource's whole text.
    EXPECT_EQ(log->count("error", "Index out of bounds detected: 99 in predicates"), 1u);
    EXPECT_EQ(log->count("error",
                         "Not loading resource: version \"bad\" because it is invalid: "
                         "InvalidResourceException: Resource is invalid"),
              1u);
    for (const auto& line : log->lines()) {
        const bool shown = line.level == "error" || line.level == "warning";
        EXPECT_TRUE(!shown || line.message.find('\n') == std::string::npos) << line.message;
    }
}

TEST_F(ContainerLoadingTest, AnAnswerWithoutResourceBeforeAnyIsAServerError) {
    server.route("GET", "/r", Answer{.body = ""});
    auto container = load();
    ASSERT_TRUE(waitFor("failure 4 1"));
    EXPECT_EQ(callback->events(), (Events{"begin 0", "failure 0 0", "begin 1", "failure 4 1"}));
    EXPECT_TRUE(container->isDefault());
    EXPECT_EQ(scheduled("C1", "3600000.000000"), 1u);
}

TEST_F(ContainerLoadingTest, ASavedCopyArrivingAfterADownloadIsReportedNotAdopted) {
    server.route("GET", "/r", Answer{.body = downloadBody("net", "5", "fp-5")});
    auto container = load();
    ASSERT_TRUE(waitFor("success 1"));
    const double loaded = container->lastRefreshTime();
    clock.clock().advance(10);
    container->diskLoadCallback()->onSuccess(savedCopy(tmtest::greetingResource("stale"), 1000, "fp-stale"));
    EXPECT_EQ(callback->events().back(), "success 0");
    EXPECT_EQ(container->stringForKey("greeting"), "net");
    EXPECT_EQ(container->lastRefreshTime(), loaded);
    EXPECT_EQ(container->lastLoadedSupplementedResource()->fingerprint()->utf8(), "fp-5");
}

TEST_F(ContainerLoadingTest, DefaultContainerModeReadsDownloadsAndReportsNothing) {
    owner->mode = ZAVContainerOwner::kRefreshModeDefaultContainer;
    writeSaved(
        "C1", *savedCopy(tmtest::greetingResource("saved"), ZAVContainer::currentTimeInMilliseconds(), "fp"));
    server.route("GET", "/r", Answer{.body = downloadBody("net", "5", "fp-5")});
    auto container = load();
    EXPECT_EQ(log->count("info", "Container is in DEFAULT_CONTAINER mode. Use default container."), 1u);
    EXPECT_TRUE(container->diskLoadCallback());
    EXPECT_FALSE(container->networkLoadScheduler());
    container->loadAfterDelay(0);
    ZAVAsyncUtil::waitUntilIdle();
    pump();
    EXPECT_TRUE(callback->events().empty());
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(container->stringForKey("greeting"), "");
    try {
        container->loadWithCallback(callback);
        ADD_FAILURE() << "a second load was accepted";
    } catch (const plat::Exception& e) {
        EXPECT_EQ(e.name(), "ContainerAlreadyLoadedException");
        EXPECT_EQ(e.reason(), "Container already loaded: container Id:C1");
    }
}

TEST_F(ContainerLoadingTest, APreviewedContainerDownloadsThePreviewAndNeitherReadsNorSaves) {
    auto saved =
        savedCopy(tmtest::greetingResource("saved"), ZAVContainer::currentTimeInMilliseconds(), "fp");
    writeSaved("C1", *saved);
    ASSERT_TRUE(ZAVPreviewManager::instance()->generatePreviewDataForUrl(
        std::string("zodaruzivu.c.app://preview/p?id=C1&vuz_auth=x&vuz_preview=1")));
    server.route("GET", "/r", Answer{.body = downloadBody("preview", "p1", "fp-p1")});
    auto container = load();
    ASSERT_TRUE(waitFor("success 1"));
    EXPECT_EQ(callback->events(), (Events{"begin 0", "failure 0 0", "begin 1", "success 1"}));
    EXPECT_EQ(container->ctfeUrlPathAndQuery(),
              std::optional<std::string>("/r?id=C1&vuz_auth=x&vuz_preview=1"));
    EXPECT_EQ(server.requests()[0].query, "id=C1&vuz_auth=x&vuz_preview=1" + kVersionQuery);
    EXPECT_EQ(container->stringForKey("greeting"), "preview");
    ZAVAsyncUtil::waitUntilIdle();
    EXPECT_EQ(testsupport::readFile(savedFile("C1")), tmtest::bytesOf(*saved));

    // Back to the default path.
    container->setCtfeUrlPathAndQuery(std::nullopt);
    EXPECT_EQ(container->networkLoadScheduler()->ctfeUrlPathAndQuery(), std::nullopt);
}

TEST_F(ContainerLoadingTest, CloseCancelsDownloadsAndLaterResultsChangeNothing) {
    server.route("GET", "/r", Answer{.body = downloadBody("net", "5", "fp-5")});
    auto container = load();
    ASSERT_TRUE(waitFor("success 1"));
    auto scheduler = container->networkLoadScheduler();
    auto network = container->networkLoadCallback();
    auto disk = container->diskLoadCallback();
    ASSERT_TRUE(scheduler && scheduler->hasPendingTimer());
    container->close();
    EXPECT_FALSE(scheduler->hasPendingTimer());
    EXPECT_FALSE(container->networkLoadScheduler());
    EXPECT_FALSE(container->networkLoadCallback());
    EXPECT_FALSE(container->diskLoadCallback());
    EXPECT_FALSE(container->resourceStorage());
    EXPECT_EQ(owner->removedIds(), std::vector<std::string>{"C1"});
    EXPECT_FALSE(network->callback());

    const auto before = callback->events();
    network->onSuccess(tmtest::supplemented(tmtest::greetingResource("late"), "fp-late"));
    network->onFailure(ZAVLoadFailureIOError);
    disk->onSuccess(savedCopy(tmtest::greetingResource("late"), 1, "fp-late"));
    EXPECT_EQ(callback->events(), before);
    EXPECT_TRUE(container->isClosed());
    EXPECT_EQ(container->stringForKey("greeting"), "");
    clock.clock().advance(43200);
    pump();
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(ContainerLoadingTest, TheExampleContainerFiresItsTagsOnGoOnly) {
    server.route("GET", "/r",
                 Answer{.body = testsupport::readFile(testsupport::sourceDir() /
                                                      "peers/data/tagmanager/CTR-EXAMPLE")});
    auto container = load("CTR-EXAMPLE");
    ASSERT_TRUE(waitFor("success 1"));
    EXPECT_EQ(container->lastLoadedSupplementedResource()->fingerprint()->utf8(), "example-1");
    struct Handler : ZAVFunctionCallTagHandler {
        void execute(const std::string& tagName, const Parameters& parameters) override {
            auto event = parameters.find("event");
            calls.push_back(tagName + ":" + (event == parameters.end() ? "" : event->second->description()));
        }
        std::vector<std::string> calls;
    };
    auto handler = std::make_shared<Handler>();
    container->registerFunctionCallTagHandler(handler, "example");
    container->evaluateTags("stop");
    EXPECT_TRUE(handler->calls.empty());
    EXPECT_FALSE(owner->layer->get("done"));
    container->evaluateTags("go");
    EXPECT_EQ(handler->calls, std::vector<std::string>{"example:go"});
    ASSERT_TRUE(owner->layer->get("done"));
    EXPECT_TRUE(owner->layer->get("done")->boolValue());
}

TEST(ContainerLoadFailures, EachRoadMapsTheKindsItsOwnWay) {
    EXPECT_EQ(ZAVDiskLoadCallback::failureToRefreshFailure(1), ZAVRefreshFailureNoSavedContainer);
    EXPECT_EQ(ZAVDiskLoadCallback::failureToRefreshFailure(2), ZAVRefreshFailureIOError);
    EXPECT_EQ(ZAVDiskLoadCallback::failureToRefreshFailure(3), ZAVRefreshFailureServerError);
    EXPECT_EQ(ZAVDiskLoadCallback::failureToRefreshFailure(0), ZAVRefreshFailureUnknownError);
    EXPECT_EQ(ZAVNetworkLoadCallback::failureToRefreshFailure(1), ZAVRefreshFailureNoNetwork);
    EXPECT_EQ(ZAVNetworkLoadCallback::failureToRefreshFailure(2), ZAVRefreshFailureNetworkError);
    EXPECT_EQ(ZAVNetworkLoadCallback::failureToRefreshFailure(3), ZAVRefreshFailureServerError);
    EXPECT_EQ(ZAVNetworkLoadCallback::failureToRefreshFailure(7), ZAVRefreshFailureUnknownError);
}

}  // namespace
