#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>

#include "platform/base/Error.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/runtime/ZAVResourceUtil.h"
#include "tagmanager/runtime/ZAVRuntime.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tests/tagmanager/TagManagerTestSupport.h"
#include "tests/tagmanager/support/ResourceBuilder.h"
#include "wire/ZAVWireString.h"

namespace {

using tmtest::CapturedLog;
using tmtest::ResourceBuilder;

// "_rec": records its "name" property; "_boom": throws.
class RecordingTag : public ZAVFunctionCallImplementation {
  public:
    explicit RecordingTag(std::string id = "_rec") : ZAVFunctionCallImplementation(std::move(id), {"name"}) {}
    bool isCacheable() const override { return false; }
    ZAVPValuePtr evaluate(const Properties& properties) override {
        std::lock_guard<std::mutex> lock(mutex);
        fired.push_back(ZAVTypes::valueToString(properties.at("name"))->textValue());
        if (instanceFunctionId() == "_boom") throw std::runtime_error("tag failed");
        return ZAVTypes::defaultValue();
    }
    std::vector<std::string> seen() {
        std::lock_guard<std::mutex> lock(mutex);
        return fired;
    }
    std::mutex mutex;
    std::vector<std::string> fired;
};

// Counts its evaluations; a cacheable macro answering "counted".
class CountingMacro : public ZAVFunctionCallImplementation {
  public:
    CountingMacro() : ZAVFunctionCallImplementation("_count", {}) {}
    bool isCacheable() const override { return true; }
    ZAVPValuePtr evaluate(const Properties&) override {
        ++calls;
        return ZAVTypes::objectToValue(ZAVObject::text("counted"));
    }
    std::atomic<int> calls{0};
};

struct Listener : ZAVDataLayerListener {
    void changed(const ZAVObjectPtr& update) override {
        std::lock_guard<std::mutex> lock(mutex);
        updates.push_back(update);
    }
    size_t count() {
        std::lock_guard<std::mutex> lock(mutex);
        return updates.size();
    }
    std::mutex mutex;
    std::vector<ZAVObjectPtr> updates;
};

struct Fixture {
    explicit Fixture(ResourceBuilder& b) : resource(ZAVResourceUtil::expandResource(*b.build())) {
        runtime = ZAVRuntime::runtimeWithResource(resource, layer, nullptr, nullptr);
        runtime->addTrackingTag(tags);
        runtime->addTrackingTag(boom);
        runtime->addMacro(counter);
        layer->registerListener(listener);
    }
    std::string text(const std::string& macro) {
        auto r = runtime->evaluateMacroReference(macro);
        if (r == ZAVRuntime::defaultResult() || r->value() == ZAVTypes::defaultValue()) return "<default>";
        return ZAVTypes::valueToString(r->value())->textValue();
    }
    std::shared_ptr<const ZAVExpandedResource> resource;
    std::shared_ptr<ZAVDataLayer> layer = ZAVDataLayer::create();
    std::shared_ptr<ZAVRuntime> runtime;
    std::shared_ptr<RecordingTag> tags = std::make_shared<RecordingTag>();
    std::shared_ptr<RecordingTag> boom = std::make_shared<RecordingTag>("_boom");
    std::shared_ptr<CountingMacro> counter = std::make_shared<CountingMacro>();
    std::shared_ptr<Listener> listener = std::make_shared<Listener>();
};

ResourceBuilder::Rule rule(std::vector<int32_t> positive, std::vector<int32_t> addTags,
                           std::vector<int32_t> removeTags = {}, std::vector<int32_t> addMacros = {}) {
    ResourceBuilder::Rule r;
    r.positive = std::move(positive);
    r.addTags = std::move(addTags);
    r.removeTags = std::move(removeTags);
    r.addMacros = std::move(addMacros);
    return r;
}

// "_nc": answers "x", never cached, so each reference evaluates it again.
class UncachedMacro : public ZAVFunctionCallImplementation {
  public:
    UncachedMacro() : ZAVFunctionCallImplementation("_nc", {}) {}
    bool isCacheable() const override { return false; }
    ZAVPValuePtr evaluate(const Properties&) override {
        return ZAVTypes::objectToValue(ZAVObject::text("x"));
    }
};

// Every value is small, but "a" refers 60 times to "b", which refers 2000 times to "c".
TEST(RuntimeTest, AnEvaluationThatWouldBuildTooMuchFailsWithOneLine) {
    CapturedLog log;
    ResourceBuilder b;
    b.macro("c", "_nc");
    b.macro("b", "_c", {{"value", b.list(std::vector<int32_t>(2000, b.macroReference("c")))}});
    auto toB = b.macroReference("b");
    b.macro("a", "_c", {{"value", b.list(std::vector<int32_t>(60, toB))}});
    b.macro("few", "_c", {{"value", b.list(std::vector<int32_t>(3, toB))}});
    Fixture f(b);
    f.runtime->addMacro(std::make_shared<UncachedMacro>());
    EXPECT_EQ(f.text("a"), "<default>");
    EXPECT_EQ(log->count("error",
                         "Evaluation too large: more than 100000 parts of values built; the "
                         "evaluation fails"),
              1u);
    EXPECT_NE(f.text("few"), "<default>");
}

// Tells the runtime of each update that carries an event, as the facade's listener tells its containers.
struct EventTeller : ZAVDataLayerListener {
    void changed(const ZAVObjectPtr& update) override {
        auto event = update->objectForKey("event");
        if (!event) return;
        ++told;
        ZAVRuntime::UpdateScope scope(update);
        runtime->evaluateTags(event->textValue());
    }
    ZAVRuntime* runtime = nullptr;
    int told = 0;
};

// Each event fires a "_dlw" tag that pushes the event again with 30 000 parts built: the app's one push
// and the pushes it causes share 100 000 parts, so the fourth evaluation fails and the push ends there.
TEST(RuntimeTest, APushWhoseTagsPushAgainBuildsWithinOneBudget) {
    CapturedLog log;
    ResourceBuilder b;
    b.macro("c", "_nc");
    b.macro("parts", "_c", {{"value", b.list(std::vector<int32_t>(30000, b.macroReference("c")))}});
    auto again = b.map({b.string("event"), b.string("parts")}, {b.string("go"), b.macroReference("parts")});
    b.rule(rule({}, {b.tag("_dlw", {{"value", b.list({again})}})}));
    Fixture f(b);
    f.runtime->addMacro(std::make_shared<UncachedMacro>());
    auto teller = std::make_shared<EventTeller>();
    teller->runtime = f.runtime.get();
    f.layer->registerListener(teller);
    EXPECT_NO_THROW(f.layer->push(tmtest::M({{tmtest::T("event"), tmtest::T("go")}})));
    EXPECT_EQ(teller->told, 4);
    EXPECT_EQ(log->count("error", "Evaluation too large"), 1u);
}

TEST(RuntimeTest, RegistrationAndConstruction) {
    CapturedLog log;
    EXPECT_FALSE(ZAVRuntime::runtimeWithResource(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(log->count("error", "resource cannot be nil"), 1u);
    ResourceBuilder b;
    Fixture f(b);
    EXPECT_EQ(f.runtime->macroMap().size(), 28u);  // 27 built in and the test's own
    EXPECT_EQ(f.runtime->predicateMap().size(), 9u);
    EXPECT_TRUE(f.runtime->trackingTagMap().count("_func"));
    try {
        f.runtime->addTrackingTag(std::make_shared<RecordingTag>());
        ADD_FAILURE();
    } catch (const plat::Exception& e) {
        EXPECT_EQ(e.name(), "IllegalArgumentException");
        EXPECT_EQ(e.reason(), "Duplicate function type name: _rec");
    }
    try {
        f.runtime->addMacro(std::make_shared<RecordingTag>(""));
        ADD_FAILURE();
    } catch (const plat::Exception& e) {
        EXPECT_EQ(e.reason(), "instanceFunctionId should be set");
    }
}

TEST(RuntimeTest, TagsFireInRuleOrderAndRemovalWins) {
    CapturedLog log;
    ResourceBuilder b;
    auto t1 = b.tag("_rec", {{"name", b.string("first")}});
    auto t2 = b.tag("_boom", {{"name", b.string("second")}});
    auto t3 = b.tag("_rec", {{"name", b.string("third")}});
    auto t4 = b.tag("_rec", {{"name", b.string("removed")}});
    auto t5 = b.tag("_nothing", {{"name", b.string("x")}});
    auto never = b.predicate("_eq", {{"arg0", b.string("a")}, {"arg1", b.string("b")}});
    b.rule(rule({}, {t1, t2, t4}));
    b.rule(rule({never}, {t5}));
    b.rule(rule({}, {t3, t1}, {t4}));
    Fixture f(b);
    f.runtime->evaluateTags("go");
    f.runtime->evaluateTags("again");
    EXPECT_EQ(f.tags->seen(), (std::vector<std::string>{"first", "third", "first", "third"}));
    EXPECT_EQ(f.boom->seen().size(), 2u);  // it threw; the tag after it still fired
    EXPECT_EQ(log->count("error", "tag failed"), 2u);
    EXPECT_FALSE(f.runtime->currentEventName());
}

TEST(RuntimeTest, MacroChoiceDefaultsAndCycles) {
    CapturedLog log;
    ResourceBuilder b;
    auto m1 = b.macro("pick", "_c", {{"value", b.string("one")}});
    auto m2 = b.macro("pick", "_c", {{"value", b.string("two")}});
    auto nd = b.macro("hidden", "_c", {{"value", b.string("h")}, {"not_default_macro", b.boolean(true)}});
    auto nd2 = b.macro("mentioned", "_c", {{"value", b.string("m")}, {"not_default_macro", b.boolean(true)}});
    auto never = b.predicate("_eq", {{"arg0", b.string("a")}, {"arg1", b.string("b")}});
    b.macro("self", "_c", {{"value", b.macroReference("self")}});
    b.macro("bad", "_nothing", {});
    (void)nd;
    ResourceBuilder::Rule r1 = rule({}, {}, {}, {m1});
    ResourceBuilder::Rule r2 = rule({}, {}, {}, {m2});
    b.rule(r1);
    b.rule(r2);
    b.rule(rule({never}, {}, {}, {nd2}));
    Fixture f(b);

    EXPECT_EQ(f.text("pick"), "one");
    EXPECT_EQ(log->count("warning", "Multiple macros active for macroName pick"), 1u);
    EXPECT_EQ(f.text("hidden"), "<default>");
    EXPECT_EQ(log->count("error", "Invalid macro: hidden"), 1u);
    log->clear();
    EXPECT_EQ(f.text("mentioned"), "<default>");
    EXPECT_TRUE(log->lines().empty());
    EXPECT_EQ(f.text("self"), "<default>");
    EXPECT_EQ(
        log->count(
            "error",
            "Macro cycle detected.  Current macro reference: self.  Previous macro reference: {(self)}."),
        1u);
    EXPECT_EQ(f.text("bad"), "<default>");
    EXPECT_EQ(log->count("error", "_nothing has no backing implementation."), 1u);
    // A stored resource cannot hold an uneven map (its expansion refuses one); a value built in memory can.
    auto uneven = ZAVPValue::message();
    uneven->setType(ZAVPValue_Type_Map);
    uneven->setContainsReferences(true);
    for (const char* k : {"k1", "k2", "k3"})
        uneven->mapKeyArray()->addObject(ZAVTypes::objectToValue(ZAVObject::text(k)));
    for (const char* v : {"v1", "v2"})
        uneven->mapValueArray()->addObject(ZAVTypes::objectToValue(ZAVObject::text(v)));
    ZAVRuntime::Pending pending;
    EXPECT_EQ(f.runtime->expandMacrosForValue(uneven, pending), ZAVRuntime::defaultResult());
    EXPECT_EQ(log->count("error", "Invalid serving value"), 1u);
}

TEST(RuntimeTest, PushAfterEvaluateOnEveryEvaluation) {
    CapturedLog log;
    ResourceBuilder b;
    auto first = b.map({b.string("a")}, {b.integer(1)});
    auto second = b.map({b.string("b")}, {b.integer(2)});
    b.macro("pusher", "_c",
            {{"value", b.string("v")}, {"push_after_evaluate", b.list({first, second, b.string("x")})}});
    Fixture f(b);
    EXPECT_EQ(f.text("pusher"), "v");
    EXPECT_EQ(f.text("pusher"), "v");  // a cache hit pushes too
    ASSERT_EQ(f.listener->count(), 4u);
    EXPECT_EQ(f.listener->updates[0]->objectForKey("a")->int64Value(), 1);
    EXPECT_EQ(f.listener->updates[1]->objectForKey("b")->int64Value(), 2);
    EXPECT_EQ(f.listener->updates[2]->objectForKey("a")->int64Value(), 1);
    EXPECT_EQ(log->count("warning", "pushAfterEvaluate: value not a Map or List"), 2u);
}

TEST(RuntimeTest, StaticValuesAreWrittenBackAndRecomputedAfterEviction) {
    ResourceBuilder b;
    b.macro("base", "_count", {});
    b.macro("outer", "_c", {{"value", b.macroReference("base")}});
    Fixture f(b);
    auto outer = f.resource->macrosByName("outer")->at(0);
    EXPECT_TRUE(outer->propertyForKey("value")->containsReferences());
    EXPECT_EQ(f.text("outer"), "counted");
    // The expanded, static value replaced the reference in the call.
    EXPECT_FALSE(outer->propertyForKey("value")->containsReferences());
    EXPECT_EQ(outer->propertyForKey("value")->string()->utf8(), "counted");
    EXPECT_EQ(f.text("base"), "counted");
    EXPECT_EQ(f.counter->calls, 1);  // cached
    f.runtime->macroEvaluationCache().setTotalCostLimit(1);
    f.runtime->functionCallCache().setTotalCostLimit(1);
    EXPECT_EQ(f.text("base"), "counted");
    EXPECT_EQ(f.text("base"), "counted");
    EXPECT_EQ(f.counter->calls, 3);
}

TEST(RuntimeTest, FailedMacroIsNotCachedWhileItsRuleIsFalse) {
    CapturedLog log;
    ResourceBuilder b;
    auto on = b.predicate("_eq", {{"arg0", b.macroReference("flag")}, {"arg1", b.string("on")}});
    auto y = b.macro("y", "_c", {{"value", b.string("Y")}, {"not_default_macro", b.boolean(true)}});
    b.macro("flag", "_v", {{"name", b.string("flag")}});
    b.macro("x", "_c", {{"value", b.macroReference("y")}});
    b.rule(rule({on}, {}, {}, {y}));
    Fixture f(b);
    EXPECT_EQ(f.text("x"), "<default>");
    f.layer->push(ZAVObject::map({{ZAVObject::text("flag"), ZAVObject::text("on")}}));
    EXPECT_EQ(f.text("x"), "Y");
}

TEST(RuntimeTest, SupplementalsAreRouted) {
    ResourceBuilder b;
    Fixture f(b);
    auto make = [](const std::string& name, const std::string& key) {
        auto random = ZAVPRuvExperimentRandom::message();
        random->setKey(ZAVWireString::create(key));
        random->setMinRandom(4);
        random->setMaxRandom(4);
        auto experiment = ZAVPRuvExperimentSupplemental::message();
        experiment->experimentRandomArray()->addObject(random);
        auto s = ZAVPSupplemental::message();
        s->setName(ZAVWireString::create(name));
        s->setExperimentSupplemental(experiment);
        return s;
    };
    f.runtime->setSupplementals({make("ruvExperiment:1", "routed"), make("other", "ignored")});
    EXPECT_EQ(f.layer->get("routed")->int64Value(), 4);
    EXPECT_FALSE(f.layer->get("ignored"));
}

TEST(RuntimeTest, EventMacroAndMissingKeys) {
    CapturedLog log;
    ResourceBuilder b;
    b.macro("event", "_e", {});
    b.macro("nokey", "_c", {});
    auto t = b.tag("_rec", {{"name", b.macroReference("event")}});
    b.rule(rule({}, {t}));
    Fixture f(b);
    f.runtime->evaluateTags("gameStart");
    EXPECT_EQ(f.tags->seen(), std::vector<std::string>{"gameStart"});
    EXPECT_EQ(f.text("event"), "<default>");
    EXPECT_EQ(f.text("nokey"), "<default>");
    EXPECT_EQ(log->count("error",
                         "Incorrect keys for function _c required {(value)} had (function, instance_name)"),
              1u);
}

// Rules that compare the event with a text, as most rules do: as a positive and a negative predicate,
// in the rules that choose a macro's call, and outside an event (no event name: nothing equals it).
TEST(RuntimeTest, EventComparisons) {
    CapturedLog log;
    ResourceBuilder b;
    b.macro("evt", "_e");
    auto isGo = b.predicate("_eq", {{"arg0", b.macroReference("evt")}, {"arg1", b.string("go")}});
    auto isStop = b.predicate("_eq", {{"arg0", b.macroReference("evt")}, {"arg1", b.string("stop")}});
    auto isEmpty = b.predicate("_eq", {{"arg0", b.macroReference("evt")}, {"arg1", b.string("")}});
    auto yes = b.macro("answer", "_c", {{"value", b.string("yes")}});
    b.macro("answer", "_c", {{"value", b.string("no")}});
    ResourceBuilder::Rule negative;
    negative.negative = {isStop};
    negative.addTags = {b.tag("_rec", {{"name", b.string("not stop")}})};
    b.rule(rule({isGo}, {b.tag("_rec", {{"name", b.string("go")}})}));
    b.rule(negative);
    b.rule(rule({isEmpty}, {b.tag("_rec", {{"name", b.string("empty")}})}));
    b.rule(rule({isGo}, {}, {}, {yes}));
    b.rule(rule({}, {b.tag("_rec", {{"name", b.macroReference("answer")}})}));
    Fixture f(b);
    f.runtime->evaluateTags("go");
    EXPECT_EQ(f.tags->seen(), (std::vector<std::string>{"go", "not stop", "yes"}));
    f.tags->fired.clear();
    f.runtime->evaluateTags("stop");
    EXPECT_EQ(f.tags->seen(), std::vector<std::string>{"no"});
    f.tags->fired.clear();
    f.runtime->evaluateTags("");
    EXPECT_EQ(f.tags->seen(), (std::vector<std::string>{"not stop", "empty", "no"}));
    EXPECT_EQ(f.text("answer"), "no");
    EXPECT_EQ(log->count("error"), 0u);
}

// A tag value that refers to the event and to kept constants is built once per event and used again:
// each event still gets its own text, a constant's push-after-evaluate value is pushed at every firing,
// and a value that reads the data layer follows it.
TEST(RuntimeTest, TagValuesFollowTheEventWhenFiredAgain) {
    CapturedLog log;
    ResourceBuilder b;
    b.macro("evt", "_e");
    b.macro("label", "_c", {{"value", b.string("L")}});
    b.macro("pusher", "_c",
            {{"value", b.string("P")}, {"push_after_evaluate", b.map({b.string("pushed")}, {b.integer(1)})}});
    b.macro("level", "_v", {{"name", b.string("level")}});
    auto pure = b.templateOf({b.macroReference("evt"), b.string("/"), b.macroReference("label")});
    auto pushing = b.templateOf({b.macroReference("evt"), b.string("/"), b.macroReference("pusher")});
    auto layered = b.templateOf({b.macroReference("evt"), b.string("/"), b.macroReference("level")});
    b.rule(rule({}, {b.tag("_rec", {{"name", pure}}), b.tag("_rec", {{"name", pushing}}),
                     b.tag("_rec", {{"name", layered}})}));
    Fixture f(b);
    auto push = [&](const std::string& level) {
        f.layer->push(ZAVObject::map({{ZAVObject::text("level"), ZAVObject::text(level)}}));
    };
    push("1");
    const size_t pushesBefore = f.listener->count();
    for (const char* event : {"a", "b", "a", "b"}) f.runtime->evaluateTags(event);
    push("2");
    f.runtime->evaluateTags("a");
    EXPECT_EQ(f.tags->seen(),
              (std::vector<std::string>{"a/L", "a/P", "a/1", "b/L", "b/P", "b/1", "a/L", "a/P", "a/1", "b/L",
                                        "b/P", "b/1", "a/L", "a/P", "a/2"}));
    EXPECT_EQ(f.listener->count() - pushesBefore, 6u);  // five firings and the test's own push
    EXPECT_EQ(log->count("error"), 0u);
}

// A predicate's kept outcome is only a result that was kept: a failing predicate logs at every event.
TEST(RuntimeTest, FailingPredicateIsEvaluatedAtEveryEvent) {
    CapturedLog log;
    ResourceBuilder b;
    auto broken = b.predicate("_eq", {{"arg0", b.string("a")}});
    auto same = b.predicate("_eq", {{"arg0", b.string("a")}, {"arg1", b.string("a")}});
    b.rule(rule({same, broken}, {b.tag("_rec", {{"name", b.string("never")}})}));
    b.rule(rule({same}, {b.tag("_rec", {{"name", b.string("always")}})}));
    Fixture f(b);
    for (int i = 0; i < 3; ++i) f.runtime->evaluateTags("e");
    EXPECT_EQ(f.tags->seen(), (std::vector<std::string>{"always", "always", "always"}));
    EXPECT_EQ(log->count("error", "Incorrect keys for function _eq"), 3u);
}

// A text predicate that only reads data-layer keys keeps its last outcome while the values read are the
// same: it follows every change of those values (to equal texts, other texts, a missing key, the null
// marker, a map) and ignores changes elsewhere in the layer.
TEST(RuntimeTest, DataLayerPredicatesFollowTheLayer) {
    CapturedLog log;
    ResourceBuilder b;
    b.macro("level", "_v", {{"name", b.string("player.level")}, {"default_value", b.string("gold (none)")}});
    b.macro("mood", "_v", {{"name", b.string("mood")}});
    auto gold = b.predicate("_sw", {{"arg0", b.macroReference("level")}, {"arg1", b.string("gold")}});
    auto happy =
        b.predicate("_eq", {{"arg0", b.macroReference("mood")}, {"arg1", b.macroReference("level")}});
    b.rule(rule({gold}, {b.tag("_rec", {{"name", b.string("gold")}})}));
    b.rule(rule({happy}, {b.tag("_rec", {{"name", b.string("same")}})}));
    Fixture f(b);
    auto fired = [&](const ZAVObjectPtr& update) {
        if (update) f.layer->push(update);
        f.tags->fired.clear();
        f.runtime->evaluateTags("e");
        return f.tags->seen();
    };
    auto level = [](const ZAVObjectPtr& value) {
        return ZAVObject::map(
            {{ZAVObject::text("player"), ZAVObject::map({{ZAVObject::text("level"), value}})}});
    };
    auto mood = [](const std::string& text) {
        return ZAVObject::map({{ZAVObject::text("mood"), ZAVObject::text(text)}});
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(fired(nullptr), Names{"gold"});  // the default value
    EXPECT_EQ(fired(level(ZAVObject::text("gold 1"))), Names{"gold"});
    EXPECT_EQ(fired(ZAVObject::map({{ZAVObject::text("other"), ZAVObject::integer(1)}})), Names{"gold"});
    EXPECT_EQ(fired(level(ZAVObject::text("silver"))), Names{});
    EXPECT_EQ(fired(nullptr), Names{});
    EXPECT_EQ(fired(mood("silver")), Names{"same"});
    EXPECT_EQ(fired(level(ZAVObject::text("silver"))), Names{"same"});  // an equal text, a new object
    EXPECT_EQ(fired(level(ZAVObject::nullMarker())), Names{});
    EXPECT_EQ(fired(level(ZAVObject::map({{ZAVObject::text("gold"), ZAVObject::integer(1)}}))), Names{});
    EXPECT_EQ(fired(ZAVObject::map({{ZAVObject::text("player"), ZAVObject::nullMarker()}})), Names{});
    EXPECT_EQ(fired(level(ZAVObject::integer(7))), Names{});
    EXPECT_EQ(fired(mood("7")), Names{"same"});
    EXPECT_EQ(fired(level(ZAVObject::text("gold 2"))), Names{"gold"});
    EXPECT_EQ(log->count("error"), 0u);
}

// The tags that turn their values into objects ("_dlw", "_func") reuse the conversion of a value kept
// for an event: each event still writes and hands over its own values, and a value that cannot be
// converted is logged at every firing.
TEST(RuntimeTest, ConvertedTagValuesFollowTheEventWhenFiredAgain) {
    struct Handler : ZAVCustomEvaluator {
        ZAVObjectPtr evaluate(const std::string& name, const Parameters& parameters) override {
            std::lock_guard<std::mutex> lock(mutex);
            auto found = parameters.find("event");
            seen.push_back(name + ":" + (found == parameters.end() ? "-" : found->second->textValue()));
            return ZAVObject::text("ok");
        }
        std::mutex mutex;
        std::vector<std::string> seen;
    };
    CapturedLog log;
    ResourceBuilder b;
    b.macro("evt", "_e");
    b.macro("label", "_c", {{"value", b.string("L")}});
    auto write = b.tag(
        "_dlw", {{"value", b.list({b.map({b.string("seen")},
                                         {b.map({b.string("event"), b.string("label")},
                                                {b.macroReference("evt"), b.macroReference("label")})})})}});
    auto call =
        b.tag("_func", {{"function_call_macro_name", b.string("h")},
                        {"additional_params", b.map({b.string("event")}, {b.macroReference("evt")})}});
    auto broken =
        b.tag("_dlw", {{"value", b.list({b.map({b.string("bad")},
                                               {b.list({b.macroReference("evt"), b.functionId("_x")})})})}});
    b.rule(rule({}, {write, call, broken}));
    auto handler = std::make_shared<Handler>();
    auto layer = ZAVDataLayer::create();
    auto listener = std::make_shared<Listener>();
    layer->registerListener(listener);
    auto runtime =
        ZAVRuntime::runtimeWithResource(ZAVResourceUtil::expandResource(*b.build()), layer, nullptr, handler);
    std::vector<std::string> written;
    for (const char* event : {"a", "b", "a", "b", "a"}) {
        runtime->evaluateTags(event);
        written.push_back(layer->get("seen.event")->textValue() + "/" +
                          layer->get("seen.label")->textValue());
    }
    EXPECT_EQ(written, (std::vector<std::string>{"a/L", "b/L", "a/L", "b/L", "a/L"}));
    EXPECT_EQ(handler->seen, (std::vector<std::string>{"h:a", "h:b", "h:a", "h:b", "h:a"}));
    EXPECT_EQ(listener->count(), 5u);
    EXPECT_FALSE(layer->get("bad"));
    EXPECT_EQ(log->count("error", "Trying to convert a function ID to object"), 5u);
}

}  // namespace
