#include <gtest/gtest.h>

#include "tagmanager/runtime/ZAVMacroInfo.h"

namespace {

ZAVExpandedFunctionCallPtr call() {
    return ZAVExpandedFunctionCall::builder()->build();
}

TEST(MacroInfoTest, RuleThatAddsAndRemovesACallContributesToBoth) {
    auto shared = call();
    auto onlyAdded = call();
    auto rule = ZAVExpandedRule::builder()->build();
    auto other = ZAVExpandedRule::builder()->build();
    ZAVMacroInfo info;
    info.addAddMacro(shared, rule);
    info.addAddMacro(onlyAdded, rule);
    info.addRemoveMacro(shared, rule);
    info.addAddMacro(call(), other);
    EXPECT_TRUE(info.rules().empty());
    ZAVAddRemoveMacrosPopulator populator(info.addMacros(), info.removeMacros());
    ZAVCallSet add, remove;
    populator.rulePassed(rule, add, remove);
    EXPECT_EQ(add, (ZAVCallSet{shared, onlyAdded}));
    EXPECT_EQ(remove, (ZAVCallSet{shared}));
    // No removal entry for the other rule: the remove set stays as it was.
    populator.rulePassed(other, add, remove);
    EXPECT_EQ(add.size(), 3u);
    EXPECT_EQ(remove.size(), 1u);
}

TEST(MacroInfoTest, TagsPopulatorTakesTheRulesTagLists) {
    auto builder = ZAVExpandedRule::builder();
    auto tag = call();
    auto removed = call();
    builder->addAddTag(tag);
    builder->addRemoveTag(removed);
    ZAVAddRemoveTagsPopulator populator;
    ZAVCallSet add, remove;
    populator.rulePassed(builder->build(), add, remove);
    EXPECT_EQ(add, (ZAVCallSet{tag}));
    EXPECT_EQ(remove, (ZAVCallSet{removed}));
    ZAVCachedMacro cached(ZAVPValueAndStatic::valueWithValue(nullptr, true), nullptr);
    EXPECT_TRUE(cached.valueAndStatic()->isStatic());
    EXPECT_FALSE(cached.pushAfterEvaluate());
}

}  // namespace
