#include <gtest/gtest.h>

#include "tagmanager/values/ZAVTypes.h"
#include "tagmanager/values/ZAVValueEscapeUtil.h"
#include "tests/tagmanager/TagManagerTestSupport.h"

namespace {

ZAVValueEscapeUtil::Pair pair(const ZAVPValuePtr& value, bool isStatic = true) {
    return ZAVPValueAndStatic::valueWithValue(value, isStatic);
}

ZAVPValuePtr text(const std::string& s) {
    return ZAVTypes::objectToValue(ZAVObject::text(s));
}

TEST(EscapeTest, UrlEncode) {
    EXPECT_EQ(ZAVValueEscapeUtil::urlEncode("a b&c=d/\xC3\xA9"), "a%20b%26c%3Dd%2F%C3%A9");
    EXPECT_EQ(ZAVValueEscapeUtil::urlEncode("A-Z_0.9~"), "A-Z_0.9~");
    EXPECT_EQ(ZAVValueEscapeUtil::urlEncode("!*'();:@&=+$,/?%#[]"),
              "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D");
}

TEST(EscapeTest, UrlDecode) {
    EXPECT_EQ(ZAVValueEscapeUtil::urlDecode("a%20b%26c%3Dd%2F%C3%A9"), "a b&c=d/\xC3\xA9");
    EXPECT_EQ(ZAVValueEscapeUtil::urlDecode("a+b"), "a+b");
    EXPECT_EQ(ZAVValueEscapeUtil::urlDecode("%2a"), "*");
    for (const char* bad : {"%C3%28", "%zz", "%", "%4", "abc%", "%G0"})
        EXPECT_FALSE(ZAVValueEscapeUtil::urlDecode(bad)) << bad;
}

TEST(EscapeTest, EscapingsApplyInOrder) {
    tmtest::CapturedLog log;
    auto twice = ZAVWireArray::arrayWithInt32s({12, 12, INT32_MAX});
    auto result = ZAVValueEscapeUtil::applyEscapings(twice.get(), pair(text("a b"), false));
    EXPECT_EQ(result->value()->string()->utf8(), "a%2520b");
    EXPECT_FALSE(result->isStatic());

    auto unsupportedFirst = ZAVWireArray::arrayWithInt32s({1, 12, INT32_MAX});
    result = ZAVValueEscapeUtil::applyEscapings(unsupportedFirst.get(), pair(text("a b")));
    EXPECT_EQ(result->value()->string()->utf8(), "a%20b");
    EXPECT_EQ(log->count("error", "Unsupported Value Escaping: 1"), 1u);

    auto input = pair(text("x"));
    EXPECT_EQ(ZAVValueEscapeUtil::applyEscapings(nullptr, input), input);
}

TEST(EscapeTest, NonStringPassesUnchanged) {
    tmtest::CapturedLog log;
    auto integer = ZAVTypes::objectToValue(ZAVObject::integer(5));
    auto input = pair(integer, false);
    auto result = ZAVValueEscapeUtil::applyEscaping(12, input);
    EXPECT_EQ(result, input);
    EXPECT_FALSE(result->isStatic());
    EXPECT_EQ(log->count("error", "Escaping can only be applied to strings."), 1u);
}

}  // namespace
