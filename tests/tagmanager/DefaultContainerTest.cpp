// Default containers given as JSON or property-list trees: constant macros only, kinds outside the format
// refused by name.
#include <gtest/gtest.h>

#include <string>

#include "platform/base/Error.h"
#include "platform/base/Json.h"
#include "platform/storage/PropertyList.h"
#include "tagmanager/container/ZAVSerialization.h"
#include "tagmanager/runtime/ZAVMacros.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tests/tagmanager/TagManagerTestSupport.h"

namespace {

plat::Value json(const std::string& text) {
    auto value = plat::Json::parse(text);
    EXPECT_TRUE(value) << text;
    return value ? *value : plat::Value();
}

std::shared_ptr<const ZAVExpandedResource> expand(const plat::Value& value) {
    return ZAVSerialization::expandedResourceFromDeserializedObject(&value);
}

// The one constant macro filed under `name`.
ZAVExpandedFunctionCallPtr macro(const ZAVExpandedResource& resource, const std::string& name) {
    auto calls = resource.macrosByName(name);
    if (!calls || calls->size() != 1) return nullptr;
    return calls->front();
}

std::string refusal(const plat::Value& value) {
    try {
        expand(value);
    } catch (const plat::Exception& e) {
        EXPECT_EQ(e.name(), "NotSupportedException");
        return e.reason();
    }
    return "(accepted)";
}

void expectThreeConstants(const ZAVExpandedResource& resource) {
    EXPECT_TRUE(resource.rules().empty());
    EXPECT_EQ(resource.version(), "");
    EXPECT_EQ(resource.resourceFormatVersion(), 0);
    ASSERT_EQ(resource.allMacros().size(), 3u);
    for (const char* name : {"a", "b", "c"}) {
        auto call = macro(resource, name);
        ASSERT_TRUE(call) << name;
        EXPECT_TRUE(call->propertyForKey("function")
                        ->isEqual(ZAVTypes::functionIdToValue(ZAVConstantMacro::functionId()).get()));
        EXPECT_EQ(ZAVTypes::valueToString(call->propertyForKey("instance_name"))->textValue(), name);
    }
    auto a = macro(resource, "a")->propertyForKey(ZAVConstantMacro::valueKey());
    EXPECT_EQ(a->type(), ZAVPValue_Type_String);
    EXPECT_EQ(a->string()->utf8(), "hi");
    auto b = macro(resource, "b")->propertyForKey(ZAVConstantMacro::valueKey());
    EXPECT_EQ(b->type(), ZAVPValue_Type_Boolean);
    EXPECT_TRUE(b->boolean());
    auto c = macro(resource, "c")->propertyForKey(ZAVConstantMacro::valueKey());
    EXPECT_TRUE(c->isEqual(ZAVTypes::objectToValue(ZAVObject::integer(3)).get()));
}

TEST(DefaultContainerTest, JsonTextBooleanAndNumberBecomeConstantMacros) {
    expectThreeConstants(*expand(json(R"({"a": "hi", "b": true, "c": 3})")));
}

TEST(DefaultContainerTest, PropertyListTextBooleanAndNumberBecomeConstantMacros) {
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>a</key><string>hi</string><key>b</key><true/>
<key>c</key><integer>3</integer></dict></plist>)";
    auto value = plat::PropertyList::parse(xml.data(), xml.size());
    ASSERT_TRUE(value);
    expectThreeConstants(*expand(*value));
}

TEST(DefaultContainerTest, BooleansAreNotNumbersAndOrderIsKept) {
    auto tree = json(R"({"z": false, "a": 1, "m": {"inner": true, "x": 1.5}})");
    auto object = ZAVSerialization::deserializedObjectToNSObject(&tree);
    ASSERT_TRUE(object && object->isMap());
    ASSERT_EQ(object->entries().size(), 3u);
    EXPECT_EQ(object->entries()[0].first->textValue(), "z");
    EXPECT_EQ(object->entries()[1].first->textValue(), "a");
    EXPECT_TRUE(object->entries()[0].second->isBoolean());
    EXPECT_FALSE(object->entries()[0].second->boolValue());
    EXPECT_TRUE(object->entries()[1].second->isIntegerNumber());
    auto inner = object->objectForKey("m");
    ASSERT_TRUE(inner && inner->isMap());
    EXPECT_TRUE(inner->objectForKey("inner")->isBoolean());
    EXPECT_DOUBLE_EQ(inner->objectForKey("x")->doubleValue(), 1.5);
    auto nested = json(R"({"m": {"inner": true}})");
    auto value = ZAVSerialization::deserializedObjectToValue(&nested);
    EXPECT_EQ(value->type(), ZAVPValue_Type_Map);
}

TEST(DefaultContainerTest, RefusedKindsAreNamed) {
    EXPECT_EQ(refusal(json(R"({"a": [1, 2]})")), "Type Array is not supported");
    EXPECT_EQ(refusal(json(R"({"a": {"b": {"c": []}}})")), "Type Array is not supported");
    EXPECT_EQ(refusal(json(R"({"a": null})")), "Type Null is not supported");
    EXPECT_EQ(refusal(json(R"([])")), "(accepted)");  // a top level that is no dictionary names nothing
    plat::Value::Dictionary withData;
    withData.set("d", plat::Value(plat::Bytes{1, 2}));
    EXPECT_EQ(refusal(plat::Value(withData)), "Type Data is not supported");
    plat::Value::Dictionary withDate;
    withDate.set("d", plat::Value(plat::Value::Date{5}));
    EXPECT_EQ(refusal(plat::Value(withDate)), "Type Date is not supported");
}

TEST(DefaultContainerTest, EmptyFragmentOrMissingTopLevelGivesNoMacros) {
    for (const char* text : {"{}", "3", "\"text\"", "true"}) {
        auto resource = expand(json(text));
        ASSERT_TRUE(resource) << text;
        EXPECT_TRUE(resource->allMacros().empty()) << text;
        EXPECT_EQ(resource->version(), "");
    }
    auto none = ZAVSerialization::expandedResourceFromDeserializedObject(nullptr);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->allMacros().empty());
}

TEST(DefaultContainerTest, JsonBytesFragmentsAllowedBrokenRefused) {
    std::string fragment = "42";
    auto resource = ZAVSerialization::expandResourceFromData(fragment.data(), fragment.size());
    ASSERT_TRUE(resource);
    EXPECT_TRUE(resource->allMacros().empty());
    std::string doc = R"({"greeting": "hi"})";
    resource = ZAVSerialization::expandResourceFromData(doc.data(), doc.size());
    ASSERT_TRUE(resource);
    EXPECT_TRUE(macro(*resource, "greeting"));
    tmtest::CapturedLog log;
    std::string broken = R"({"greeting": )";
    EXPECT_FALSE(ZAVSerialization::expandResourceFromData(broken.data(), broken.size()));
    EXPECT_EQ(log->count("warning", "Default container is not JSON: "), 1u);
}

}  // namespace
