// Opening containers within a bounded time through the facade: both waiting policies, the time-out on the
// main run loop (virtual clock), shared opens of one id and the blocking future, with real storage files,
// bundle defaults and downloads from the loopback kit.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "platform/net/URLConnection.h"
#include "tagmanager/container/ZAVContainer.h"
#include "tests/tagmanager/FacadeTestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Answer;

// What each notifier heard, in order: its name, the container and that container's "greeting" then.
struct Heard {
    std::string name;
    std::shared_ptr<ZAVContainer> container;
    std::string greeting;
};

class RecordingNotifier : public ZAVContainerOpenerNotifier {
  public:
    RecordingNotifier(std::string name, std::vector<Heard>& heard) : name_(std::move(name)), heard_(heard) {}
    void containerAvailable(const std::shared_ptr<ZAVContainer>& container) override {
        heard_.push_back({name_, container, container ? container->stringForKey("greeting") : ""});
    }

  private:
    std::string name_;
    std::vector<Heard>& heard_;
};

std::vector<std::string> names(const std::vector<Heard>& heard) {
    std::vector<std::string> out;
    for (const auto& h : heard) out.push_back(h.name);
    return out;
}

class ContainerOpenerTest : public tmtest::FacadeFixture {
  protected:
    void SetUp() override {
        FacadeFixture::SetUp();
        manager = ZODAruzivu::instance();
        manager->setCtfeServerAddress(address(server));
    }
    void TearDown() override {
        manager = nullptr;
        FacadeFixture::TearDown();
    }
    void advance(double seconds) {
        clock.clock().advance(seconds);
        pump();
    }
    std::shared_ptr<RecordingNotifier> notifier(const std::string& name) {
        return std::make_shared<RecordingNotifier>(name, heard);
    }
    void open(const std::string& id, uint32_t openType, std::optional<double> timeout,
              const std::string& name) {
        ZAVContainerOpener::openContainerWithId(id, manager, openType, timeout, notifier(name));
    }
    void writeBundleDefault(const std::string& id, const std::string& greeting) {
        testsupport::writeFile(bundle.path() / id, tmtest::bytesOf(*tmtest::greetingResource(greeting)));
    }
    void writeSaved(const std::string& id, const std::string& greeting, double timeStamp) {
        tmtest::ResourceBuilder b;
        b.macro("greeting", "_c", {{"value", b.string(greeting)}});
        b.setVersion("saved");
        auto saved = ZAVPResourceWithMetadata::message();
        saved->setTimeStamp(static_cast<int64_t>(timeStamp));
        saved->setResource(ZAVPResource::message());
        saved->setSupplementedResource(tmtest::supplemented(b.build(), "fp-saved"));
        fs::path file =
            home.path() / "Library" / "Application Support" / "Zedive" / "ZodAruzivu" / ("resource_" + id);
        fs::create_directories(file.parent_path());
        testsupport::writeFile(file, tmtest::bytesOf(*saved));
    }
    void serveGreeting(const std::string& greeting) {
        server.route("GET", "/r",
                     Answer{.body = tmtest::bytesOf(
                                *tmtest::supplemented(tmtest::greetingResource(greeting, "net"), "fp-net"))});
    }
    bool waitHeard(size_t count) {
        return testsupport::runMainLoopUntil([&] { return heard.size() >= count; });
    }

    std::shared_ptr<ZODAruzivu> manager;
    std::vector<Heard> heard;
};

TEST_F(ContainerOpenerTest, MissingArgumentsOpenNothing) {
    EXPECT_EQ(ZAVContainerOpener::openContainerWithId(std::nullopt, manager, 0, std::nullopt), nullptr);
    EXPECT_EQ(log->count("error", "containerId must be non-nil"), 1u);
    EXPECT_EQ(ZAVContainerOpener::openContainerWithId("CTR-A", nullptr, 0, std::nullopt), nullptr);
    EXPECT_EQ(log->count("error", "zodAruzivu must be non-nil"), 1u);
    ZAVContainerOpener::openContainerWithId("CTR-A", manager, 0, std::nullopt, nullptr);
    EXPECT_EQ(log->count("error", "notifier must be non-nil"), 1u);
    EXPECT_TRUE(manager->containers().empty());
    EXPECT_EQ(ZAVContainerOpener::waitingIdCount(), 0u);
}

TEST_F(ContainerOpenerTest, TheTimeOutIsTwoSecondsUnlessGivenAndOnlyAHundredOrMoreIsWarnedOf) {
    EXPECT_EQ(ZAVContainerOpener::defaultTimeout(), 2.0);
    auto notifierless = std::shared_ptr<ZAVContainerOpenerNotifier>();
    EXPECT_EQ(
        ZAVContainerOpener::initWithContainerId("CTR-A", manager, std::nullopt, notifierless)->timeout(),
        2.0);
    EXPECT_EQ(ZAVContainerOpener::initWithContainerId("CTR-A", manager, 99.9, notifierless)->timeout(), 99.9);
    EXPECT_EQ(log->count("warning", "Excessive timeout"), 0u);
    EXPECT_EQ(ZAVContainerOpener::initWithContainerId("CTR-A", manager, 100, notifierless)->timeout(), 100);
    EXPECT_EQ(log->count("warning", "Excessive timeout detected (100.000000). Timeout should be in seconds."),
              1u);
}

// Default-container mode reports nothing, so only the time-out hands over, with the bundle's default.
TEST_F(ContainerOpenerTest, InDefaultContainerModeTheTimeOutHandsOverAfterTwoSeconds) {
    writeBundleDefault("CTR-A", "bundled");
    manager->setRefreshMode(ZAVContainerOwner::kRefreshModeDefaultContainer);
    open("CTR-A", ZAVContainerOpener::kOpenTypePreferNonDefault, std::nullopt, "first");
    advance(1.999);
    EXPECT_TRUE(heard.empty());
    advance(0.001);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].greeting, "bundled");
    EXPECT_EQ(heard[0].container, manager->getContainerById("CTR-A"));
    EXPECT_TRUE(heard[0].container->isDefault());
    EXPECT_EQ(ZAVContainerOpener::waitingIdCount(), 0u);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(ContainerOpenerTest, ThreeOverlappingOpensShareOneContainerAndTheFirstTimer) {
    writeBundleDefault("CTR-A", "bundled");
    manager->setRefreshMode(ZAVContainerOwner::kRefreshModeDefaultContainer);
    open("CTR-A", ZAVContainerOpener::kOpenTypePreferNonDefault, std::nullopt, "first");
    // Their own time-outs play no part: only the first open set a timer.
    open("CTR-A", ZAVContainerOpener::kOpenTypePreferFresh, 0.5, "second");
    open("CTR-A", ZAVContainerOpener::kOpenTypePreferNonDefault, 0.5, "third");
    EXPECT_EQ(log->count("error", "has already been opened"), 0u);
    EXPECT_EQ(manager->containers().size(), 1u);
    advance(1.0);
    EXPECT_TRUE(heard.empty());
    advance(1.0);
    ASSERT_EQ(names(heard), (std::vector<std::string>{"first", "second", "third"}));
    for (const auto& h : heard) EXPECT_EQ(h.container, heard[0].container);
    advance(10);
    EXPECT_EQ(heard.size(), 3u);

    // Its open has finished: a later open is answered before it returns.
    open("CTR-A", ZAVContainerOpener::kOpenTypePreferNonDefault, std::nullopt, "late");
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_EQ(heard[3].container, heard[0].container);
    EXPECT_EQ(ZAVContainerOpener::waitingIdCount(), 0u);
}

TEST_F(ContainerOpenerTest, PreferFreshWaitsForTheDownloadWhenTheSavedCopyIsThirteenHoursOld) {
    const size_t loadsBefore = plat::URLConnection::activeCount();
    const double now = ZAVContainer::currentTimeInMilliseconds();
    writeSaved("CTR-FRESH", "saved", now - 13 * 3600000.0);
    writeSaved("CTR-ANY", "saved", now - 13 * 3600000.0);
    serveGreeting("net");
    open("CTR-FRESH", ZAVContainerOpener::kOpenTypePreferFresh, std::nullopt, "fresh");
    ASSERT_TRUE(waitHeard(1));
    EXPECT_EQ(heard[0].greeting, "net");
    EXPECT_EQ(server.requestCount(), 1u);

    // The other policy takes the saved copy as it comes.
    open("CTR-ANY", ZAVContainerOpener::kOpenTypePreferNonDefault, std::nullopt, "any");
    ASSERT_TRUE(waitHeard(2));
    EXPECT_EQ(heard[1].greeting, "saved");
    // Its download of the stale copy is still under way: it ends before the test does, so no later test
    // finds a connection of this one.
    EXPECT_TRUE(testsupport::runMainLoopUntil(
        [loadsBefore] { return plat::URLConnection::activeCount() <= loadsBefore; }));
}

TEST_F(ContainerOpenerTest, PreferFreshTakesASavedCopyAnHourOld) {
    writeSaved("CTR-FRESH", "saved", ZAVContainer::currentTimeInMilliseconds() - 3600000.0);
    serveGreeting("net");
    open("CTR-FRESH", ZAVContainerOpener::kOpenTypePreferFresh, std::nullopt, "fresh");
    ASSERT_TRUE(waitHeard(1));
    EXPECT_EQ(heard[0].greeting, "saved");
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(ContainerOpenerTest, ASavedLoadFailureNeverHandsOverAloneTheDownloadDoes) {
    for (uint32_t type :
         {ZAVContainerOpener::kOpenTypePreferNonDefault, ZAVContainerOpener::kOpenTypePreferFresh}) {
        SCOPED_TRACE(type);
        heard.clear();
        const std::string id = "CTR-NONE-" + std::to_string(type);
        auto release = std::make_shared<std::promise<void>>();
        std::shared_future<void> released = release->get_future().share();
        server.route("GET", "/r", [released](const testsupport::RecordedRequest&) {
            released.wait_for(std::chrono::seconds(10));
            return Answer{.status = 404};
        });
        const size_t before = server.requestCount();
        open(id, type, std::nullopt, "open");
        // The download starts only after the saved load failed.
        ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return server.requestCount() > before; }));
        pump();
        EXPECT_TRUE(heard.empty());
        release->set_value();
        ASSERT_TRUE(waitHeard(1));
        EXPECT_EQ(heard[0].container, manager->getContainerById(id));
        EXPECT_TRUE(heard[0].container->isDefault());
    }
}

TEST_F(ContainerOpenerTest, AFutureIsNotDoneUntilHandedOverThenGetReturnsAtOnce) {
    serveGreeting("net");
    auto future = ZAVContainerOpener::openContainerWithId("CTR-A", manager, 0, std::nullopt);
    ASSERT_TRUE(future);
    EXPECT_FALSE(future->isDone());
    // Turns the main run loop until the download lands.
    auto container = future->get();
    ASSERT_TRUE(container);
    EXPECT_TRUE(future->isDone());
    EXPECT_EQ(container->stringForKey("greeting"), "net");
    EXPECT_EQ(future->get(), container);

    // A finished id's future is done before it is returned.
    auto again = ZAVContainerOpener::openContainerWithId("CTR-A", manager, 1, std::nullopt);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->isDone());
    EXPECT_EQ(again->get(), container);
}

}  // namespace
