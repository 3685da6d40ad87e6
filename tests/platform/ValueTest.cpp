#include <gtest/gtest.h>

#include "platform/base/Value.h"

using plat::Value;

TEST(Value, KindsAndTypedAccess) {
    EXPECT_TRUE(Value().isNull());
    EXPECT_TRUE(Value(nullptr).isNull());
    EXPECT_TRUE(Value(true).isBool());
    EXPECT_TRUE(Value(7).isInteger());
    EXPECT_TRUE(Value(int64_t{1} << 40).isInteger());
    EXPECT_TRUE(Value(2.5).isReal());
    EXPECT_TRUE(Value(2.5f).isReal());
    EXPECT_TRUE(Value("text").isString());
    EXPECT_TRUE(Value(plat::Bytes{1, 2}).isData());
    EXPECT_TRUE(Value(Value::Date{10}).isDate());
    EXPECT_TRUE(Value(Value::Array{}).isArray());
    EXPECT_TRUE(Value(Value::Dictionary{}).isDictionary());
    EXPECT_EQ(Value("x").integerIf(), nullptr);
    EXPECT_EQ(*Value(5).integerIf(), 5);
}

TEST(Value, NumberAndStringConversions) {
    EXPECT_EQ(Value(2.9).toInt64(), 2);
    EXPECT_EQ(Value(-2.9).toInt32(), -2);
    EXPECT_EQ(Value(int64_t{4294967301}).toInt32(), INT32_MAX);  // not 5, its low 32 bits
    EXPECT_EQ(Value(int64_t{2147483648}).toInt32(), INT32_MAX);
    EXPECT_EQ(Value(-int64_t{4294967296} - 7).toInt32(), INT32_MIN);
    EXPECT_EQ(Value(INT64_MIN).toInt32(), INT32_MIN);
    EXPECT_EQ(Value(-2147483648LL).toInt32(), INT32_MIN);
    EXPECT_EQ(Value(1e30).toInt64(), INT64_MAX);
    EXPECT_EQ(Value(int64_t{5000000000}).toDouble(), 5e9);
    EXPECT_EQ(Value("12abc").toInt64(), 12);
    EXPECT_EQ(Value("99999999999999999999999").toInt64(), INT64_MAX);
    EXPECT_DOUBLE_EQ(Value(" 1.25x").toDouble(), 1.25);
    EXPECT_TRUE(Value("YES").toBool());
    EXPECT_TRUE(Value("7").toBool());
    EXPECT_FALSE(Value("0").toBool());
    EXPECT_FALSE(Value("no").toBool());
    EXPECT_FALSE(Value(Value::Array{}).toBool());
    EXPECT_EQ(Value(true).toString(), "1");
    EXPECT_EQ(Value(42).toString(), "42");
    EXPECT_EQ(Value(1.5).toString(), "1.5");
    EXPECT_EQ(Value(0.1f).toFloat(), 0.1f);
    EXPECT_EQ(Value(Value::Dictionary{}).toString(), "");
}

TEST(Value, DictionaryKeepsInsertionOrderAndReplacesInPlace) {
    Value::Dictionary d;
    d.set("b", 1);
    d.set("a", 2);
    d.set("c", 3);
    d.set("b", 4);
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_EQ(d.find("b")->toInt64(), 4);
    EXPECT_TRUE(d.remove("a"));
    EXPECT_FALSE(d.remove("a"));
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(d.find("c")->toInt64(), 3);  // the index still finds keys after a removal
    EXPECT_EQ(d.find("zz"), nullptr);
}

TEST(Value, CopiesAreDeepAndEqualityIgnoresKeyOrder) {
    Value inner(Value::Array{1, "two", 3.0});
    Value original(Value::Dictionary{{"list", inner}, {"n", 1}});
    Value copy = original;
    copy.dictionaryIf()->find("list")->arrayIf()->push_back(4);
    EXPECT_EQ(original["list"].arrayIf()->size(), 3u);
    EXPECT_NE(original, copy);

    Value reordered(Value::Dictionary{{"n", 1}, {"list", inner}});
    EXPECT_EQ(original, reordered);
    EXPECT_NE(Value(1), Value(1.0));  // kinds differ
}

TEST(Value, IndexingMissingEntriesGivesNull) {
    Value v(Value::Dictionary{{"a", Value::Array{10}}});
    EXPECT_EQ(v["a"][size_t{0}].toInt64(), 10);
    EXPECT_TRUE(v["a"][size_t{5}].isNull());
    EXPECT_TRUE(v["missing"]["deeper"].isNull());
    EXPECT_TRUE(Value(3)["a"].isNull());
}
