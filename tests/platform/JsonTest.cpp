#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/base/Json.h"
#include "platform/base/Log.h"

using plat::Json;
using plat::Value;

namespace {

std::optional<Value> parse(std::string_view text) {
    return Json::parse(text);
}

}  // namespace

TEST(Json, ReadsEveryKindKeepingMemberOrder) {
    auto v = parse(R"({"z": 1, "a": [true, false, null, -2, 1.5, "x\u00e9\n"], "m": {}})");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->dictionaryIf()->keys(), (std::vector<std::string>{"z", "a", "m"}));
    EXPECT_EQ((*v)["z"], Value(1));
    const Value& a = (*v)["a"];
    EXPECT_EQ(a[0], Value(true));
    EXPECT_TRUE(a[2].isNull());
    EXPECT_EQ(a[3], Value(-2));
    EXPECT_EQ(a[4], Value(1.5));
    EXPECT_EQ(a[5], Value("xé\n"));
    EXPECT_TRUE((*v)["m"].isDictionary());
}

TEST(Json, AcceptsTopLevelFragments) {
    EXPECT_EQ(parse("\"ok\""), Value("ok"));
    EXPECT_EQ(parse(" 42 "), Value(42));
    EXPECT_EQ(parse("null"), Value());
    EXPECT_EQ(parse("true"), Value(true));
}

TEST(Json, IntegersBeyond64BitsReadAsReals) {
    EXPECT_EQ(parse("9223372036854775807"), Value(int64_t{9223372036854775807}));
    EXPECT_EQ(parse("-9223372036854775808"), Value(std::numeric_limits<int64_t>::min()));
    auto big = parse("18446744073709551615");
    ASSERT_TRUE(big && big->isReal());
    EXPECT_DOUBLE_EQ(*big->realIf(), 18446744073709551615.0);
    auto below = parse("-9223372036854775809");
    ASSERT_TRUE(below && below->isReal());
    EXPECT_DOUBLE_EQ(*below->realIf(), -9223372036854775808.0);
    auto huge = parse("123456789012345678901234567890");
    ASSERT_TRUE(huge && huge->isReal());
    EXPECT_DOUBLE_EQ(*huge->realIf(), 1.2345678901234568e29);
}

TEST(Json, MalformedInputGivesAnErrorNeverAThrow) {
    for (std::string_view bad : std::vector<std::string_view>{
             "", "{", "[1,]", "{\"a\" 1}", "01", "1e999", "\"\\ud800\"", "\"\xff\"", "nul", "[1] 2",
             "{'a':1}", std::string_view("\"a\0b\"", 5), "/* c */ 1"}) {
        plat::Error error;
        EXPECT_FALSE(Json::parse(bad, &error)) << bad;
        EXPECT_EQ(error.domain(), Json::kErrorDomain);
        EXPECT_EQ(error.code(), Json::kErrorCode);
        EXPECT_FALSE(error.localizedDescription().empty());
    }
    EXPECT_FALSE(Json::parse(nullptr, 0));
}

TEST(Json, DepthAndSizeLimitsRefuseWithALogLine) {
    std::string deep(Json::kMaxDepth, '[');
    deep += std::string(Json::kMaxDepth, ']');
    EXPECT_TRUE(parse(deep));

    std::string deeper(100000, '[');
    plat::LogCapture capture;
    EXPECT_FALSE(parse(deeper));
    EXPECT_TRUE(capture.contains("nested deeper"));

    std::string large(Json::kMaxInputSize + 1, ' ');
    EXPECT_FALSE(parse(large));
    EXPECT_TRUE(capture.contains("refusing"));
}

TEST(Json, DuplicateKeysKeepTheLastValueInTheFirstPlace) {
    auto v = parse(R"({"a": 1, "b": 2, "a": 3})");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->dictionaryIf()->keys(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ((*v)["a"], Value(3));
}

TEST(Json, WritesWithEscapingInEitherKeyOrder) {
    Value v(Value::Dictionary{{"zeta", "quote\" back\\ nl\n tab\t ctl\x01 ぽ"},
                              {"alpha", Value::Array{1, 2.5, true, nullptr}}});
    auto insertion = Json::write(v);
    ASSERT_TRUE(insertion);
    EXPECT_EQ(*insertion, R"({"zeta":"quote\" back\\ nl\n tab\t ctl\u0001 ぽ","alpha":[1,2.5,true,null]})");
    auto sorted = Json::write(v, {Json::KeyOrder::Sorted});
    ASSERT_TRUE(sorted);
    EXPECT_EQ(sorted->find("\"alpha\""), 1u);
    EXPECT_EQ(*parse(*insertion), v);

    auto pretty = Json::write(Value(Value::Dictionary{{"a", 1}}), {Json::KeyOrder::Insertion, true});
    EXPECT_EQ(pretty, "{\n  \"a\": 1\n}");
}

TEST(Json, RefusesToWriteWhatJsonCannotHold) {
    plat::Error error;
    EXPECT_FALSE(Json::write(Value(plat::Bytes{1}), &error));
    EXPECT_EQ(error.code(), Json::kErrorCode);
    EXPECT_FALSE(Json::write(Value(Value::Date{1})));
    EXPECT_FALSE(Json::write(Value(Value::Array{Value(std::nan(""))})));
    EXPECT_FALSE(Json::write(Value(std::numeric_limits<double>::infinity())));
    EXPECT_FALSE(Json::write(Value(std::string("\xc3"))));
    EXPECT_FALSE(Json::write(Value(Value::Dictionary{{"\xff", 1}})));
    EXPECT_EQ(Json::write(Value("fragment")), "\"fragment\"");
}
