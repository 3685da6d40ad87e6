// Three threads over one runtime and its data layer: events whose listener evaluates the tags, macro
// evaluations (static, data-layer and push-after-evaluate) and plain pushes. Run under the thread
// sanitizer by scripts/test --thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/runtime/ZAVResourceUtil.h"
#include "tagmanager/runtime/ZAVRuntime.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tests/tagmanager/support/ResourceBuilder.h"

namespace {

using tmtest::ResourceBuilder;

constexpr int kRounds = 2000;

class CountingTag : public ZAVFunctionCallImplementation {
  public:
    CountingTag() : ZAVFunctionCallImplementation("_count", {"name"}) {}
    bool isCacheable() const override { return false; }
    ZAVPValuePtr evaluate(const Properties&) override {
        ++fired;
        return ZAVTypes::defaultValue();
    }
    std::atomic<int> fired{0};
};

// Evaluates the tags for each event, and counts every update by its kind.
class Listener : public ZAVDataLayerListener {
  public:
    void changed(const ZAVObjectPtr& update) override {
        if (auto event = update->objectForKey("event")) {
            ++events;
            if (auto runtime = runtime_.lock()) runtime->evaluateTags(event->textValue());
        } else if (update->objectForKey("pae")) {
            ++pushedAfterEvaluate;
        } else if (update->objectForKey("plain")) {
            ++plain;
        }
    }
    std::weak_ptr<ZAVRuntime> runtime_;
    std::atomic<int> events{0}, pushedAfterEvaluate{0}, plain{0};
};

void waitOrAbort(std::future<void>& f, const char* what) {
    // Generous: a deadlock never finishes, and the process cannot be cleaned up after one.
    if (f.wait_for(std::chrono::minutes(5)) != std::future_status::ready) {
        std::fprintf(stderr, "deadlock: %s did not finish\n", what);
        std::abort();
    }
    f.get();
}

TEST(RuntimeConcurrencyTest, EventsMacrosAndPushesFromThreeThreads) {
    ResourceBuilder b;
    b.macro("stat", "_c", {{"value", b.string("fixed")}});
    b.macro("dl", "_v", {{"name", b.string("plain")}, {"default_value", b.string("none")}});
    b.macro("pae", "_c",
            {{"value", b.string("p")}, {"push_after_evaluate", b.map({b.string("pae")}, {b.integer(1)})}});
    auto tag = b.tag("_count", {{"name", b.macroReference("dl")}});
    ResourceBuilder::Rule rule;
    rule.addTags = {tag};
    b.rule(rule);
    auto layer = ZAVDataLayer::create();
    auto runtime =
        ZAVRuntime::runtimeWithResource(ZAVResourceUtil::expandResource(*b.build()), layer, nullptr, nullptr);
    auto counter = std::make_shared<CountingTag>();
    runtime->addTrackingTag(counter);
    auto listener = std::make_shared<Listener>();
    listener->runtime_ = runtime;
    layer->registerListener(listener);

    auto events = std::async(std::launch::async, [&] {
        for (int i = 0; i < kRounds; ++i)
            layer->push(
                ZAVObject::map({{ZAVObject::text("event"), ZAVObject::text("e" + std::to_string(i))}}));
    });
    std::atomic<int> wrong{0};
    auto macros = std::async(std::launch::async, [&] {
        for (int i = 0; i < kRounds; ++i) {
            auto stat = runtime->evaluateMacroReference("stat");
            if (ZAVTypes::valueToString(stat->value())->textValue() != "fixed") ++wrong;
            runtime->evaluateMacroReference("dl");
            runtime->evaluateMacroReference("pae");
        }
    });
    auto plain = std::async(std::launch::async, [&] {
        for (int i = 0; i < kRounds; ++i) layer->pushValue(ZAVObject::integer(i), "plain");
    });
    waitOrAbort(events, "the event pushes");
    waitOrAbort(macros, "the macro evaluations");
    waitOrAbort(plain, "the plain pushes");

    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(listener->events, kRounds);
    EXPECT_EQ(listener->pushedAfterEvaluate, kRounds);
    EXPECT_EQ(listener->plain, kRounds);
    EXPECT_EQ(counter->fired, kRounds);
    layer->unregisterListener(listener);
}

}  // namespace
