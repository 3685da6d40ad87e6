#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tagmanager/values/ZAVTypes.h"
#include "tests/tagmanager/TagManagerTestSupport.h"
#include "wire/ZAVWireString.h"

namespace {

ZAVObjectPtr T(const std::string& s) {
    return ZAVObject::text(s);
}
ZAVObjectPtr I(int64_t v) {
    return ZAVObject::integer(v);
}

ZAVPValuePtr stringValue(const std::string& s) {
    return ZAVTypes::objectToValue(T(s));
}

TEST(TypesTest, ObjectToValueKinds) {
    auto floating = ZAVTypes::objectToValue(ZAVObject::floating(1.5));
    EXPECT_EQ(floating->type(), ZAVPValue_Type_String);
    EXPECT_EQ(floating->string()->utf8(), "1.5");
    auto integer = ZAVTypes::objectToValue(I(42));
    EXPECT_EQ(integer->type(), ZAVPValue_Type_Integer);
    EXPECT_EQ(integer->integer(), 42);
    auto fromPlatformBool = ZAVTypes::objectToValue(ZAVObject::fromPlatformValue(plat::Value(true)));
    EXPECT_EQ(fromPlatformBool->type(), ZAVPValue_Type_Integer);
    EXPECT_EQ(fromPlatformBool->integer(), 1);
    auto boolean = ZAVTypes::objectToValue(ZAVBoolean::booleanWithBool(true));
    EXPECT_EQ(boolean->type(), ZAVPValue_Type_Boolean);
    auto value = stringValue("x");
    EXPECT_EQ(ZAVTypes::objectToValue(ZAVObject::value(value)), value);
}

TEST(TypesTest, UnsupportedElementFailsTheWholeList) {
    tmtest::CapturedLog log;
    auto list = ZAVObject::list({T("a"), ZAVObject::opaque(plat::Value(plat::Value::Date{5}))});
    EXPECT_EQ(ZAVTypes::objectToValue(list), ZAVTypes::defaultValue());
    EXPECT_EQ(log->count("error", "Converting to Value from unknown object type: NSDate"), 1u);
    EXPECT_EQ(log->lines().size(), 1u);
    EXPECT_EQ(ZAVTypes::objectToValue(nullptr), ZAVTypes::defaultValue());
    EXPECT_EQ(log->count("error", "unknown object type: nil"), 1u);
}

TEST(TypesTest, MapValuesKeepInsertionOrder) {
    auto map = ZAVObject::map({{T("b"), I(1)}, {T("a"), I(2)}, {T("b"), I(3)}});
    EXPECT_EQ(ZAVTypes::objectToString(map)->textValue(), "{b=3, a=2}");
    auto value = ZAVTypes::objectToValue(ZAVObject::map({{T("a"), I(1)}, {T("b"), I(2)}}));
    auto back = ZAVTypes::valueToObject(value);
    EXPECT_EQ(ZAVTypes::objectToString(back)->textValue(), "{a=1, b=2}");
    EXPECT_EQ(ZAVTypes::objectToString(ZAVObject::map({}))->textValue(), "{}");
}

TEST(TypesTest, UnevenMapValueIsAbsent) {
    tmtest::CapturedLog log;
    auto value = ZAVPValue::message();
    value->setType(ZAVPValue_Type_Map);
    value->mapKeyArray()->addObject(stringValue("a"));
    value->mapKeyArray()->addObject(stringValue("b"));
    value->mapValueArray()->addObject(stringValue("1"));
    EXPECT_FALSE(ZAVTypes::valueToObject(value));
    EXPECT_EQ(log->count("error", "Converting an invalid value to object: "), 1u);
}

TEST(TypesTest, TemplatesAndReferences) {
    tmtest::CapturedLog log;
    auto tmpl = ZAVTypes::templateToValue({stringValue("a"), stringValue("b"), nullptr, stringValue("c")});
    EXPECT_EQ(ZAVTypes::valueToString(tmpl)->textValue(), "ab");
    EXPECT_FALSE(tmpl->containsReferences());
    auto withRef = ZAVTypes::templateToValue({stringValue("a"), ZAVTypes::macroReferenceToValue("m")});
    EXPECT_TRUE(withRef->containsReferences());
    EXPECT_FALSE(ZAVTypes::valueToObject(withRef));
    EXPECT_EQ(ZAVTypes::valueToString(withRef), ZAVTypes::defaultString());
    EXPECT_EQ(log->count("error", "Trying to convert a macro reference to object"), 2u);
    EXPECT_FALSE(ZAVTypes::valueToObject(ZAVTypes::functionIdToValue("_eq")));
    EXPECT_EQ(log->count("error", "Trying to convert a function ID to object"), 1u);
    auto tag = ZAVPValue::message();
    tag->setType(ZAVPValue_Type_TagReference);
    EXPECT_FALSE(ZAVTypes::valueToObject(tag));
    EXPECT_EQ(log->count("error", "Failed to convert a value of type: 9"), 1u);
}

// A failed value is the default string itself, so a template with a failed token fails as a whole; a
// real empty text stays a real one.
TEST(TypesTest, AFailedValueConvertsToTheDefaultStringItself) {
    EXPECT_EQ(ZAVTypes::valueToObject(ZAVTypes::defaultValue()), ZAVTypes::defaultString());
    EXPECT_EQ(ZAVTypes::valueToString(ZAVTypes::objectToValue(ZAVTypes::defaultString())),
              ZAVTypes::defaultString());
    EXPECT_NE(ZAVTypes::valueToString(stringValue("")), ZAVTypes::defaultString());
    auto tmpl = ZAVTypes::templateToValue(
        {stringValue("lvl="), ZAVTypes::defaultValue(), stringValue("/blocked"), nullptr});
    EXPECT_EQ(ZAVTypes::valueToString(tmpl), ZAVTypes::defaultString());
}

TEST(TypesTest, TextForms) {
    auto nested = ZAVObject::list({I(1), ZAVObject::list({I(2), I(3)})});
    EXPECT_EQ(ZAVTypes::objectToString(nested)->textValue(), "[1, [2, 3]]");
    EXPECT_EQ(ZAVTypes::objectToString(ZAVObject::list({}))->textValue(), "[]");
    EXPECT_EQ(ZAVTypes::objectToString(ZAVObject::floating(12.0))->textValue(), "12");
    EXPECT_EQ(ZAVTypes::objectToString(ZAVObject::floating(1.5))->textValue(), "1.5");
    EXPECT_EQ(ZAVTypes::objectToString(I(-7))->textValue(), "-7");
    EXPECT_EQ(ZAVTypes::objectToString(ZAVTypes::defaultNumber())->textValue(), "0");
    EXPECT_EQ(ZAVTypes::objectToString(nullptr), ZAVTypes::defaultString());
    auto text = T("same");
    EXPECT_EQ(ZAVTypes::objectToString(text), text);
}

TEST(TypesTest, NumberScan) {
    tmtest::CapturedLog log;
    auto n = ZAVTypes::parseNumber("12");
    EXPECT_TRUE(n->isIntegerNumber());
    EXPECT_EQ(n->int64Value(), 12);
    n = ZAVTypes::parseNumber("12.0");
    EXPECT_TRUE(n->isFloatingNumber());
    EXPECT_EQ(n->doubleValue(), 12.0);
    EXPECT_EQ(ZAVTypes::parseNumber("1e3")->doubleValue(), 1000.0);
    EXPECT_EQ(ZAVTypes::parseNumber(" \n7")->int64Value(), 7);
    EXPECT_EQ(ZAVTypes::parseNumber("-5")->int64Value(), -5);
    EXPECT_EQ(ZAVTypes::parseNumber("+5")->int64Value(), 5);
    EXPECT_EQ(ZAVTypes::parseNumber(".5")->doubleValue(), 0.5);
    EXPECT_EQ(ZAVTypes::parseNumber("9223372036854775808")->int64Value(),
              std::numeric_limits<int64_t>::max());
    EXPECT_EQ(ZAVTypes::parseNumber("-99999999999999999999")->int64Value(),
              std::numeric_limits<int64_t>::min());
    EXPECT_EQ(ZAVTypes::parseNumber("7 "), ZAVTypes::defaultNumber());
    EXPECT_EQ(log->count("error", "Failed to convert 7  to a number."), 1u);
    for (const char* text : {"", "inf", "nan", "-infinity", "0x1p3", "1e", "1e+", ".", "-", "1,5", "abc"})
        EXPECT_FALSE(ZAVTypes::numberWithString(text)) << text;
}

TEST(TypesTest, IntegerAndDoubleConversionsSaturate) {
    tmtest::CapturedLog log;
    EXPECT_EQ(ZAVTypes::objectToInt64(T("2.9"))->int64Value(), 2);
    EXPECT_EQ(ZAVTypes::objectToInt64(T("-2.9"))->int64Value(), -2);
    EXPECT_EQ(ZAVTypes::parseInt64("1e30")->int64Value(), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(ZAVTypes::parseInt64("-1e30")->int64Value(), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(ZAVTypes::parseInt64("1e400")->int64Value(), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(ZAVTypes::getInt64(ZAVObject::floating(std::nan(""))), 0);
    EXPECT_EQ(ZAVTypes::getInt64(ZAVObject::floating(1e30)), std::numeric_limits<int64_t>::max());
    auto bad = ZAVTypes::objectToInt64(T("abc"));
    EXPECT_EQ(bad, ZAVTypes::defaultInt64());
    EXPECT_EQ(bad->int64Value(), 0);
    EXPECT_TRUE(bad->isEqual(*I(0)));
    EXPECT_NE(ZAVTypes::objectToInt64(T("0")), ZAVTypes::defaultInt64());
    EXPECT_TRUE(ZAVTypes::objectToDouble(I(3))->isFloatingNumber());
    EXPECT_TRUE(ZAVTypes::objectToInt64(ZAVObject::floating(3.7))->isIntegerNumber());
    EXPECT_EQ(ZAVTypes::getInt64(T("x")), 0);
    EXPECT_EQ(log->count("error", "getInt64 did not receive NSNumber"), 1u);
    EXPECT_EQ(ZAVTypes::getDouble(nullptr), 0.0);
    EXPECT_EQ(log->count("error", "getDouble did not receive NSNumber"), 1u);
}

TEST(TypesTest, Booleans) {
    tmtest::CapturedLog log;
    EXPECT_TRUE(ZAVTypes::objectToBoolean(T("TRUE"))->boolValue());
    EXPECT_EQ(ZAVTypes::objectToBoolean(T("yes")), ZAVTypes::defaultBoolean());
    EXPECT_EQ(log->count("error", "Failed to parse an invalid boolean: yes"), 1u);
    auto one = ZAVPValue::message();
    one->setType(ZAVPValue_Type_Integer);
    one->setInteger(1);
    EXPECT_EQ(ZAVTypes::valueToBoolean(one), ZAVTypes::defaultBoolean());
    EXPECT_NE(ZAVTypes::defaultBoolean(), std::static_pointer_cast<const ZAVObject>(ZAVBoolean::no()));
}

TEST(TypesTest, DefaultsAreIdenticalOnlyToThemselves) {
    const ZAVObjectPtr all[] = {ZAVTypes::defaultInt64(),   ZAVTypes::defaultDouble(),
                                ZAVTypes::defaultNumber(),  ZAVTypes::defaultString(),
                                ZAVTypes::defaultBoolean(), ZAVTypes::defaultList(),
                                ZAVTypes::defaultMap()};
    for (size_t i = 0; i < std::size(all); ++i)
        for (size_t j = 0; j < std::size(all); ++j) EXPECT_EQ(all[i] == all[j], i == j);
    EXPECT_EQ(ZAVTypes::defaultInt64(), ZAVTypes::defaultInt64());
    EXPECT_NE(ZAVDistinctZero::distinctZero(), ZAVDistinctZero::distinctZero());
    EXPECT_FALSE(ZAVTypes::defaultObject());
    EXPECT_EQ(ZAVTypes::defaultValue()->string()->utf8(), "");
    EXPECT_EQ(ZAVTypes::objectToNumber(ZAVTypes::defaultNumber()), ZAVTypes::defaultNumber());
}

TEST(TypesTest, ValueHashAgreesWithEquality) {
    auto a = stringValue("same");
    auto b = stringValue("same");
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_EQ(a->hash(), b->hash());
    b->setContainsReferences(true);
    EXPECT_EQ(b->hash(), a->hash() + 1);
    auto list = ZAVTypes::objectToValue(ZAVObject::list({}));
    auto tag = ZAVPValue::message();
    tag->setType(ZAVPValue_Type_TagReference);
    EXPECT_EQ(list->hash(), 31u);
    EXPECT_EQ(tag->hash(), 31u);
    EXPECT_NE(stringValue("x")->hash(), stringValue("y")->hash());
    // A value object's hash is the value's.
    EXPECT_EQ(ZAVObject::value(a)->hash(), a->hash());
}

TEST(TypesTest, PlatformValueRoundTrip) {
    plat::Value::Dictionary d;
    d.set("z", plat::Value(1));
    d.set("a", plat::Value(plat::Value::Array{plat::Value("s"), plat::Value(2.5), plat::Value(nullptr)}));
    plat::Value tree(d);
    auto object = ZAVObject::fromPlatformValue(tree);
    EXPECT_EQ(ZAVTypes::objectToString(object)->textValue(), "{z=1, a=[s, 2.5, <null>]}");
    auto back = ZAVObject::toPlatformValue(object);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, tree);
    EXPECT_FALSE(ZAVObject::toPlatformValue(ZAVObject::map({{I(1), I(2)}})));
}

TEST(ObjectTest, NumbersCompareExactlyAcrossKinds) {
    EXPECT_TRUE(I(1)->isEqual(*ZAVObject::floating(1.0)));
    EXPECT_EQ(I(1)->hash(), ZAVObject::floating(1.0)->hash());
    EXPECT_FALSE(I(9007199254740993)->isEqual(*ZAVObject::floating(9007199254740992.0)));
    auto lowest = ZAVObject::floating(-9223372036854775808.0);
    EXPECT_TRUE(I(INT64_MIN)->isEqual(*lowest));
    EXPECT_EQ(I(INT64_MIN)->hash(), lowest->hash());
    auto map = ZAVObject::map({{I(1), T("one")}});
    EXPECT_EQ(map->objectForKey(ZAVObject::floating(1.0))->textValue(), "one");
}

// Small maps find their keys by scanning, larger ones through an index: both answer alike.
TEST(ObjectTest, SmallAndLargeMapsFindKeysAlike) {
    for (int size : {3, 8, 9, 40}) {
        ZAVObject::Entries entries;
        for (int i = 0; i < size; ++i) entries.emplace_back(T("k" + std::to_string(i)), I(i));
        entries.emplace_back(I(7), T("number seven"));
        entries.emplace_back(T("k1"), T("replaced"));  // a repeated key keeps its first place
        auto map = ZAVObject::map(entries);
        ASSERT_EQ(map->entries().size(), static_cast<size_t>(size) + 1);
        EXPECT_EQ(map->positionOfKey(T("k1")), 1u);
        EXPECT_EQ(map->objectForKey("k1")->textValue(), "replaced");
        EXPECT_EQ(map->objectForKey(T("k0"))->int64Value(), 0);
        EXPECT_EQ(map->objectForKey(ZAVObject::floating(7.0))->textValue(), "number seven");
        EXPECT_FALSE(map->objectForKey("7"));  // a text never equals a number
        EXPECT_FALSE(map->objectForKey("absent"));
        EXPECT_FALSE(map->objectForKey(ZAVObjectPtr()));
        ZAVObject::Entries reversed(map->entries().rbegin(), map->entries().rend());
        EXPECT_TRUE(map->isEqual(*ZAVObject::map(reversed)));
    }
}

}  // namespace
