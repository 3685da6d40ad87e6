#include <gtest/gtest.h>

#include "tagmanager/runtime/ZAVExpandedResource.h"
#include "tagmanager/values/ZAVTypes.h"

namespace {

ZAVPValuePtr S(const std::string& s) {
    return ZAVTypes::objectToValue(ZAVObject::text(s));
}

ZAVExpandedFunctionCallPtr macro(const std::string& name, const std::string& function) {
    auto builder = ZAVExpandedFunctionCall::builder();
    builder->addPropertyWithValue(S(name), "instance_name");
    builder->addPropertyWithValue(ZAVTypes::functionIdToValue(function), "function");
    return builder->build();
}

TEST(ExpandedModelTest, SameNameMacrosShareOneListInOrder) {
    auto first = macro("m", "_c");
    auto second = macro("m", "_e");
    auto builder = ZAVExpandedResource::builder();
    builder->addMacro(first);
    builder->addMacro(macro("other", "_c"));
    builder->addMacro(second);
    auto resource = builder->build();
    const auto* list = resource->macrosByName("m");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0], first);
    EXPECT_EQ((*list)[1], second);
    EXPECT_FALSE(resource->macrosByName("missing"));
    EXPECT_EQ(resource->allMacros().size(), 2u);
}

TEST(ExpandedModelTest, BuiltCallIsUnchangedByLaterBuilderEdits) {
    auto builder = ZAVExpandedFunctionCall::builder();
    builder->addPropertyWithValue(S("a"), "arg0");
    auto call = builder->build();
    builder->addPropertyWithValue(S("b"), "arg0");
    builder->addPropertyWithValue(S("c"), "arg1");
    EXPECT_EQ(call->propertyForKey("arg0")->string()->utf8(), "a");
    EXPECT_FALSE(call->propertyForKey("arg1"));
    auto snapshot = call->properties();
    call->updateCacheablePropertyWithValue(S("z"), "arg0");
    EXPECT_EQ(snapshot["arg0"]->string()->utf8(), "a");
    EXPECT_EQ(call->propertyForKey("arg0")->string()->utf8(), "z");
    auto copy = call->copy();
    EXPECT_NE(copy, call);
    EXPECT_EQ(copy->propertyForKey("arg0")->string()->utf8(), "z");
}

TEST(ExpandedModelTest, FreshResourceAndSizes) {
    auto resource = ZAVExpandedResource::builder()->build();
    EXPECT_TRUE(resource->rules().empty());
    EXPECT_TRUE(resource->allMacros().empty());
    EXPECT_EQ(resource->version(), "");
    EXPECT_EQ(resource->resourceFormatVersion(), 0);
    EXPECT_EQ(ZAVExpandedFunctionCall::builder()->build()->approximateByteSize(), 0u);
    auto call = ZAVExpandedFunctionCall::builder();
    call->addPropertyWithValue(S("abc"), "arg0");
    // "arg0" is 4 units; a String value "abc" serialises as type (2 bytes) and string (5 bytes).
    EXPECT_EQ(call->build()->approximateByteSize(), 4u + S("abc")->serializedSize());
}

TEST(ExpandedModelTest, RuleHoldsItsCalls) {
    auto rb = ZAVExpandedRule::builder();
    auto predicate = macro("p", "_eq");
    rb->addPositivePredicate(predicate);
    rb->addAddTag(macro("t", "_img"));
    auto rule = rb->build();
    ASSERT_EQ(rule->positivePredicates().size(), 1u);
    EXPECT_EQ(rule->positivePredicates()[0], predicate);
    EXPECT_EQ(rule->addTags().size(), 1u);
    EXPECT_TRUE(rule->negativePredicates().empty());
    EXPECT_NE(rule->description().find("  Negative predicates: "), std::string::npos);
    auto resourceBuilder = ZAVExpandedResource::builder();
    resourceBuilder->addRule(rule);
    resourceBuilder->setVersion("12");
    resourceBuilder->setResourceFormatVersion(1);
    auto resource = resourceBuilder->build();
    EXPECT_EQ(resource->rules()[0], rule);
    EXPECT_NE(resource->description().find("Version: 12 Format: 1"), std::string::npos);
}

}  // namespace
