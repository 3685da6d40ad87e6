#include <gtest/gtest.h>

#include "tagmanager/runtime/ZAVPredicate.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tests/tagmanager/TagManagerTestSupport.h"

namespace {

ZAVPValuePtr S(const std::string& s) {
    return ZAVTypes::objectToValue(ZAVObject::text(s));
}
ZAVPValuePtr I(int64_t v) {
    return ZAVTypes::objectToValue(ZAVObject::integer(v));
}

bool run(ZAVPredicate& predicate, ZAVPValuePtr arg0, ZAVPValuePtr arg1,
         ZAVFunctionCallImplementation::Properties extra = {}) {
    extra["arg0"] = std::move(arg0);
    extra["arg1"] = std::move(arg1);
    auto result = predicate.evaluate(extra);
    EXPECT_EQ(result->type(), ZAVPValue_Type_Boolean);
    return result->boolean();
}

TEST(PredicateTest, TextPredicates) {
    ZAVContains cn;
    EXPECT_TRUE(run(cn, S("abc"), S("")));
    EXPECT_FALSE(run(cn, S(""), S("a")));
    EXPECT_TRUE(run(cn, S("abc"), S("b")));
    ZAVEquals eq;
    EXPECT_TRUE(run(eq, I(10), S("10")));
    EXPECT_FALSE(run(eq, S("a"), S("A")));
    ZAVStartsWith sw;
    EXPECT_TRUE(run(sw, S("abc"), S("ab")));
    EXPECT_FALSE(run(sw, S("abc"), S("bc")));
    ZAVEndsWith ew;
    EXPECT_TRUE(run(ew, S("abc"), S("bc")));
    EXPECT_TRUE(run(ew, S("abc"), S("")));
    EXPECT_FALSE(run(ew, S("abc"), S("ab")));
    EXPECT_EQ(cn.instanceFunctionId(), "_cn");
    EXPECT_TRUE(cn.isCacheable());
    EXPECT_EQ(cn.requiredKeys(), (std::set<std::string>{"arg0", "arg1"}));
}

TEST(PredicateTest, RegexPredicate) {
    ZAVRegex re;
    EXPECT_FALSE(run(re, S("Hello"), S("^h")));
    EXPECT_TRUE(run(re, S("Hello"), S("^h"),
                    {{"ignore_case", ZAVTypes::objectToValue(ZAVBoolean::booleanWithBool(true))}}));
    EXPECT_TRUE(run(re, S("Hello"), S("ll")));
    EXPECT_TRUE(run(re, S("Hello"), S("")));
    tmtest::CapturedLog log;
    EXPECT_FALSE(run(re, S("Hello"), S("[")));
    EXPECT_TRUE(log->lines().empty());
}

TEST(PredicateTest, NumberPredicates) {
    tmtest::CapturedLog log;
    ZAVGreaterThan gt;
    EXPECT_TRUE(run(gt, S("10"), I(9)));
    EXPECT_FALSE(run(gt, S("ten"), I(9)));
    EXPECT_EQ(log->count("error", "Failed to convert ten to a number."), 1u);
    EXPECT_TRUE(run(gt, I(9007199254740993), S("9007199254740992.0")));
    EXPECT_FALSE(run(gt, S("9007199254740992.0"), I(9007199254740993)));
    ZAVLessThan lt;
    EXPECT_TRUE(run(lt, S("1.5"), S("2")));
    EXPECT_TRUE(run(lt, S("-1e400"), I(INT64_MIN)));
    ZAVGreaterEquals ge;
    EXPECT_TRUE(run(ge, S("2.0"), I(2)));
    EXPECT_FALSE(run(ge, S("1.5"), I(2)));
    ZAVLessEquals le;
    EXPECT_TRUE(run(le, I(2), S("2.0")));
    EXPECT_TRUE(run(le, I(2), S("2.5")));
    EXPECT_FALSE(run(le, I(3), S("2.5")));
    auto boolean = ZAVTypes::objectToValue(ZAVBoolean::booleanWithBool(true));
    EXPECT_FALSE(run(le, boolean, I(3)));
}

TEST(PredicateTest, DefaultValueAnywhereOrMissingArgumentIsFalse) {
    ZAVEquals eq;
    EXPECT_TRUE(run(eq, S("a"), S("a")));
    EXPECT_FALSE(run(eq, S("a"), S("a"), {{"other", ZAVTypes::defaultValue()}}));
    EXPECT_FALSE(eq.evaluate({{"arg0", S("a")}})->boolean());
    tmtest::CapturedLog log;
    EXPECT_FALSE(run(eq, ZAVTypes::macroReferenceToValue("m"), ZAVTypes::macroReferenceToValue("m")));
}

}  // namespace
