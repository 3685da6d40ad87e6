// The tag-manager facade with real containers, data-layer store and bundle defaults in a temporary home,
// downloads from the loopback kit on the virtual clock.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tagmanager/container/ZAVContainer.h"
#include "tagmanager/datalayer/ZAVAutoEventTracking.h"
#include "tests/tagmanager/FacadeTestSupport.h"

namespace {

using testsupport::Answer;
using testsupport::LoopbackServer;

// Writes down the event name of every "_func" tag it runs, and may run an action of the test with it.
class RecordingTagHandler : public ZAVFunctionCallTagHandler {
  public:
    void execute(const std::string&, const Parameters& parameters) override {
        auto event = parameters.find("event");
        events.push_back(event == parameters.end() ? "?" : event->second->textValue());
        if (action) action();
    }
    std::vector<std::string> events;
    std::function<void()> action;
};

// A default whose one rule, {{evt}} equal to `event`, runs the app's handler "h" with the event name.
std::string handlerContainer(const std::string& event) {
    tmtest::ResourceBuilder b;
    b.setVersion("1");
    b.macro("evt", "_e");
    int32_t matches = b.predicate("_eq", {{"arg0", b.macroReference("evt")}, {"arg1", b.string(event)}});
    int32_t call =
        b.tag("_func", {{"function_call_macro_name", b.string("h")},
                        {"additional_params", b.map({b.string("event")}, {b.macroReference("evt")})}});
    b.rule({{matches}, {}, {call}, {}, {}, {}});
    return tmtest::bytesOf(*b.build());
}

class FacadeTest : public tmtest::FacadeFixture {
  protected:
    // Default-container mode: the bundle's default only, nothing read or downloaded.
    std::shared_ptr<ZAVContainer> openDefault(const std::string& id, const std::string& event,
                                              const std::shared_ptr<ZAVFunctionCallTagHandler>& handler) {
        testsupport::writeFile(bundle.path() / id, handlerContainer(event));
        auto manager = ZODAruzivu::instance();
        manager->setRefreshMode(ZAVContainerOwner::kRefreshModeDefaultContainer);
        auto container = manager->openContainerById(id, callback);
        if (container) container->registerFunctionCallTagHandler(handler, "h");
        return container;
    }
};

TEST_F(FacadeTest, InitGivesTheSharedInstanceUnlessAskedForANewOne) {
    auto first = ZODAruzivu::init();
    EXPECT_EQ(ZODAruzivu::init(), first);
    EXPECT_EQ(ZODAruzivu::instance(), first);
    EXPECT_EQ(ZODAruzivu::initWithSameInstance(true), first);
    EXPECT_EQ(first->refreshMode(), ZAVContainerOwner::kRefreshModeStandard);
    ASSERT_TRUE(first->dataLayer());
    EXPECT_EQ(ZAVAutoEventTracking::ZAVdataLayer(), first->dataLayer());

    auto second = ZODAruzivu::initWithSameInstance(false);
    EXPECT_NE(second, first);
    EXPECT_EQ(ZODAruzivu::instance(), second);
    EXPECT_NE(second->dataLayer(), first->dataLayer());
    EXPECT_EQ(ZAVAutoEventTracking::ZAVdataLayer(), second->dataLayer());

    ZODAruzivu::clearManagerInstance();
    auto third = ZODAruzivu::instance();
    EXPECT_NE(third, second);
    EXPECT_EQ(ZODAruzivu::instance(), third);
    // The replaced ones' saved entries are read before this home goes.
    for (const auto& manager : {first, second})
        EXPECT_TRUE(
            testsupport::runMainLoopUntil([&] { return manager->dataLayer()->isPersistentStoreLoaded(); }));
}

TEST_F(FacadeTest, ASecondOpenOfAnOpenIdIsRefusedUntilTheFirstCloses) {
    auto handler = std::make_shared<RecordingTagHandler>();
    auto first = openDefault("CTR-A", "go", handler);
    ASSERT_TRUE(first);
    EXPECT_EQ(ZODAruzivu::instance()->getContainerById("CTR-A"), first);

    auto refused = std::make_shared<tmtest::RecordingContainerCallback>();
    EXPECT_EQ(ZODAruzivu::instance()->openContainerById("CTR-A", refused), nullptr);
    EXPECT_EQ(log->count("error", "Container id: CTR-A has already been opened"), 1u);
    pump();
    EXPECT_TRUE(refused->events().empty());
    EXPECT_EQ(ZODAruzivu::instance()->getContainerById("CTR-A"), first);

    first->close();
    EXPECT_EQ(ZODAruzivu::instance()->getContainerById("CTR-A"), nullptr);
    auto again = ZODAruzivu::instance()->openContainerById("CTR-A", refused);
    ASSERT_TRUE(again);
    EXPECT_NE(again, first);
    EXPECT_EQ(ZODAruzivu::instance()->getContainerById("CTR-A"), again);
    // Made but not kept.
    auto loose = ZODAruzivu::instance()->containerById("CTR-B");
    ASSERT_TRUE(loose);
    EXPECT_EQ(ZODAruzivu::instance()->getContainerById("CTR-B"), nullptr);
    EXPECT_EQ(ZODAruzivu::instance()->containers().size(), 1u);
}

TEST_F(FacadeTest, TheServerAddressReachesOnlyContainersOpenedAfterwards) {
    LoopbackServer early, late;
    for (auto* s : {&early, &late}) s->route("GET", "/r", Answer{.status = 404});
    auto manager = ZODAruzivu::instance();
    manager->setCtfeServerAddress(address(early));
    auto a = manager->openContainerById("CTR-A", callback);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return callback->count("failure 4 1") >= 1; }));

    manager->setCtfeServerAddress(address(late));
    EXPECT_EQ(manager->ctfeServerAddress(), address(late));
    EXPECT_EQ(a->ctfeServerAddress(), address(early));
    auto b = manager->openContainerById("CTR-B", callback);
    EXPECT_EQ(b->ctfeServerAddress(), address(late));
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return callback->count("failure 4 1") >= 2; }));

    ASSERT_EQ(early.requestCount(), 1u);
    EXPECT_EQ(early.requests()[0].query.rfind("id=CTR-A&", 0), 0u);
    ASSERT_EQ(late.requestCount(), 1u);
    EXPECT_EQ(late.requests()[0].query.rfind("id=CTR-B&", 0), 0u);
}

TEST_F(FacadeTest, APushedEventEvaluatesEveryOpenContainerAndANumberCountsByItsText) {
    auto one = std::make_shared<RecordingTagHandler>();
    auto two = std::make_shared<RecordingTagHandler>();
    ASSERT_TRUE(openDefault("CTR-ONE", "7", one));
    ASSERT_TRUE(openDefault("CTR-TWO", "go", two));
    auto layer = ZODAruzivu::instance()->dataLayer();

    layer->push(tmtest::M({{tmtest::T("event"), tmtest::I(7)}}));
    EXPECT_EQ(one->events, std::vector<std::string>{"7"});
    EXPECT_TRUE(two->events.empty());
    layer->push(tmtest::M({{tmtest::T("event"), tmtest::T("go")}}));
    EXPECT_EQ(two->events, std::vector<std::string>{"go"});
    // No "event": nothing is evaluated.
    layer->push(tmtest::M({{tmtest::T("other"), tmtest::T("7")}}));
    EXPECT_EQ(one->events.size(), 1u);
    EXPECT_EQ(two->events.size(), 1u);
}

// Tags run outside the manager's lock, on a copy of the map: a handler may close containers (its own
// and the next one) or open another while the event is being evaluated.
TEST_F(FacadeTest, AHandlerMayCloseAndOpenContainersDuringAnEvent) {
    auto one = std::make_shared<RecordingTagHandler>();
    auto two = std::make_shared<RecordingTagHandler>();
    auto a = openDefault("CTR-ONE", "go", one);
    auto b = openDefault("CTR-TWO", "go", two);
    std::shared_ptr<ZAVContainer> opened;
    auto closeBoth = [&] {
        a->close();
        b->close();
        testsupport::writeFile(bundle.path() / "CTR-THREE", handlerContainer("go"));
        opened = ZODAruzivu::instance()->openContainerById("CTR-THREE", callback);
    };
    one->action = closeBoth;
    two->action = closeBoth;
    ZODAruzivu::instance()->dataLayer()->push(tmtest::M({{tmtest::T("event"), tmtest::T("go")}}));
    // Whichever ran first closed the other before its turn.
    EXPECT_EQ(one->events.size() + two->events.size(), 1u);
    ASSERT_TRUE(opened);
    auto left = ZODAruzivu::instance()->containers();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left.begin()->first, "CTR-THREE");
}

class CountingTagHandler : public ZAVFunctionCallTagHandler {
  public:
    void execute(const std::string&, const Parameters&) override { ++count; }
    std::atomic<int> count{0};
};

// Events pushed on another thread reach every container that stays open while the main thread keeps
// opening and closing another.
TEST_F(FacadeTest, EventsOnAnotherThreadWhileContainersOpenAndClose) {
    auto steady = std::make_shared<CountingTagHandler>();
    ASSERT_TRUE(openDefault("CTR-STAY", "go", steady));
    testsupport::writeFile(bundle.path() / "CTR-CHURN", handlerContainer("go"));
    auto manager = ZODAruzivu::instance();
    auto layer = manager->dataLayer();
    constexpr int kPushes = 300;
    std::atomic<bool> pushed{false};
    std::thread pusher([&] {
        for (int i = 0; i < kPushes; ++i) layer->push(tmtest::M({{tmtest::T("event"), tmtest::T("go")}}));
        pushed = true;
    });
    int rounds = 0;
    while (!pushed && rounds < 100000) {
        if (auto churn = manager->openContainerById("CTR-CHURN", callback)) {
            churn->registerFunctionCallTagHandler(std::make_shared<CountingTagHandler>(), "h");
            churn->close();
        }
        ++rounds;
    }
    pusher.join();
    EXPECT_EQ(steady->count, kPushes);
    ASSERT_EQ(manager->containers().size(), 1u);
    EXPECT_EQ(manager->containers().begin()->first, "CTR-STAY");
}

TEST_F(FacadeTest, DefaultContainerModeReadsNothingAndRefusesRefresh) {
    auto handler = std::make_shared<RecordingTagHandler>();
    auto container = openDefault("CTR-A", "go", handler);
    ASSERT_TRUE(container);
    pump();
    EXPECT_TRUE(callback->events().empty());
    EXPECT_TRUE(container->isDefault());
    container->refresh();
    EXPECT_EQ(log->count("warning", "Container is in DEFAULT_CONTAINER mode. Refresh request is ignored."),
              1u);
}

TEST_F(FacadeTest, APreviewUrlPointsThePreviewedContainerAtThePreviewAndTheLeaveUrlBack) {
    server.route("GET", "/r", Answer{.status = 404});
    auto manager = ZODAruzivu::instance();
    manager->setCtfeServerAddress(address(server));
    auto a = manager->openContainerById("CTR-A", callback);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return callback->count("failure 4 1") >= 1; }));

    EXPECT_FALSE(manager->previewWithUrl(std::nullopt));
    EXPECT_FALSE(manager->previewWithUrl("zodaruzivu.c.app.example://preview/p?id=CTR-A&vuz_preview=x"));
    clock.clock().advance(10);
    ASSERT_TRUE(
        manager->previewWithUrl("zodaruzivu.c.app.example://preview/p?id=CTR-A&vuz_auth=x&vuz_preview=1"));
    EXPECT_EQ(a->ctfeUrlPathAndQuery(), "/r?id=CTR-A&vuz_auth=x&vuz_preview=1");
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return callback->count("failure 4 1") >= 2; }));
    ASSERT_EQ(server.requestCount(), 2u);
    EXPECT_EQ(server.requests()[1].query.rfind("id=CTR-A&vuz_auth=x&vuz_preview=1", 0), 0u);

    clock.clock().advance(10);
    ASSERT_TRUE(manager->previewWithUrl("zodaruzivu.c.app.example://preview/p?id=CTR-A&vuz_preview="));
    EXPECT_EQ(a->ctfeUrlPathAndQuery(), std::nullopt);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return server.requestCount() >= 3; }));
    EXPECT_EQ(server.requests()[2].query.rfind("id=CTR-A&v=", 0), 0u);
}

TEST_F(FacadeTest, TheLoggerIsTheTagManagersLogger) {
    auto manager = ZODAruzivu::instance();
    auto replacement = std::make_shared<tmtest::CapturingLogger>();
    manager->setLogger(replacement);
    EXPECT_EQ(manager->logger(), replacement);
    EXPECT_EQ(ZAVLog::logger(), replacement);
}

}  // namespace
