#include <gtest/gtest.h>

#include "platform/base/Error.h"
#include "tagmanager/runtime/ZAVTextMacros.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tests/tagmanager/TagManagerTestSupport.h"
#include "wire/ZAVWireString.h"

namespace {

using tmtest::CapturedLog;
using Properties = ZAVFunctionCallImplementation::Properties;

ZAVPValuePtr S(const std::string& s) {
    return ZAVTypes::objectToValue(ZAVObject::text(s));
}
ZAVPValuePtr I(int64_t n) {
    return ZAVTypes::objectToValue(ZAVObject::integer(n));
}
ZAVPValuePtr B(bool b) {
    return ZAVTypes::objectToValue(ZAVBoolean::booleanWithBool(b));
}
std::string text(const ZAVPValuePtr& v) {
    return v == ZAVTypes::defaultValue() ? "<default>" : v->string()->utf8();
}

std::string encode(Properties p) {
    return text(ZAVEncode().evaluate(p));
}
std::string hash(Properties p) {
    return text(ZAVHashMacro().evaluate(p));
}
std::string join(Properties p) {
    return text(ZAVJoinerMacro().evaluate(p));
}
std::string group(Properties p) {
    return text(ZAVRegexGroup().evaluate(p));
}

TEST(TextMacrosTest, Encode) {
    CapturedLog log;
    EXPECT_EQ(encode({{"arg0", S("abc")}}), "616263");
    EXPECT_EQ(encode({{"arg0", S("abc")}, {"output_format", S("base64")}}), "YWJj");
    EXPECT_EQ(encode({{"arg0", S("a")}, {"output_format", S("base64url")}, {"no_padding", B(true)}}), "YQ");
    EXPECT_EQ(encode({{"arg0", S("a")}, {"output_format", S("base64")}}), "YQ==");
    EXPECT_EQ(encode({{"arg0", S("4a4B")}, {"input_format", S("base16")}}), "4A4B");
    EXPECT_EQ(encode({{"arg0", S("YWJj")}, {"input_format", S("base64")}, {"output_format", S("base16")}}),
              "616263");
    EXPECT_EQ(encode({{"arg0", S("6")}, {"input_format", S("base16")}}), "<default>");
    EXPECT_EQ(log->count("error", "Encode: invalid input: 6"), 1u);
    EXPECT_EQ(encode({{"arg0", S("")}}), "<default>");
    EXPECT_EQ(encode({}), "<default>");
    EXPECT_EQ(encode({{"arg0", S("abc")}, {"output_format", S("text")}}), "<default>");
    EXPECT_EQ(log->count("error", "Encode: unknown output format: text"), 1u);
    EXPECT_EQ(encode({{"arg0", S("abc")}, {"input_format", S("Text")}}), "<default>");
    EXPECT_EQ(log->count("error", "Encode: unknown input format: Text"), 1u);
    // A base-64 decoder that refuses its input answers no bytes: the empty text.
    EXPECT_EQ(encode({{"arg0", S("*")}, {"input_format", S("base64")}}), "");
}

TEST(TextMacrosTest, Hash) {
    CapturedLog log;
    EXPECT_EQ(hash({{"arg0", S("abc")}}), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(hash({{"arg0", S("abc")}, {"algorithm", S("SHA-1")}}),
              "A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(hash({{"arg0", S("abc")}, {"algorithm", S("SHA-256")}}),
              "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
    EXPECT_EQ(hash({{"arg0", S("abc")}, {"algorithm", S("SHA-384")}}),
              "CB00753F45A35E8BB5A03D699AC65007272C32AB0EDED1631A8B605A43FF5BED"
              "8086072BA1E7CC2358BAECA134C825A7");
    EXPECT_EQ(hash({{"arg0", S("abc")}, {"algorithm", S("SHA-512")}}),
              "DDAF35A193617ABACC417349AE20413112E6FA4E89A97EA20A9EEEE64B55D39A"
              "2192992A274FC1A836BA3C23A3FEEBBD454D4423643CE80E2A9AC94FA54CA49F");
    EXPECT_EQ(hash({{"arg0", S("abc")}, {"algorithm", S("sha-256")}}), "<default>");
    EXPECT_EQ(log->count("error", "Hash error. Algorithm: sha-256"), 1u);
    EXPECT_EQ(hash({{"arg0", S("abc")}, {"input_format", S("base16")}}), "<default>");
    EXPECT_EQ(log->count("error", "Hash error. Algorithm: MD5"), 1u);
    EXPECT_EQ(hash({{"arg0", S("616263")}, {"input_format", S("base16")}}),
              "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(hash({{"arg0", S("")}}), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(hash({{"arg0", ZAVTypes::defaultValue()}}), "<default>");
    EXPECT_EQ(hash({{"arg0", S("abc")}, {"input_format", S("base64")}}), "<default>");
    EXPECT_EQ(log->count("error", "Hash: unknown input format: base64"), 1u);
    ZAVHashMacro macro;
    EXPECT_THROW(macro.hash({}, "CRC"), plat::Exception);
    macro.setHashAlgorithms({});
    EXPECT_EQ(text(macro.evaluate({{"arg0", S("abc")}})), "<default>");
}

ZAVPValuePtr list(std::vector<ZAVPValuePtr> items) {
    auto v = ZAVPValue::message();
    v->setType(ZAVPValue_Type_List);
    for (auto& item : items) v->listItemArray()->addObject(item);
    return v;
}

ZAVPValuePtr map(std::vector<ZAVPValuePtr> keys, std::vector<ZAVPValuePtr> values) {
    auto v = ZAVPValue::message();
    v->setType(ZAVPValue_Type_Map);
    for (auto& k : keys) v->mapKeyArray()->addObject(k);
    for (auto& x : values) v->mapValueArray()->addObject(x);
    return v;
}

TEST(TextMacrosTest, Joiner) {
    CapturedLog log;
    EXPECT_EQ(join({{"arg0", list({S("a"), S("b"), S("c")})}, {"item_separator", S(",")}}), "a,b,c");
    EXPECT_EQ(join({{"arg0", map({S("a"), S("b")}, {I(1), I(2)})}}), "a=1b=2");
    EXPECT_EQ(
        join({{"arg0", list({S("a,b"), S("c\\")})}, {"item_separator", S(",")}, {"escape", S("backslash")}}),
        "a\\,b,c\\\\");
    EXPECT_EQ(join({{"arg0", map({S("k=")}, {S("v")})}, {"escape", S("backslash")}}), "k\\==v");
    EXPECT_EQ(join({{"arg0", list({S("a b")})}, {"escape", S("url")}}), "a%20b");
    EXPECT_EQ(join({{"arg0", S("plain")}}), "plain");
    EXPECT_EQ(join({{"arg0", S("x")}, {"escape", S("html")}}), "<default>");
    EXPECT_EQ(log->count("error", "Joiner: unsupported escape type"), 1u);
    EXPECT_EQ(join({{"arg0", map({S("a"), S("b")}, {I(1)})}}), "<default>");
    std::set<std::string> chars;
    ZAVJoinerMacro::addTo(chars, "a\xc3\xa9");
    EXPECT_EQ(chars, (std::set<std::string>{"a", "\xc3\xa9"}));
}

TEST(TextMacrosTest, RegexGroup) {
    CapturedLog log;
    Properties p{{"arg0", S("abc123")}, {"arg1", S("([a-z]+)(\\d+)")}};
    EXPECT_EQ(group(p), "abc");
    p["group"] = I(2);
    EXPECT_EQ(group(p), "123");
    p["group"] = I(0);
    EXPECT_EQ(group(p), "abc123");
    p["group"] = I(3);
    EXPECT_EQ(group(p), "<default>");
    p["group"] = I(-1);
    EXPECT_EQ(group(p), "<default>");
    p["group"] = S("two");
    EXPECT_EQ(group(p), "<default>");
    EXPECT_EQ(log->count("error", "Invalid group number: two"), 1u);
    EXPECT_EQ(group({{"arg0", S("abc")}, {"arg1", S("(")}}), "<default>");
    EXPECT_EQ(log->count("error", "Invalid regex pattern: ("), 1u);
    EXPECT_EQ(group({{"arg0", S("xabcx")}, {"arg1", S("ABC")}, {"ignore_case", B(true)}, {"group", I(0)}}),
              "abc");
    EXPECT_EQ(group({{"arg0", S("xabcx")}, {"arg1", S("ABC")}, {"ignore_case", B(true)}}), "<default>");
    // Group 2 exists but took no part in the match.
    EXPECT_EQ(group({{"arg0", S("a")}, {"arg1", S("(a)|(b)")}, {"group", I(2)}}), "<default>");
    EXPECT_EQ(group({{"arg0", ZAVTypes::defaultValue()}, {"arg1", S("a")}}), "<default>");
}

}  // namespace
