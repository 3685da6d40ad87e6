// Container downloads on the loopback kit and the virtual clock: the URL's forms, the one pending timer,
// and what each kind of reply is reported as.
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/runloop/RunLoop.h"
#include "tagmanager/base/ZAVEndpoints.h"
#include "tagmanager/container/ZAVResourceLoader.h"
#include "tagmanager/container/ZAVResourceLoaderScheduler.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/tagmanager/TagManagerTestSupport.h"
#include "tests/tagmanager/support/ResourceBuilder.h"
#include "wire/ZAVWireRootObject.h"
#include "wire/ZAVWireString.h"

namespace {

using testsupport::Answer;
using testsupport::LoopbackServer;
using testsupport::RefusedPort;

class RecordingLoadCallback : public ZAVLoadCallback {
  public:
    void startLoad() override { events.push_back("start"); }
    void onSuccess(const std::shared_ptr<ZAVPSupplementedResource>& resource) override {
        events.push_back("success");
        last = resource;
    }
    void onFailure(uint32_t failure) override { events.push_back("failure " + std::to_string(failure)); }
    bool ended() const { return !events.empty() && events.back() != "start"; }

    std::vector<std::string> events;
    std::shared_ptr<ZAVPSupplementedResource> last;
};

std::string containerBytes(const std::string& fingerprint) {
    tmtest::ResourceBuilder b;
    b.string("hello");
    b.setVersion("7");
    auto data = b.supplemented(fingerprint)->data();
    return std::string(reinterpret_cast<const char*>(data->bytes()), data->length());
}

const std::string kVersionQuery = "&v=i92886563";

class ResourceLoaderTest : public ::testing::Test {
  protected:
    ResourceLoaderTest() {
        scheduler->setLoadCallback(callback);
        scheduler->setCtfeServerAddress("http://127.0.0.1:" + std::to_string(server.port()));
    }
    ~ResourceLoaderTest() override { scheduler->close(); }

    // Serves `answer` at "/r", downloads at once and waits for the outcome.
    void download(Answer answer) {
        server.route("GET", "/r", std::move(answer));
        scheduler->loadAfterDelay(0, std::nullopt);
        ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return callback->ended(); }));
    }

    testsupport::VirtualClockScope clock;
    tmtest::CapturedLog log;
    LoopbackServer server;
    testsupport::URLLoadingScope loading;
    std::shared_ptr<RecordingLoadCallback> callback = std::make_shared<RecordingLoadCallback>();
    std::shared_ptr<ZAVResourceLoaderScheduler> scheduler =
        ZAVResourceLoaderScheduler::initWithContainerId("C1");
};

TEST(ResourceLoaderUrl, DefaultPathVersionAndPreviousVersion) {
    auto loader = ZAVResourceLoader::initWithContainerId("CTR-1 x");
    EXPECT_EQ(ZAVResourceLoader::sdkVersion(), "i92886563");
    EXPECT_EQ(loader->ctfeServerAddress(), ZAVEndpoints::serverAddress());
    EXPECT_EQ(loader->ctfeServerAddress().rfind("https://", 0), 0u);
    loader->setCtfeServerAddress("https://tm.example");
    // The id goes in as it is, without escaping.
    EXPECT_EQ(loader->ctfeUrl(), "https://tm.example/r?id=CTR-1 x&v=i92886563");

    loader->setPreviousVersion(" \t\r\n ");
    EXPECT_EQ(loader->ctfeUrl(), "https://tm.example/r?id=CTR-1 x&v=i92886563");
    loader->setPreviousVersion("");
    EXPECT_EQ(loader->ctfeUrl(), "https://tm.example/r?id=CTR-1 x&v=i92886563");
    loader->setPreviousVersion(" fp 1\n");
    EXPECT_EQ(loader->ctfeUrl(), "https://tm.example/r?id=CTR-1 x&v=i92886563&pv= fp 1\n");

    loader->setPreviousVersion(std::nullopt);
    loader->setCtfeUrlPathAndQuery("/r?id=C&vuz_auth=x&vuz_preview=1");
    EXPECT_EQ(loader->ctfeUrl(), "https://tm.example/r?id=C&vuz_auth=x&vuz_preview=1&v=i92886563");
    loader->setCtfeUrlPathAndQuery(std::nullopt);
    EXPECT_EQ(loader->ctfeUrl(), "https://tm.example/r?id=CTR-1 x&v=i92886563");
}

TEST_F(ResourceLoaderTest, DelayZeroFiresOnTheNextPassWithThePreviousVersion) {
    server.route("GET", "/r", Answer{.body = containerBytes("fp-7")});
    scheduler->loadAfterDelay(0, std::string("fp-6"));
    EXPECT_TRUE(scheduler->hasPendingTimer());
    EXPECT_TRUE(callback->events.empty());
    plat::RunLoop::main().runOnce();
    EXPECT_FALSE(scheduler->hasPendingTimer());
    ASSERT_EQ(callback->events, std::vector<std::string>{"start"});
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return callback->ended(); }));
    EXPECT_EQ(callback->events, (std::vector<std::string>{"start", "success"}));
    ASSERT_TRUE(callback->last && callback->last->hasResource());
    EXPECT_EQ(callback->last->fingerprint()->utf8(), "fp-7");
    EXPECT_EQ(callback->last->resource()->version()->utf8(), "7");
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].query, "id=C1" + kVersionQuery + "&pv=fp-6");
    EXPECT_EQ(log->count("verbose", "scheduleTask: containerId=C1 delay=0.000000"), 1u);
    EXPECT_EQ(log->count("verbose", "Load resource from network finished"), 1u);
}

TEST_F(ResourceLoaderTest, TwelveHoursIsFortyThreeThousandTwoHundredSeconds) {
    server.route("GET", "/r", Answer{.body = containerBytes("")});
    scheduler->loadAfterDelay(43200000, std::nullopt);
    clock.clock().advance(43199.999);
    plat::RunLoop::main().runOnce();
    EXPECT_TRUE(scheduler->hasPendingTimer());
    EXPECT_TRUE(callback->events.empty());
    clock.clock().advance(0.001);
    plat::RunLoop::main().runOnce();
    EXPECT_FALSE(scheduler->hasPendingTimer());
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return callback->ended(); }));
    EXPECT_EQ(server.requests()[0].query, "id=C1" + kVersionQuery);
}

TEST_F(ResourceLoaderTest, NegativeOrUndefinedDelaysAreDueAtOnce) {
    server.route("GET", "/r", Answer{.body = containerBytes("")});
    for (double delay : {-5000.0, std::numeric_limits<double>::quiet_NaN()}) {
        callback->events.clear();
        scheduler->loadAfterDelay(delay, std::nullopt);
        plat::RunLoop::main().runOnce();
        EXPECT_FALSE(scheduler->hasPendingTimer());
        ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return callback->ended(); }));
    }
    scheduler->loadAfterDelay(1e300, std::nullopt);
    clock.clock().advance(364 * 24 * 3600.0);
    plat::RunLoop::main().runOnce();
    EXPECT_TRUE(scheduler->hasPendingTimer());
    EXPECT_EQ(server.requestCount(), 2u);
}

TEST_F(ResourceLoaderTest, ASecondRequestReplacesThePendingOne) {
    server.route("GET", "/r", Answer{.body = containerBytes("")});
    scheduler->setCtfeUrlPathAndQuery("/r?id=C1&vuz_auth=a&vuz_preview=2");
    scheduler->loadAfterDelay(1000, std::string("first"));
    scheduler->loadAfterDelay(1000, std::string("second"));
    clock.clock().advance(1);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return callback->ended(); }));
    clock.clock().advance(3600);
    for (int i = 0; i < 5; ++i) plat::RunLoop::main().runOnce();
    EXPECT_EQ(callback->events, (std::vector<std::string>{"start", "success"}));
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].query, "id=C1&vuz_auth=a&vuz_preview=2" + kVersionQuery + "&pv=second");
    EXPECT_EQ(log->count("debug", "Setting CTFE url path to /r?id=C1&vuz_auth=a&vuz_preview=2"), 1u);
}

TEST_F(ResourceLoaderTest, CloseCancelsThePendingDownload) {
    scheduler->loadAfterDelay(0, std::nullopt);
    scheduler->close();
    EXPECT_FALSE(scheduler->hasPendingTimer());
    clock.clock().advance(60);
    for (int i = 0; i < 5; ++i) plat::RunLoop::main().runOnce();
    EXPECT_TRUE(callback->events.empty());
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(ResourceLoaderTest, StatusesMapToFailureKinds) {
    download(Answer{.status = 404});
    EXPECT_EQ(callback->events.back(), "failure 3");
    EXPECT_EQ(log->count("warning", "Make sure container_id:C1 is correct."), 1u);
    callback->events.clear();
    download(Answer{.status = 500, .body = containerBytes("x")});
    EXPECT_EQ(callback->events, (std::vector<std::string>{"start", "failure 2"}));
    EXPECT_EQ(log->count("warning", "status code = 500"), 1u);
    // Neither failure counts as a finished load.
    EXPECT_EQ(log->count("verbose", "Load resource from network finished"), 0u);
}

TEST_F(ResourceLoaderTest, AnEmptyBodyIsASuccessWithoutResource) {
    download(Answer{.body = ""});
    EXPECT_EQ(callback->events, (std::vector<std::string>{"start", "success"}));
    ASSERT_TRUE(callback->last);
    EXPECT_FALSE(callback->last->hasResource());
    EXPECT_EQ(log->count("verbose", "No change for container: C1"), 1u);
}

TEST_F(ResourceLoaderTest, AnUnparsableBodyIsAServerError) {
    download(Answer{.body = std::string("\x0a\xff\xff\xff\xff\x0f", 6)});
    EXPECT_EQ(callback->events, (std::vector<std::string>{"start", "failure 3"}));
    EXPECT_EQ(log->count("warning", "Error when parsing downloaded resources from url: " + server.url("/r")),
              1u);
    EXPECT_EQ(log->count("verbose", "Load resource from network finished"), 1u);
}

TEST_F(ResourceLoaderTest, AnOversizedBodyFailsTheConnection) {
    download(Answer{.body = std::string(ZAVResourceLoader::kMaxResponseBytes + 1, '\0')});
    EXPECT_EQ(callback->events, (std::vector<std::string>{"start", "failure 1"}));
}

TEST_F(ResourceLoaderTest, ARefusedConnectionIsNotAvailable) {
    RefusedPort refused;
    const int closedPort = refused.port();
    scheduler->setCtfeServerAddress("http://127.0.0.1:" + std::to_string(closedPort));
    scheduler->loadAfterDelay(0, std::nullopt);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return callback->ended(); }));
    EXPECT_EQ(callback->events, (std::vector<std::string>{"start", "failure 1"}));
    EXPECT_EQ(log->count("warning", "Error when loading resources from url: http://127.0.0.1:"), 1u);
}

TEST_F(ResourceLoaderTest, WithoutAnAddressTheEndpointTableNamesTheServerAndItsAuthority) {
    LoopbackServer tls({.https = true});
    tls.route("GET", "/r", Answer{.body = containerBytes("fp")});
    ZAVEndpoints::setServerEndpoint({"https", "127.0.0.1", tls.port(), tls.caFile()});
    struct Restore {
        ~Restore() { plat::Endpoints::shared().removeOverride(ZAVEndpoints::kServerName); }
    } restore;
    auto fresh = ZAVResourceLoaderScheduler::initWithContainerId("C2");
    fresh->setLoadCallback(callback);
    fresh->loadAfterDelay(0, std::nullopt);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return callback->ended(); }));
    EXPECT_EQ(callback->events, (std::vector<std::string>{"start", "success"}));
    ASSERT_EQ(tls.requestCount(), 1u);
    EXPECT_TRUE(tls.requests()[0].tls);
    EXPECT_EQ(tls.requests()[0].query, "id=C2" + kVersionQuery);
}

TEST_F(ResourceLoaderTest, NoCallbackWhenTheTimerFiresIsLoggedNotRaised) {
    scheduler->setLoadCallback(nullptr);
    try {
        scheduler->requestResource();
        ADD_FAILURE() << "no exception";
    } catch (const plat::Exception& e) {
        EXPECT_EQ(e.name(), "IllegalStateException");
        EXPECT_EQ(e.reason(), "Callback must be set before scheduleTaskWithDelay is called.");
    }
    scheduler->loadAfterDelay(0, std::nullopt);
    plat::RunLoop::main().runOnce();
    EXPECT_FALSE(scheduler->hasPendingTimer());
    EXPECT_EQ(log->count("error", "IllegalStateException"), 1u);
    EXPECT_EQ(server.requestCount(), 0u);
}

}  // namespace
