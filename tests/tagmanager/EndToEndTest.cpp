// The tag manager end to end, as an app uses it: the facade opens containers from the application bundle,
// the saved copy and a loopback tag-manager server, pushes into the data layer fire the containers' tags,
// and dispatch delivers their pixel and analytics hits; real files under a temporary home, the real hit
// stores and the real analytics SDK, on the virtual clock.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "analytics/RUV.h"
#include "analytics/base/RUVEndpoints.h"
#include "platform/base/Clock.h"
#include "platform/net/Endpoints.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/PropertyList.h"
#include "tagmanager/ZAVContainerOpener.h"
#include "tagmanager/ZODAruzivu.h"
#include "tagmanager/base/ZAVEndpoints.h"
#include "tagmanager/container/ZAVContainer.h"
#include "tagmanager/container/ZAVPreviewManager.h"
#include "tagmanager/hits/ZAVDispatchUtil.h"
#include "tagmanager/hits/ZAVDispatcher.h"
#include "tagmanager/values/ZAVAsyncUtil.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NetTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/tagmanager/ContainerTestSupport.h"
#include "tests/tagmanager/FacadeTestSupport.h"
#include "tests/tagmanager/TagManagerTestSupport.h"
#include "wire/ZAVWireRootObject.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Answer;
using testsupport::LoopbackServer;
using testsupport::RecordedRequest;
using tmtest::M;
using tmtest::T;
using Events = std::vector<std::string>;

const std::string kVersionQuery = "&v=i92886563";

// The app's handler for "_func" tags: the calls it got, as "name:event".
class RecordingTagHandler : public ZAVFunctionCallTagHandler {
  public:
    void execute(const std::string& tagName, const Parameters& parameters) override {
        auto event = parameters.find("event");
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(tagName + ":" + (event == parameters.end() ? "" : event->second->description()));
    }
    std::vector<std::string> calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

ZAVObjectPtr event(const std::string& name) {
    return M({{T("event"), T(name)}});
}

class EndToEndTest : public tmtest::FacadeFixture {
  protected:
    void SetUp() override {
        FacadeFixture::SetUp();
        // The app's endpoints: the tag-manager server (downloads, and the host whose reachability the
        // pixel sender watches) and the collection server, both this loopback server.
        ZAVEndpoints::setServerEndpoint({"http", "127.0.0.1", server.port()});
        RUVEndpoints::setHttpsEndpoint({"http", "127.0.0.1", server.port()});
        RUVEndpoints::setHttpEndpoint({"http", "127.0.0.1", server.port()});
    }
    void TearDown() override {
        // After the facade and its containers, before the home and the server go: the two hit senders
        // with their threads.
        FacadeFixture::TearDown();
        ZAVDispatcher::resetInstance();
        RUV::resetSharedInstance();
        std::promise<void> idle;
        RUV::postToWorker([&idle] { idle.set_value(); });
        idle.get_future().wait();
        for (const char* name :
             {ZAVEndpoints::kServerName, RUVEndpoints::kHttpsName, RUVEndpoints::kHttpName})
            plat::Endpoints::shared().removeOverride(name);
    }

    std::shared_ptr<ZAVContainer> open(const std::string& id) {
        return ZODAruzivu::instance()->openContainerById(id, callback);
    }
    bool waitFor(const std::string& event, size_t times = 1) {
        return testsupport::runMainLoopUntil([&] { return callback->count(event) >= times; });
    }
    void push(const ZAVObjectPtr& update) { ZODAruzivu::instance()->dataLayer()->push(update); }
    ZAVObjectPtr layerValue(const std::string& key) { return ZODAruzivu::instance()->dataLayer()->get(key); }

    // A default container shipped in the application bundle, in the binary form.
    void shipBinaryDefault(const std::string& id, const tmtest::ResourceBuilder& b) {
        testsupport::writeFile(bundle.path() / id, tmtest::bytesOf(*b.build()));
    }
    fs::path savedFile(const std::string& id) const {
        return home.path() / "Library" / "Application Support" / "Zedive" / "ZodAruzivu" / ("resource_" + id);
    }
    std::shared_ptr<ZAVPResourceWithMetadata> readSaved(const std::string& id) const {
        return ZAVPResourceWithMetadata::parseFromData(
            ZAVWireData::create(testsupport::readFile(savedFile(id))), tmtest::ResourceBuilder::registry());
    }
    std::vector<std::string> queries(const std::string& path) const {
        std::vector<std::string> out;
        for (const auto& r : server.requestsTo(path)) out.push_back(r.query);
        return out;
    }
};

// The pixel rule of the example container, shipped as the binary default: "go" fires a pixel, a
// data-layer write and the app's handler; "stop" fires nothing.
TEST_F(EndToEndTest, ABinaryDefaultFiresItsThreeTagsOnGoAndDispatchDeliversThePixel) {
    server.route("GET", "/px", Answer{.status = 200});
    tmtest::ResourceBuilder b;
    b.macro("evt", "_e");
    int32_t isGo = b.predicate("_eq", {{"arg0", b.macroReference("evt")}, {"arg1", b.string("go")}});
    int32_t pixel = b.tag("_img", {{"url", b.string(server.url("/px") + "?c=CTR1&e=go")}});
    int32_t write = b.tag("_dlw", {{"value", b.list({b.map({b.string("done")}, {b.boolean(true)})})}});
    int32_t handlerTag =
        b.tag("_func", {{"function_call_macro_name", b.string("example")},
                        {"additional_params", b.map({b.string("event")}, {b.macroReference("evt")})}});
    b.rule({{isGo}, {}, {pixel, write, handlerTag}, {}, {}, {}});
    b.setVersion("1");
    shipBinaryDefault("CTR1", b);

    auto container = open("CTR1");
    ASSERT_TRUE(container);
    EXPECT_TRUE(container->isDefault());
    EXPECT_EQ(container->resourceVersion(), "1");
    // The server has no such container: the default stays in force.
    ASSERT_TRUE(waitFor("failure 4 1"));
    auto handler = std::make_shared<RecordingTagHandler>();
    container->registerFunctionCallTagHandler(handler, "example");

    push(event("stop"));
    EXPECT_TRUE(handler->calls().empty());
    EXPECT_FALSE(layerValue("done"));
    push(event("go"));
    EXPECT_EQ(handler->calls(), std::vector<std::string>{"example:go"});
    ASSERT_TRUE(layerValue("done"));
    EXPECT_TRUE(layerValue("done")->boolValue());

    auto dispatcher = ZAVDispatcher::instance();
    // The pixel waits in the hit store until a dispatch; the store reports it from ZAVThread.
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return dispatcher->store()->hasHits(); }));
    EXPECT_TRUE(server.requestsTo("/px").empty());
    ZODAruzivu::instance()->dispatch();
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return !dispatcher->store()->hasHits(); }));
    auto pixels = server.requestsTo("/px");
    ASSERT_EQ(pixels.size(), 1u);
    EXPECT_EQ(pixels[0].query, "c=CTR1&e=go");
    EXPECT_EQ(pixels[0].header("User-Agent"), ZAVDispatchUtil::userAgentString());
    EXPECT_EQ(pixels[0].header("User-Agent").rfind("ZuruziVarOvozivi/3.12 (", 0), 0u);
}

TEST_F(EndToEndTest, WithoutASavedCopyTheDownloadIsAdoptedSavedAndRefreshedOnItsSchedule) {
    server.route(
        "GET", "/r",
        Answer{.body = tmtest::bytesOf(*tmtest::supplemented(tmtest::greetingResource("net", "5"), "fp-5"))});
    auto container = open("CTR1");
    ASSERT_TRUE(container);
    ASSERT_TRUE(waitFor("success 1"));
    EXPECT_EQ(callback->events(), (Events{"begin 0", "failure 0 0", "begin 1", "success 1"}));
    EXPECT_EQ(queries("/r"), std::vector<std::string>{"id=CTR1" + kVersionQuery});
    EXPECT_EQ(container->stringForKey("greeting"), "net");
    EXPECT_FALSE(container->isDefault());
    ZAVAsyncUtil::waitUntilIdle();
    ASSERT_TRUE(fs::is_regular_file(savedFile("CTR1")));
    EXPECT_EQ(readSaved("CTR1")->supplementedResource()->fingerprint()->utf8(), "fp-5");
    EXPECT_EQ(readSaved("CTR1")->supplementedResource()->resource()->version()->utf8(), "5");

    // Nothing changed: an answer without resource keeps the rules.
    server.route("GET", "/r", Answer{.body = ""});
    clock.clock().advance(60);
    container->refresh();
    ASSERT_TRUE(waitFor("success 1", 2));
    EXPECT_EQ(queries("/r").back(), "id=CTR1" + kVersionQuery + "&pv=fp-5");
    EXPECT_EQ(container->stringForKey("greeting"), "net");

    // Gone from the server: a server error, the rules stay, and the next try comes an hour later.
    server.route("GET", "/r", Answer{.status = 404});
    clock.clock().advance(5);
    container->refresh();
    ASSERT_TRUE(waitFor("failure 4 1"));
    EXPECT_EQ(callback->events().back(), "failure 4 1");
    EXPECT_EQ(container->stringForKey("greeting"), "net");
    EXPECT_EQ(server.requestsTo("/r").size(), 3u);
    clock.clock().advance(3599);
    pump();
    EXPECT_EQ(server.requestsTo("/r").size(), 3u);
    clock.clock().advance(1);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return server.requestsTo("/r").size() == 4; }));
    EXPECT_TRUE(waitFor("failure 4 1", 2));
}

TEST_F(EndToEndTest, JsonAndPropertyListDefaultsAnswerTheirThreeConstants) {
    testsupport::writeFile(bundle.path() / "CTR-JSON.json", R"({"greeting": "hi", "flag": true, "n": 3})");
    plat::Value::Dictionary dict;
    dict.set("greeting", "hi");
    dict.set("flag", true);
    dict.set("n", 3);
    ASSERT_TRUE(plat::PropertyList::writeFile(bundle.path() / "CTR-PLIST.plist", plat::Value(dict)));
    // Default-container mode: the bundle's copy is all there is, nothing is read, fetched or reported.
    ZODAruzivu::instance()->setRefreshMode(ZAVContainerOwner::kRefreshModeDefaultContainer);
    for (const char* id : {"CTR-JSON", "CTR-PLIST"}) {
        SCOPED_TRACE(id);
        auto container = open(id);
        ASSERT_TRUE(container);
        EXPECT_EQ(container->stringForKey("greeting"), "hi");
        EXPECT_TRUE(container->booleanForKey("flag"));
        EXPECT_EQ(container->int64ForKey("n"), 3);
        EXPECT_EQ(container->doubleForKey("n"), 3.0);
        EXPECT_EQ(container->stringForKey("missing"), "");
    }
    ZAVAsyncUtil::waitUntilIdle();
    pump();
    EXPECT_TRUE(callback->events().empty());
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(EndToEndTest, ALifetimePushOutlivesTheFacadeForItsLifetimeOnly) {
    push(M({{T("vuz"), M({{T("lifetime"), T("1h")}})}, {T("user"), M({{T("id"), T("u1")}})}}));
    push(M({{T("session"), T("s1")}}));  // no lifetime: this launch only
    // A new launch: a new facade with a new data layer on the same Library folder. The old data layer's
    // store finishes its writes when it goes.
    ZODAruzivu::resetInstance();
    auto user = [this] {
        push(M({{T("launch"), T("next")}}));  // waits for the saved entries
        auto id = layerValue("user.id");
        std::string text = id ? id->textValue() : "(none)";
        ZODAruzivu::resetInstance();
        return text;
    };
    EXPECT_EQ(user(), "u1");
    push(M({{T("launch"), T("again")}}));
    EXPECT_FALSE(layerValue("session"));
    ZODAruzivu::resetInstance();
    clock.clock().advanceMicros(3600LL * 1000 * 1000 - 1000);
    EXPECT_EQ(user(), "u1");
    clock.clock().advanceMicros(2000);  // 1 h + 1 ms after the push
    EXPECT_EQ(user(), "(none)");
}

TEST_F(EndToEndTest, APreviewDownloadsThePreviewVersionSavesNothingAndTheLeaveLinkGoesBack) {
    server.route("GET", "/r", [](const RecordedRequest& r) {
        const bool preview = r.query.find("vuz_preview=1") != std::string::npos;
        return Answer{.body = tmtest::bytesOf(*tmtest::supplemented(
                          tmtest::greetingResource(preview ? "preview" : "live", preview ? "p1" : "l1"),
                          preview ? "fp-p1" : "fp-l1"))};
    });
    auto zod = ZODAruzivu::instance();
    ASSERT_TRUE(
        zod->previewWithUrl(std::string("zodaruzivu.c.app://preview/p?id=CTR1&vuz_auth=x&vuz_preview=1")));
    auto container = open("CTR1");
    ASSERT_TRUE(container);
    // The saved copy is not read while previewing.
    ASSERT_TRUE(waitFor("success 1"));
    EXPECT_EQ(callback->events(), (Events{"begin 0", "failure 0 0", "begin 1", "success 1"}));
    EXPECT_EQ(queries("/r"), std::vector<std::string>{"id=CTR1&vuz_auth=x&vuz_preview=1" + kVersionQuery});
    EXPECT_EQ(container->stringForKey("greeting"), "preview");
    container->refresh();
    ASSERT_TRUE(waitFor("success 1", 2));
    EXPECT_EQ(queries("/r").back(), "id=CTR1&vuz_auth=x&vuz_preview=1" + kVersionQuery + "&pv=fp-p1");
    ZAVAsyncUtil::waitUntilIdle();
    EXPECT_FALSE(fs::exists(savedFile("CTR1")));

    // The leave link: downloads take the default path again, and are saved again.
    clock.clock().advance(5);
    ASSERT_TRUE(zod->previewWithUrl(std::string("zodaruzivu.c.app://preview/p?id=CTR1&vuz_preview=")));
    ASSERT_TRUE(waitFor("success 1", 3));
    EXPECT_EQ(queries("/r").back(), "id=CTR1" + kVersionQuery + "&pv=fp-p1");
    EXPECT_EQ(container->ctfeUrlPathAndQuery(), std::nullopt);
    EXPECT_EQ(container->stringForKey("greeting"), "live");
    ZAVAsyncUtil::waitUntilIdle();
    ASSERT_TRUE(fs::is_regular_file(savedFile("CTR1")));
    EXPECT_EQ(readSaved("CTR1")->supplementedResource()->fingerprint()->utf8(), "fp-l1");
}

// What the collection server got, one hit per line of a batch.
std::vector<std::string> collectedHits(const LoopbackServer& server) {
    std::vector<std::string> hits;
    for (const auto& r : server.requests()) {
        if (r.path != "/collect" && r.path != "/batch") continue;
        const std::string text = r.method == "GET" ? r.query : r.body;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            if (end > start) hits.push_back(text.substr(start, end - start));
            start = end + 1;
        }
    }
    return hits;
}

size_t countContaining(const std::vector<std::string>& hits, const std::vector<std::string>& parts) {
    size_t n = 0;
    for (const auto& hit : hits) {
        bool all = true;
        for (const auto& part : parts) all = all && hit.find(part) != std::string::npos;
        if (all) ++n;
    }
    return n;
}

TEST_F(EndToEndTest, AnalyticsTagHitsReachTheCollectionServerAtDispatch) {
    testsupport::ForcedReachability reachable{plat::ReachabilityFlag::kReachable};
    for (const char* method : {"GET", "POST"})
        for (const char* path : {"/collect", "/batch"}) server.route(method, path, Answer{.status = 200});
    tmtest::ResourceBuilder b;
    b.macro("evt", "_e");
    int32_t isBuy = b.predicate("_eq", {{"arg0", b.macroReference("evt")}, {"arg1", b.string("buy")}});
    int32_t screen = b.tag(
        "_ua", {{"analytics_pass_through", b.boolean(true)},
                {"analytics_fields", b.map({b.string("&t"), b.string("&cd"), b.string("&tid")},
                                           {b.string("screenview"), b.string("Shop"), b.string("UA-1")})}});
    int32_t transaction =
        b.tag("_ua", {{"track_transaction", b.boolean(true)}, {"account", b.string("UA-1")}});
    b.rule({{isBuy}, {}, {screen, transaction}, {}, {}, {}});
    shipBinaryDefault("CTR1", b);
    ZODAruzivu::instance()->setRefreshMode(ZAVContainerOwner::kRefreshModeDefaultContainer);
    ASSERT_TRUE(open("CTR1"));

    push(M(
        {{T("event"), T("buy")},
         {T("transactionId"), T("T-1")},
         {T("transactionTotal"), ZAVObject::floating(30.5)},
         {T("transactionProducts"), tmtest::L({M({{T("name"), T("cup")}, {T("price"), tmtest::I(10)}})})}}));

    // The analytics SDK sends first; a dispatch that sent something reports 1 and leaves the pixel
    // sender alone.
    int sent = 0;
    for (int i = 0; i < 10; ++i) {
        auto outcome = std::make_shared<std::atomic<int>>(-1);
        ZODAruzivu::instance()->dispatchWithCompletionHandler([outcome](int result) { *outcome = result; });
        ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return *outcome >= 0; }));
        if (*outcome != 1) {
            EXPECT_EQ(*outcome, 0);
            break;
        }
        ++sent;
    }
    EXPECT_GE(sent, 1);
    auto hits = collectedHits(server);
    ASSERT_EQ(hits.size(), 3u) << ::testing::PrintToString(hits);
    EXPECT_EQ(countContaining(hits, {"t=screenview", "cd=Shop", "tid=UA-1"}), 1u);
    EXPECT_EQ(countContaining(hits, {"t=transaction", "ti=T-1", "tr=30.5", "tid=UA-1"}), 1u);
    EXPECT_EQ(countContaining(hits, {"t=item", "ti=T-1", "in=cup", "ip=10"}), 1u);
}

// The blocking open on the real clock: get() turns the main run loop until the opener hands over.
class EndToEndRealClockTest : public EndToEndTest {
  protected:
    void SetUp() override {
        EndToEndTest::SetUp();
        virtualClock_ = plat::Clock::setShared(std::make_shared<plat::RealClock>());
    }
    void TearDown() override {
        EndToEndTest::TearDown();
        plat::Clock::setShared(virtualClock_);
    }
    void shipGreeting(const std::string& id, const std::string& greeting) {
        testsupport::writeFile(bundle.path() / id, tmtest::bytesOf(*tmtest::greetingResource(greeting)));
    }

  private:
    std::shared_ptr<plat::Clock> virtualClock_;
};

TEST_F(EndToEndRealClockTest, AFutureReturnsOnceTheDownloadLands) {
    server.route(
        "GET", "/r",
        Answer{.body = tmtest::bytesOf(*tmtest::supplemented(tmtest::greetingResource("net", "7"), "fp-7"))});
    for (uint32_t openType :
         {ZAVContainerOpener::kOpenTypePreferNonDefault, ZAVContainerOpener::kOpenTypePreferFresh}) {
        const std::string id = "CTR-TYPE" + std::to_string(openType);
        SCOPED_TRACE(id);
        shipGreeting(id, "bundle");
        auto future =
            ZAVContainerOpener::openContainerWithId(id, ZODAruzivu::instance(), openType, std::nullopt);
        ASSERT_TRUE(future);
        EXPECT_FALSE(future->isDone());
        auto container = future->get();
        ASSERT_TRUE(container);
        EXPECT_TRUE(future->isDone());
        EXPECT_FALSE(container->isDefault());
        EXPECT_EQ(container->stringForKey("greeting"), "net");
        EXPECT_EQ(container, ZODAruzivu::instance()->getContainerById(id));
    }
    EXPECT_EQ(queries("/r"),
              (std::vector<std::string>{"id=CTR-TYPE0" + kVersionQuery, "id=CTR-TYPE1" + kVersionQuery}));
}

// On the virtual clock: once the download is under way, time moves past the opener's time-out.
TEST_F(EndToEndTest, WithTheServerStalledTheTimeOutHandsOverTheBundledDefault) {
    server.route("GET", "/r", Answer{.fault = testsupport::Fault::Stall});
    testsupport::writeFile(bundle.path() / "CTR1", tmtest::bytesOf(*tmtest::greetingResource("bundle")));
    // A load an earlier test left running on this thread is not this test's to wait for.
    const size_t loadsBefore = plat::URLConnection::activeCount();
    auto future = ZAVContainerOpener::openContainerWithId(
        "CTR1", ZODAruzivu::instance(), ZAVContainerOpener::kOpenTypePreferFresh, std::nullopt);
    ASSERT_TRUE(future);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return server.requestsTo("/r").size() == 1; }));
    EXPECT_FALSE(future->isDone());
    clock.clock().advance(ZAVContainerOpener::defaultTimeout());
    auto container = future->get();
    ASSERT_TRUE(container);
    EXPECT_TRUE(future->isDone());
    // The download is still waiting for its answer: only the time-out can have handed the container over.
    EXPECT_EQ(server.requestsTo("/r").size(), 1u);
    EXPECT_GE(plat::URLConnection::activeCount(), 1u);
    EXPECT_TRUE(container->isDefault());
    EXPECT_EQ(container->stringForKey("greeting"), "bundle");

    // The stalled connection ends before the test does. Released again on every turn: the server's
    // stall may only begin after the first release.
    EXPECT_TRUE(testsupport::runMainLoopUntil([&] {
        server.releaseWaits();
        return plat::URLConnection::activeCount() <= loadsBefore;
    }));
}

}  // namespace
