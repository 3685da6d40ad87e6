#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "platform/base/Random.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/datalayer/ZAVExperimentMacroHelper.h"
#include "tagmanager/runtime/ZAVCustomFunctionCall.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tests/tagmanager/TagManagerTestSupport.h"
#include "wire/ZAVWireString.h"

namespace {

using tmtest::CapturedLog;

ZAVObjectPtr T(const std::string& s) {
    return ZAVObject::text(s);
}
ZAVPValuePtr V(const ZAVObjectPtr& o) {
    return ZAVTypes::objectToValue(o);
}

class Handler : public ZAVCustomEvaluator {
  public:
    ZAVObjectPtr evaluate(const std::string& name, const Parameters& parameters) override {
        ++calls;
        lastName = name;
        lastParameters = parameters;
        if (name == "boom") throw std::runtime_error("handler failed");
        return T("handled " + name);
    }
    int calls = 0;
    std::string lastName;
    Parameters lastParameters;
};

TEST(CustomFunctionCallTest, ParametersAndFailures) {
    CapturedLog log;
    auto handler = std::make_shared<Handler>();
    ZAVCustomFunctionCall call(handler);
    EXPECT_FALSE(call.isCacheable());
    EXPECT_EQ(call.requiredKeys(), std::set<std::string>{"function_call_macro_name"});

    auto result = call.evaluate({{"function_call_macro_name", V(T("score"))}});
    EXPECT_EQ(result->string()->utf8(), "handled score");
    EXPECT_TRUE(handler->lastParameters.empty());

    auto params = V(ZAVObject::map({{ZAVObject::integer(5), T("five")}, {T("k"), T("v")}}));
    call.evaluate({{"function_call_macro_name", V(T("score"))}, {"additional_params", params}});
    ASSERT_EQ(handler->lastParameters.size(), 2u);
    EXPECT_EQ(handler->lastParameters["5"]->textValue(), "five");
    EXPECT_EQ(handler->lastParameters["k"]->textValue(), "v");

    auto list = V(ZAVObject::list({T("a")}));
    EXPECT_EQ(call.evaluate({{"function_call_macro_name", V(T("score"))}, {"additional_params", list}}),
              ZAVTypes::defaultValue());
    EXPECT_EQ(handler->calls, 2);
    EXPECT_EQ(log->count("warning", "FunctionCallMacro: expected additional_params to be a map."), 1u);

    EXPECT_EQ(call.evaluate({{"function_call_macro_name", V(T("boom"))}}), ZAVTypes::defaultValue());
    EXPECT_EQ(log->count("warning", "Custom macro/tag boom threw exception handler failed"), 1u);
    call.setFunctionCallEvaluator(nullptr);
    EXPECT_EQ(call.evaluate({{"function_call_macro_name", V(T("x"))}}), ZAVTypes::defaultValue());
}

std::shared_ptr<ZAVPRuvExperimentRandom> random(const std::string& key, int64_t min, int64_t max,
                                                bool retain = false, int64_t lifetime = 0) {
    auto r = ZAVPRuvExperimentRandom::message();
    if (!key.empty()) r->setKey(ZAVWireString::create(key));
    r->setMinRandom(min);
    r->setMaxRandom(max);
    r->setRetainOriginalValue(retain);
    r->setLifetimeInMilliseconds(lifetime);
    return r;
}

std::shared_ptr<ZAVPSupplemental> supplemental(
    std::vector<std::shared_ptr<ZAVPRuvExperimentRandom>> randoms) {
    auto e = ZAVPRuvExperimentSupplemental::message();
    for (auto& r : randoms) e->experimentRandomArray()->addObject(r);
    auto s = ZAVPSupplemental::message();
    s->setExperimentSupplemental(e);
    return s;
}

struct Recorder : ZAVDataLayerListener {
    void changed(const ZAVObjectPtr& update) override { updates.push_back(update); }
    std::vector<ZAVObjectPtr> updates;
};

class ExperimentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        plat::Random::setFixedSeed(7);
        layer->registerListener(recorder);
    }
    void TearDown() override { plat::Random::clearFixedSeed(); }
    std::shared_ptr<ZAVDataLayer> layer = ZAVDataLayer::create();
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

TEST_F(ExperimentTest, MissingExperimentPartOnlyWarns) {
    CapturedLog log;
    ZAVExperimentMacroHelper::handleExperimentSupplemental(*layer, *ZAVPSupplemental::message());
    EXPECT_EQ(log->count("warning", "supplemental missing experimentSupplemental"), 1u);
    EXPECT_TRUE(recorder->updates.empty());
}

TEST_F(ExperimentTest, BoundsPushesAndClears) {
    CapturedLog log;
    auto s = supplemental({random("", 0, 1), random("same", 5, 5), random("bad", 7, 3)});
    auto experiment = s->experimentSupplemental();
    experiment->valueToPushArray()->addObject(V(ZAVObject::map({{T("pushed"), T("yes")}})));
    experiment->valueToPushArray()->addObject(V(T("not a map")));
    experiment->valueToClearArray()->addObject(V(T("old")));
    ZAVExperimentMacroHelper::handleExperimentSupplemental(*layer, *s);
    EXPECT_EQ(layer->get("same")->int64Value(), 5);
    EXPECT_EQ(layer->get("pushed")->textValue(), "yes");
    EXPECT_EQ(layer->get("old"), ZAVObject::nullMarker());
    EXPECT_FALSE(layer->get("bad"));
    EXPECT_EQ(log->count("warning", "RuvExperimentRandom: No key"), 1u);
    EXPECT_EQ(log->count("warning", "RuvExperimentRandom: random range invalid"), 1u);
    EXPECT_EQ(log->count("warning", "value: not a map is not a map value, ignored."), 1u);

    std::set<int64_t> seen;
    for (int i = 0; i < 200; ++i) {
        ZAVExperimentMacroHelper::setRandomValues(
            *layer, *supplemental({random("v", 1, 3)})->experimentSupplemental());
        seen.insert(layer->get("v")->int64Value());
    }
    EXPECT_EQ(seen, (std::set<int64_t>{1, 2}));
}

TEST_F(ExperimentTest, RetainOriginalValue) {
    layer->push(ZAVObject::map({{T("kept"), ZAVObject::integer(3)}, {T("text"), T("three")}}));
    recorder->updates.clear();
    ZAVExperimentMacroHelper::handleExperimentSupplemental(
        *layer, *supplemental({random("kept", 1, 3, true), random("text", 1, 2, true)}));
    EXPECT_EQ(layer->get("kept")->int64Value(), 3);
    EXPECT_EQ(layer->get("text")->int64Value(), 1);
    // Each key cleared, then pushed again.
    EXPECT_EQ(recorder->updates.size(), 4u);
}

TEST_F(ExperimentTest, Lifetimes) {
    CapturedLog log;
    ZAVExperimentMacroHelper::handleExperimentSupplemental(
        *layer, *supplemental({random("plain", 4, 5, false, 0), random("timed", 4, 5, false, 60000),
                               random("vuz", 4, 5, false, 60000), random("vuz.x", 4, 5, false, 60000)}));
    auto updates = recorder->updates;
    ASSERT_EQ(updates.size(), 8u);  // a clear and a push per entry
    EXPECT_FALSE(updates[1]->objectForKey("vuz"));
    EXPECT_EQ(updates[3]->objectForKey("vuz")->objectForKey("lifetime")->int64Value(), 60000);
    EXPECT_EQ(updates[5]->objectForKey("vuz")->int64Value(), 4);
    EXPECT_EQ(log->count("warning", "RuvExperimentRandom: vuz not a map"), 1u);
    auto nested = updates[7]->objectForKey("vuz");
    EXPECT_EQ(nested->objectForKey("x")->int64Value(), 4);
    EXPECT_EQ(nested->objectForKey("lifetime")->int64Value(), 60000);
}

TEST_F(ExperimentTest, WideBoundsDrawAcrossTheWholeRange) {
    const int64_t bound = int64_t{1} << 62;
    int64_t low = INT64_MAX, high = INT64_MIN;
    for (int i = 0; i < 200; ++i) {
        ZAVExperimentMacroHelper::setRandomValues(
            *layer, *supplemental({random("w", -bound, bound)})->experimentSupplemental());
        int64_t v = layer->get("w")->int64Value();
        ASSERT_GE(v, -bound);
        ASSERT_LT(v, bound);
        low = std::min(low, v);
        high = std::max(high, v);
    }
    // Far beyond what a 32-bit width could reach, on both sides.
    EXPECT_LT(low, -(int64_t{1} << 60));
    EXPECT_GT(high, int64_t{1} << 60);
}

}  // namespace
