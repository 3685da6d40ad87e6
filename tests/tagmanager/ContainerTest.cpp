// The container itself, without loading: its default from the bundle, the typed queries, the app's
// handlers through the runtime's adapters, the refresh token bucket on the virtual clock, and close.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Error.h"
#include "platform/storage/Bundle.h"
#include "tagmanager/container/ZAVContainer.h"
#include "tagmanager/runtime/ZAVRuntime.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tests/support/TestSupport.h"
#include "tests/tagmanager/ContainerTestSupport.h"
#include "tests/tagmanager/TagManagerTestSupport.h"

namespace {

using tmtest::ResourceBuilder;

class TagHandler : public ZAVFunctionCallTagHandler {
  public:
    explicit TagHandler(std::string name) : name(std::move(name)) {}
    void execute(const std::string& tagName, const Parameters& parameters) override {
        calls.push_back(name + ":" + tagName);
        if (parameters.count("event")) calls.back() += ":" + parameters.at("event")->description();
    }
    std::string name;
    std::vector<std::string> calls;
};

class MacroHandler : public ZAVFunctionCallMacroHandler {
  public:
    explicit MacroHandler(std::string answer) : answer(std::move(answer)) {}
    ZAVObjectPtr valueForMacro(const std::string& macroName, const Parameters&) override {
        ++calls;
        if (onCall) onCall();
        return ZAVObject::text(answer + ":" + macroName);
    }
    std::string answer;
    int calls = 0;
    std::function<void()> onCall;
};

class ContainerTest : public ::testing::Test {
  protected:
    void SetUp() override { plat::Bundle::setMainResourcePath(bundle.path()); }
    void TearDown() override { plat::Bundle::setMainResourcePath({}); }

    std::shared_ptr<ZAVContainer> make(const std::string& id = "C1") {
        return ZAVContainer::initWithId(id, owner);
    }
    void writeDefault(const std::string& name, const std::string& bytes) {
        testsupport::writeFile(bundle.path() / name, bytes);
    }

    testsupport::TempHome home;
    testsupport::TempDir bundle;
    testsupport::VirtualClockScope clock;
    tmtest::CapturedLog log;
    std::shared_ptr<tmtest::TestOwner> owner = std::make_shared<tmtest::TestOwner>();
};

TEST_F(ContainerTest, NoDefaultGivesAnEmptyRuleSetThatAnswersDefaults) {
    auto container = make();
    EXPECT_EQ(log->count("error", "No default container found; creating an empty container."), 1u);
    EXPECT_FALSE(container->isClosed());
    EXPECT_TRUE(container->isDefault());
    EXPECT_EQ(container->numTokens(), 30u);
    EXPECT_FALSE(container->booleanForKey("greeting"));
    EXPECT_EQ(container->doubleForKey("greeting"), 0.0);
    EXPECT_EQ(container->int64ForKey("greeting"), 0);
    EXPECT_EQ(container->stringForKey("greeting"), "");
    EXPECT_FALSE(container->lastLoadedSupplementedResource()->hasResource());
}

TEST_F(ContainerTest, BinaryDefaultComesBeforeThePropertyListAndJson) {
    writeDefault("C1", tmtest::bytesOf(*tmtest::greetingResource("binary", "b7")));
    writeDefault("C1.json", R"({"greeting": "json"})");
    auto container = make();
    EXPECT_EQ(container->stringForKey("greeting"), "binary");
    EXPECT_EQ(container->resourceVersion(), "b7");
    EXPECT_EQ(log->count("warning", "Cannot find"), 0u);
}

TEST_F(ContainerTest, JsonDefaultAnswersEachTypedQuery) {
    writeDefault("C1.json", R"({"greeting": "hi", "flag": true, "n": 3})");
    auto container = make();
    EXPECT_EQ(container->stringForKey("greeting"), "hi");
    EXPECT_TRUE(container->booleanForKey("flag"));
    EXPECT_EQ(container->int64ForKey("n"), 3);
    EXPECT_EQ(container->doubleForKey("n"), 3.0);
    EXPECT_EQ(container->stringForKey("n"), "3");
    // A name that no macro carries answers the default.
    EXPECT_EQ(container->stringForKey("missing"), "");
}

TEST_F(ContainerTest, APropertyListDefaultComesBeforeJson) {
    writeDefault("C1.plist",
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                 "<key>greeting</key><string>plist</string><key>flag</key><true/></dict></plist>\n");
    writeDefault("C1.json", R"({"greeting": "json"})");
    auto container = make();
    EXPECT_EQ(container->stringForKey("greeting"), "plist");
    EXPECT_TRUE(container->booleanForKey("flag"));
}

TEST_F(ContainerTest, ABinaryDefaultTheExpansionRefusesFallsToTheNextForm) {
    writeDefault("C1", tmtest::bytesOf(*tmtest::invalidResource()));
    writeDefault("C1.json", R"({"greeting": "json"})");
    auto container = make();
    EXPECT_EQ(log->count("error", "Not loading resource: "), 1u);
    EXPECT_EQ(container->stringForKey("greeting"), "json");
    // With nothing else the container starts empty, not closed.
    writeDefault("C2", tmtest::bytesOf(*tmtest::invalidResource()));
    auto only = make("C2");
    EXPECT_FALSE(only->isClosed());
    EXPECT_EQ(only->stringForKey("greeting"), "");
}

TEST_F(ContainerTest, ClosedContainerAnswersDefaultsAndRefusesRefresh) {
    writeDefault("C1.json", R"({"greeting": "hi", "flag": true, "n": 3})");
    auto container = make();
    container->close();
    EXPECT_TRUE(container->isClosed());
    EXPECT_EQ(owner->removedIds(), std::vector<std::string>{"C1"});
    EXPECT_FALSE(container->booleanForKey("flag"));
    EXPECT_EQ(log->count("error", "booleanForKey called for closed container"), 1u);
    EXPECT_EQ(container->doubleForKey("n"), 0.0);
    EXPECT_EQ(log->count("error", "doubleForKey called for closed container"), 1u);
    EXPECT_EQ(container->int64ForKey("n"), 0);
    EXPECT_EQ(log->count("error", "int64ForKey called for closed container"), 1u);
    EXPECT_EQ(container->stringForKey("greeting"), "");
    EXPECT_EQ(log->count("error", "stringForKey called for closed container"), 1u);
    container->evaluateTags("go");
    container->refresh();
    EXPECT_EQ(log->count("warning", "refresh called for closed container"), 1u);
    EXPECT_EQ(container->numTokens(), 30u);
    EXPECT_EQ(container->lastRefreshMethodCalledTime(), 0.0);
    // A second close does no harm.
    container->close();
    EXPECT_EQ(log->count("error", "Calling close"), 0u);
}

TEST_F(ContainerTest, AQueryKeepsTheRuntimeItReadsWhileCloseDropsIt) {
    ResourceBuilder b;
    b.macro("m", "_func", {{"function_call_macro_name", b.string("mine")}});
    writeDefault("C1", tmtest::bytesOf(*b.build()));
    auto container = make();
    auto handler = std::make_shared<MacroHandler>("v");
    std::weak_ptr<ZAVRuntime> runtime = container->runtime();
    // The handler closes the container in the middle of the evaluation that called it.
    handler->onCall = [&] { container->close(); };
    container->registerFunctionCallMacroHandler(handler, "mine");
    EXPECT_EQ(container->stringForKey("m"), "v:mine");
    EXPECT_TRUE(container->isClosed());
    // The query's hold was the last one: the runtime is gone now that it returned.
    EXPECT_TRUE(runtime.expired());
}

TEST_F(ContainerTest, QueriesOnAnotherThreadWhileLoadsReplaceTheRuntime) {
    auto container = make();
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::atomic<int> unexpected{0};
    std::thread reader([&] {
        while (!stop.load()) {
            const std::string text = container->stringForKey("greeting");
            if (text != "a" && text != "b" && text != "") ++unexpected;
            ++answered;
        }
    });
    for (int i = 0; i < 200; ++i)
        EXPECT_TRUE(container->setupEvaluatorsWithResource(*tmtest::greetingResource(i % 2 ? "a" : "b")));
    while (answered.load() == 0) std::this_thread::yield();
    stop = true;
    reader.join();
    EXPECT_EQ(unexpected.load(), 0);
    EXPECT_EQ(container->stringForKey("greeting"), "a");
}

TEST_F(ContainerTest, TagHandlersAreLookedUpByNameAtEveryEvaluation) {
    ResourceBuilder b;
    b.macro("evt", "_e");
    int32_t isGo = b.predicate("_eq", {{"arg0", b.macroReference("evt")}, {"arg1", b.string("go")}});
    int32_t tag =
        b.tag("_func", {{"function_call_macro_name", b.string("app")},
                        {"additional_params", b.map({b.string("event")}, {b.macroReference("evt")})}});
    ResourceBuilder::Rule rule;
    rule.positive = {isGo};
    rule.addTags = {tag};
    b.rule(rule);
    writeDefault("C1", tmtest::bytesOf(*b.build()));
    auto container = make();

    // No handler: the call is skipped.
    container->evaluateTags("go");
    auto first = std::make_shared<TagHandler>("first");
    container->registerFunctionCallTagHandler(first, "app");
    container->evaluateTags("go");
    container->evaluateTags("stop");
    EXPECT_EQ(first->calls, std::vector<std::string>{"first:app:go"});
    auto second = std::make_shared<TagHandler>("second");
    container->registerFunctionCallTagHandler(second, "app");
    EXPECT_EQ(container->functionCallTagHandlerForTag("app"), second);
    container->evaluateTags("go");
    EXPECT_EQ(first->calls.size(), 1u);
    EXPECT_EQ(second->calls, std::vector<std::string>{"second:app:go"});
    EXPECT_EQ(container->functionCallTagHandlerForTag("other"), nullptr);
}

TEST_F(ContainerTest, MacroHandlersRegisteredOrReplacedLaterAreUsed) {
    ResourceBuilder b;
    b.macro("m", "_func", {{"function_call_macro_name", b.string("mine")}});
    writeDefault("C1", tmtest::bytesOf(*b.build()));
    auto container = make();
    EXPECT_EQ(container->stringForKey("m"), "");
    auto first = std::make_shared<MacroHandler>("one");
    container->registerFunctionCallMacroHandler(first, "mine");
    EXPECT_EQ(container->stringForKey("m"), "one:mine");
    auto second = std::make_shared<MacroHandler>("two");
    container->registerFunctionCallMacroHandler(second, "mine");
    EXPECT_EQ(container->stringForKey("m"), "two:mine");
    EXPECT_EQ(first->calls, 1);
    EXPECT_EQ(container->functionCallMacroHandlerForMacro("mine"), second);
}

TEST_F(ContainerTest, AdaptersAnswerTheDefaultStringOrNone) {
    auto container = make();
    ZAVFunctionCallTagHandlerAdapter tagAdapter(container);
    ZAVFunctionCallMacroHandlerAdapter macroAdapter(container);
    EXPECT_EQ(tagAdapter.container(), container);
    // Identity, not content: the default string is the one object.
    EXPECT_EQ(tagAdapter.evaluate("none", {}), ZAVTypes::defaultString());
    EXPECT_EQ(macroAdapter.evaluate("none", {}), nullptr);
    auto tags = std::make_shared<TagHandler>("t");
    container->registerFunctionCallTagHandler(tags, "x");
    const ZAVCustomEvaluator::Parameters parameters{{"event", ZAVObject::text("e")}};
    EXPECT_EQ(tagAdapter.evaluate("x", parameters), ZAVTypes::defaultString());
    EXPECT_EQ(tags->calls, std::vector<std::string>{"t:x:e"});

    // A handler's exception passes through the adapter.
    class Throwing : public ZAVFunctionCallMacroHandler {
        ZAVObjectPtr valueForMacro(const std::string&, const Parameters&) override {
            throw std::runtime_error("handler failed");
        }
    };
    container->registerFunctionCallMacroHandler(std::make_shared<Throwing>(), "boom");
    EXPECT_THROW(macroAdapter.evaluate("boom", {}), std::runtime_error);
}

TEST_F(ContainerTest, FirstRefreshIsAcceptedThenFiveSecondsMustPass) {
    auto container = make();
    container->refresh();
    EXPECT_EQ(container->numTokens(), 29u);
    const double first = container->lastRefreshMethodCalledTime();
    EXPECT_EQ(first, ZAVContainer::currentTimeInMilliseconds());
    EXPECT_EQ(log->count("verbose", "Container refresh requested."), 1u);

    clock.clock().advanceMicros(4999 * 1000);
    container->refresh();
    EXPECT_EQ(container->numTokens(), 29u);
    EXPECT_EQ(container->lastRefreshMethodCalledTime(), first);
    EXPECT_EQ(log->count("verbose", "Container refresh was called too often. Ignored."), 1u);

    clock.clock().advanceMicros(1000);
    container->refresh();
    EXPECT_EQ(container->numTokens(), 28u);
    EXPECT_EQ(container->lastRefreshMethodCalledTime(), first + 5000);
}

TEST_F(ContainerTest, ABurstOfThirtyThenOnePerFifteenMinutes) {
    auto container = make();
    for (int i = 0; i < 30; ++i) {
        container->refresh();
        clock.clock().advance(5);
    }
    EXPECT_EQ(container->numTokens(), 0u);
    EXPECT_EQ(log->count("verbose", "Container refresh requested."), 30u);
    const double last = container->lastRefreshMethodCalledTime();
    container->refresh();
    EXPECT_EQ(log->count("verbose", "Container refresh requested."), 30u);

    // 900,000 ms after the last accepted one, one token has been earned.
    clock.clock().advanceMicros(static_cast<int64_t>((last + 900000 - 1) * 1000) - clock.clock().nowMicros());
    container->refresh();
    EXPECT_EQ(log->count("verbose", "Container refresh requested."), 30u);
    clock.clock().advanceMicros(1000);
    container->refresh();
    EXPECT_EQ(log->count("verbose", "Container refresh requested."), 31u);
    EXPECT_EQ(container->numTokens(), 0u);
    clock.clock().advance(5);
    container->refresh();
    EXPECT_EQ(log->count("verbose", "Container refresh requested."), 31u);
}

TEST_F(ContainerTest, RefillNeverPassesThirty) {
    auto container = make();
    const double t0 = 1e12;
    EXPECT_TRUE(container->useAvailableTokenWithCurrentTime(t0));
    EXPECT_EQ(container->numTokens(), 29u);
    // useAvailableToken alone does not move the time of the last accepted refresh; refresh does.
    container->refresh();
    const double last = container->lastRefreshMethodCalledTime();
    EXPECT_EQ(container->numTokens(), 28u);
    EXPECT_TRUE(container->useAvailableTokenWithCurrentTime(last + 100 * 900000.0));
    EXPECT_EQ(container->numTokens(), 29u);
    // A clock that went back is refused without touching the tokens.
    EXPECT_FALSE(container->useAvailableTokenWithCurrentTime(last - 1));
    EXPECT_EQ(container->numTokens(), 29u);
}

TEST_F(ContainerTest, DefaultContainerModeRefusesRefreshWithoutTouchingTheBucket) {
    owner->mode = ZAVContainerOwner::kRefreshModeDefaultContainer;
    auto container = make();
    EXPECT_TRUE(container->isDefaultContainerRefreshMode());
    container->refresh();
    EXPECT_EQ(log->count("warning", "Container is in DEFAULT_CONTAINER mode. Refresh request is ignored."),
              1u);
    EXPECT_EQ(container->numTokens(), 30u);
    EXPECT_EQ(container->lastRefreshMethodCalledTime(), 0.0);
}

}  // namespace
