#include <gtest/gtest.h>

#include "platform/base/Error.h"
#include "tagmanager/runtime/ZAVResourceUtil.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tests/tagmanager/TagManagerTestSupport.h"
#include "tests/tagmanager/support/ResourceBuilder.h"
#include "wire/ZAVWireString.h"

namespace {

using tmtest::CapturedLog;
using tmtest::ResourceBuilder;

// Expands and expects the named failure with `line` among the error lines.
void expectInvalid(const ZAVPResource& resource, const std::string& line) {
    CapturedLog log;
    try {
        ZAVResourceUtil::expandResource(resource);
        ADD_FAILURE() << "expanded: " << line;
    } catch (const plat::Exception& e) {
        EXPECT_EQ(e.name(), "InvalidResourceException");
        EXPECT_EQ(e.reason(), "Resource is invalid");
    }
    EXPECT_EQ(log->count("error", line), 1u) << line;
}

TEST(ResourceUtilTest, HandAssembledBytesExpand) {
    // Key "function"; value 0 the function id "_c"; value 1 a list of value 0; one property (key 0 =
    // value 0); one macro of that property; version "7".
    const std::vector<uint8_t> bytes = {0x0a, 0x08, 'f',  'u',  'n',  'c',  't',  'i',  'o',  'n',  0x12,
                                        0x06, 0x08, 0x05, 0x3a, 0x02, '_',  'c',  0x12, 0x07, 0x08, 0x02,
                                        0xaa, 0x06, 0x02, 0x08, 0x00, 0x1a, 0x04, 0x08, 0x00, 0x10, 0x00,
                                        0x22, 0x04, 0x10, 0x00, 0x18, 0x00, 0x6a, 0x01, '7'};
    auto resource = ZAVPResource::parseFromData(ZAVWireData::create(bytes.data(), bytes.size()),
                                                ResourceBuilder::registry());
    auto expanded = ZAVResourceUtil::expandResource(*resource);
    EXPECT_EQ(expanded->version(), "7");
    const auto* macros = expanded->macrosByName("");
    ASSERT_TRUE(macros);
    ASSERT_EQ(macros->size(), 1u);
    EXPECT_EQ((*macros)[0]->propertyForKey("function")->functionId()->utf8(), "_c");
}

TEST(ResourceUtilTest, BuiltResourceExpandsWithSharedValues) {
    ResourceBuilder b;
    auto shared = b.string("s");
    auto list1 = b.list({shared, b.integer(3)});
    auto list2 = b.list({shared});
    auto map = b.map({b.string("k")}, {list2});
    auto ref = b.macroReference(b.string("other"));
    auto tmpl = b.templateOf({shared, ref});
    auto m = b.macro("m", "_c", {{"value", list1}, {"map", map}, {"t", tmpl}});
    auto p = b.predicate("_eq", {{"arg0", shared}, {"arg1", shared}});
    auto t = b.tag("_img", {{"push_after_evaluate", b.boolean(true)}});
    ResourceBuilder::Rule rule;
    rule.positive = {p};
    rule.addTags = {t};
    rule.addMacros = {m};
    b.rule(rule);
    b.setVersion("v1");
    b.setResourceFormatVersion(2);
    auto expanded = ZAVResourceUtil::expandResource(*b.build());

    ASSERT_EQ(expanded->rules().size(), 1u);
    const auto& expandedRule = expanded->rules()[0];
    ASSERT_EQ(expandedRule->addMacros().size(), 1u);
    auto macro = expandedRule->addMacros()[0];
    EXPECT_EQ(expanded->macrosByName("m")->at(0), macro);
    auto value = macro->propertyForKey("value");
    auto nested = ZAVTypes::valueToObject(macro->propertyForKey("map"));
    ASSERT_EQ(value->listItemArray()->count(), 2u);
    auto inMap =
        std::static_pointer_cast<ZAVPValue>(macro->propertyForKey("map")->mapValueArray()->objectAtIndex(0));
    // One object for every use of value "s".
    EXPECT_EQ(value->listItemArray()->objectAtIndex(0), inMap->listItemArray()->objectAtIndex(0));
    EXPECT_EQ(expandedRule->positivePredicates()[0]->propertyForKey("arg0"),
              value->listItemArray()->objectAtIndex(0));
    EXPECT_EQ(std::static_pointer_cast<ZAVPValue>(
                  macro->propertyForKey("t")->templateTokenArray()->objectAtIndex(1))
                  ->macroReference()
                  ->utf8(),
              "other");
    EXPECT_EQ(nested->kind(), ZAVObject::Kind::Map);
    // The index form stays behind: the expanded list carries no serving value.
    EXPECT_FALSE(value->hasExtension(ZAVPServingValue::ext()));

    auto tag = expandedRule->addTags()[0];
    ASSERT_TRUE(tag->pushAfterEvaluate());
    EXPECT_TRUE(tag->pushAfterEvaluate()->boolean());
    EXPECT_FALSE(tag->propertyForKey("push_after_evaluate"));
    EXPECT_EQ(expanded->version(), "v1");
    EXPECT_EQ(expanded->resourceFormatVersion(), 2);
}

TEST(ResourceUtilTest, CallOfManyPropertiesKeepsTheLastOfEachName) {
    ResourceBuilder b;
    auto call =
        b.rawCall("tag", {b.property("function", b.functionId("_img")), b.property("b", b.string("1")),
                          b.property("a", b.string("2")), b.property("b", b.string("3")),
                          b.property("c", b.string("4")), b.property("d", b.string("5"))});
    ResourceBuilder::Rule rule;
    rule.addTags = {call};
    b.rule(rule);
    auto tag = ZAVResourceUtil::expandResource(*b.build())->rules()[0]->addTags()[0];
    EXPECT_EQ(tag->propertyForKey("b")->string()->utf8(), "3");
    auto properties = tag->properties();
    std::string names;
    for (const auto& entry : properties) names += entry.first + " ";
    EXPECT_EQ(names, "a b c d function ");
    tag->updateCacheablePropertyWithValue(properties["a"], "b");
    EXPECT_EQ(tag->propertyForKey("b"), properties["a"]);
}

TEST(ResourceUtilTest, RulesShareAPredicateOfTheSameTexts) {
    ResourceBuilder b;
    auto flagged = ZAVPValue::message();
    flagged->setType(ZAVPValue_Type_String);
    flagged->setString(ZAVWireString::create("b"));
    flagged->setContainsReferences(false);
    std::vector<int32_t> predicates = {
        b.predicate("_eq", {{"arg0", b.string("a")}, {"arg1", b.string("b")}}),
        b.predicate("_eq", {{"arg0", b.string("a")}, {"arg1", b.string("b")}}),
        b.predicate("_eq", {{"arg0", b.string("a")}, {"arg1", b.string("c")}}),
        b.predicate("_eq", {{"arg0", b.string("a")}, {"arg1", b.value(flagged)}})};
    for (auto p : predicates) {
        ResourceBuilder::Rule rule;
        rule.positive = {p};
        b.rule(rule);
    }
    auto expanded = ZAVResourceUtil::expandResource(*b.build());
    auto predicateOf = [&](size_t rule) { return expanded->rules()[rule]->positivePredicates()[0]; };
    EXPECT_EQ(predicateOf(0), predicateOf(1));
    EXPECT_NE(predicateOf(0), predicateOf(2));
    // A value that sets more than its text is only the same as itself.
    EXPECT_NE(predicateOf(0), predicateOf(3));
    EXPECT_EQ(predicateOf(2)->propertyForKey("arg1")->string()->utf8(), "c");
}

TEST(ResourceUtilTest, ReadTextWithAListOfItsOwnIsNotShared) {
    ResourceBuilder b;
    auto escaped = ZAVPValue::message();
    escaped->setType(ZAVPValue_Type_String);
    escaped->setString(ZAVWireString::create("b"));
    escaped->escapingArray()->addInt32(1);
    for (auto arg1 : {b.string("b"), b.value(escaped), b.string("b")}) {
        ResourceBuilder::Rule rule;
        rule.positive = {b.predicate("_eq", {{"arg0", b.string("a")}, {"arg1", arg1}})};
        b.rule(rule);
    }
    auto read = ZAVPResource::parseFromData(b.build()->data(), ResourceBuilder::registry());
    auto expanded = ZAVResourceUtil::expandResource(*read);
    auto predicateOf = [&](size_t rule) { return expanded->rules()[rule]->positivePredicates()[0]; };
    EXPECT_EQ(predicateOf(0), predicateOf(2));
    EXPECT_NE(predicateOf(0), predicateOf(1));
}

TEST(ResourceUtilTest, MacrosAreFiledUnderTheTextOfAnyName) {
    ResourceBuilder b;
    auto text = b.macro("7", "_c");
    auto number = b.rawCall(
        "macro", {b.property("function", b.functionId("_c")), b.property("instance_name", b.integer(7))});
    auto unnamed = b.rawCall("macro", {b.property("function", b.functionId("_c"))});
    ResourceBuilder::Rule rule;
    rule.addMacros = {text, number, unnamed};
    b.rule(rule);
    auto expanded = ZAVResourceUtil::expandResource(*b.build());
    const auto& macros = expanded->rules()[0]->addMacros();
    ASSERT_TRUE(expanded->macrosByName("7"));
    EXPECT_EQ(*expanded->macrosByName("7"), ZAVExpandedFunctionCallList({macros[0], macros[1]}));
    ASSERT_TRUE(expanded->macrosByName(ZAVTypes::valueToText(nullptr)));
    EXPECT_EQ(*expanded->macrosByName(ZAVTypes::valueToText(nullptr)),
              ZAVExpandedFunctionCallList({macros[2]}));
}

TEST(ResourceUtilTest, EmptyTablesKeepVersionAndFormat) {
    ResourceBuilder b;
    b.setVersion("13");
    b.setResourceFormatVersion(4);
    auto expanded = ZAVResourceUtil::expandResource(*b.build());
    EXPECT_TRUE(expanded->rules().empty());
    EXPECT_TRUE(expanded->allMacros().empty());
    EXPECT_EQ(expanded->version(), "13");
    EXPECT_EQ(expanded->resourceFormatVersion(), 4);
}

TEST(ResourceUtilTest, MalformedResourcesFailWithTheirLines) {
    {
        ResourceBuilder b;
        b.list({1});
        b.list({1});  // value 1 holds itself
        expectInvalid(*b.build(),
                      "Value cycle detected.  Current value reference: 1.  Previous value references: ");
    }
    {
        ResourceBuilder b;
        auto s = b.string("x");
        b.property("k", s);
        b.rawCall("macro", {1});  // one past the single property
        expectInvalid(*b.build(), "Index out of bounds detected: 1 in properties");
    }
    {
        ResourceBuilder b;
        b.rawCall("tag", {-1});
        expectInvalid(*b.build(), "Index out of bounds detected: 18446744073709551615 in properties");
    }
    {
        ResourceBuilder b;
        b.raw(ZAVPValue_Type_TagReference, nullptr);
        CapturedLog log;
        EXPECT_THROW(ZAVResourceUtil::expandResource(*b.build()), plat::Exception);
        EXPECT_EQ(log->count("warning", "Tag type of TagReference shouldn't be present"), 1u);
        EXPECT_EQ(log->count("error", "Invalid value: "), 1u);
    }
    {
        ResourceBuilder b;
        auto k = b.string("k");
        b.map({k, k}, {k});
        expectInvalid(*b.build(), "Uneven map keys (2) and map values (1)");
    }
    {
        ResourceBuilder b;
        b.raw(ZAVPValue_Type_List, nullptr);
        expectInvalid(*b.build(), "Expected a ServingValue and didn't get one");
    }
    {
        ResourceBuilder b;
        b.raw(ZAVPValue_Type_MacroReference, ZAVPServingValue::message());
        expectInvalid(*b.build(), "Missing macro name reference");
    }
    {
        ResourceBuilder b;
        b.list({5});
        expectInvalid(*b.build(), "Index out of bounds detected: 5 in value");
    }
    for (const char* list : {"predicates", "tags", "macros"}) {
        ResourceBuilder b;
        ResourceBuilder::Rule rule;
        if (std::string(list) == "predicates") rule.negative = {0};
        if (std::string(list) == "tags") rule.removeTags = {0};
        if (std::string(list) == "macros") rule.removeMacros = {0};
        b.rule(rule);
        expectInvalid(*b.build(), std::string("Index out of bounds detected: 0 in ") + list);
    }
}

TEST(ResourceUtilTest, MacroReferenceNameThatIsNotAPlainTextTakesTheLongWay) {
    {
        ResourceBuilder b;
        b.macroReference(0);  // value 0 names itself
        expectInvalid(*b.build(),
                      "Value cycle detected.  Current value reference: 0.  Previous value references: ");
    }
    ResourceBuilder b;
    b.macro("m", "_c", {{"value", b.macroReference(b.integer(7))}});
    auto expanded = ZAVResourceUtil::expandResource(*b.build());
    EXPECT_EQ(expanded->macrosByName("m")->at(0)->propertyForKey("value")->macroReference()->utf8(), "7");
}

TEST(ResourceUtilTest, DoublingValueIsRefusedEarly) {
    // Each list holds the previous one twice: 40 levels describe 2^40 leaves in a few hundred bytes.
    ResourceBuilder b;
    auto v = b.string("leaf");
    for (int level = 0; level < 40; ++level) v = b.list({v, v});
    expectInvalid(*b.build(), "Value too large");
    // 17 levels are a few hundred bytes, far under the byte cap, yet a walk would visit 2^17 leaves.
    ResourceBuilder parts;
    auto p = parts.string("leaf");
    for (int level = 0; level < 17; ++level) p = parts.list({p, p});
    expectInvalid(*parts.build(), "Value too large: more than 100000 parts at value reference: 16");

    ResourceBuilder fine;
    auto w = fine.string("leaf");
    for (int level = 0; level < 10; ++level) w = fine.list({w, w});
    EXPECT_NO_THROW(ZAVResourceUtil::expandResource(*fine.build()));
}

TEST(ResourceUtilTest, DeepNestingIsRefused) {
    ResourceBuilder b;
    auto v = b.string("leaf");
    for (size_t level = 0; level < ZAVResourceUtil::kMaxValueDepth + 5; ++level) v = b.list({v});
    // Expanding from value 0 upward fills the chain bottom-up, so start from a resource whose chain
    // points the other way: every list refers to the next one.
    ResourceBuilder down;
    const int32_t n = static_cast<int32_t>(ZAVResourceUtil::kMaxValueDepth) + 5;
    for (int32_t i = 0; i < n; ++i) down.list({i + 1});
    down.string("leaf");
    expectInvalid(*down.build(), "Value nesting deeper than");
    EXPECT_NO_THROW(ZAVResourceUtil::expandResource(*b.build()));
}

}  // namespace
