#include <gtest/gtest.h>

#include "analytics/base/RUVExceptionParser.h"
#include "analytics/base/RUVStringUtil.h"

TEST(StringUtil, PercentEncode) {
    EXPECT_EQ(RUVStringUtil::percentEncode("a b+c&d"), "a+b%2Bc%26d");
    EXPECT_EQ(RUVStringUtil::percentEncode("%"), "%25");
    EXPECT_EQ(RUVStringUtil::percentEncode("\xC3\xBC"), "%C3%BC");
    EXPECT_EQ(RUVStringUtil::percentEncode("'"), "%27");
    EXPECT_EQ(RUVStringUtil::percentEncode("-._~AZaz09"), "-._~AZaz09");
    EXPECT_EQ(RUVStringUtil::percentEncode("[iOS]ぽてまる　レベル3"),
              "%5BiOS%5D%E3%81%BD%E3%81%A6%E3%81%BE%E3%82%8B%E3%80%80%E3%83%AC%E3%83%99%E3%83%AB3");
}

TEST(StringUtil, PercentDecodeRoundTripsAndRefusesBadEscapes) {
    for (const char* text : {"a b+c&d", "%", "100%25 = ", "[iOS]ぽてまる　レベル3", ""}) {
        auto back = RUVStringUtil::percentDecode(RUVStringUtil::percentEncode(text));
        ASSERT_TRUE(back) << text;
        EXPECT_EQ(*back, text);
    }
    EXPECT_EQ(RUVStringUtil::percentDecode("a+b%2b"), "a b+");
    EXPECT_EQ(RUVStringUtil::percentDecode("%"), std::nullopt);
    EXPECT_EQ(RUVStringUtil::percentDecode("%4"), std::nullopt);
    EXPECT_EQ(RUVStringUtil::percentDecode("%zz"), std::nullopt);
    EXPECT_EQ(RUVStringUtil::percentDecode("%FF"), std::nullopt);  // not UTF-8
    EXPECT_EQ(RUVStringUtil::percentDecode("%E3%81"), std::nullopt);
}

TEST(StringUtil, QueriesAndUrls) {
    RUVStringUtil::Parameters expected{{"a", "2"}, {"b", ""}};
    EXPECT_EQ(RUVStringUtil::decodeParametersFromQuery("a=1&b&a=2"), expected);
    EXPECT_EQ(RUVStringUtil::decodeParametersFromQuery(""), (RUVStringUtil::Parameters{{"", ""}}));
    EXPECT_EQ(RUVStringUtil::decodeParametersFromQuery("k=a=b&x=%zz&%zz=1&y=%E3%81%BD"),
              (RUVStringUtil::Parameters{{"k", "a=b"}, {"y", "ぽ"}}));

    EXPECT_EQ(RUVStringUtil::decodeParametersFromUrl("http://h.example/p?q=1#frag"),
              (RUVStringUtil::Parameters{{"q", "1"}}));
    EXPECT_EQ(RUVStringUtil::decodeParametersFromUrl("http://h.example/p?"), RUVStringUtil::Parameters{});
    EXPECT_EQ(RUVStringUtil::decodeParametersFromUrl("http://h.example/p"), RUVStringUtil::Parameters{});
    EXPECT_EQ(RUVStringUtil::decodeParametersFromUrl("http://h.example/a b?q=1"), std::nullopt);
    EXPECT_EQ(RUVStringUtil::decodeParametersFromUrl("http://h/%zz"), std::nullopt);

    EXPECT_EQ(RUVStringUtil::urlParams("x?a=1?b"), "a=1?b");
    EXPECT_EQ(RUVStringUtil::urlParams("x"), "");
    EXPECT_EQ(RUVStringUtil::stripLeadingAmpersand("&&t"), "&t");
    EXPECT_EQ(RUVStringUtil::stripLeadingAmpersand("t"), "t");
}

TEST(StringUtil, TrimIncludesUnicodeSpace) {
    EXPECT_EQ(RUVStringUtil::trim("  \t UA-1 \r\n"), "UA-1");
    EXPECT_EQ(RUVStringUtil::trim("\u3000\u00A0名 前\u3000"), "名 前");
    EXPECT_EQ(RUVStringUtil::trim(" \u2028 "), "");
    EXPECT_EQ(RUVStringUtil::trim("x"), "x");
}

TEST(StringUtil, Numbers) {
    EXPECT_EQ(RUVStringUtil::intString(-9223372036854775807LL - 1), "-9223372036854775808");
    EXPECT_EQ(RUVStringUtil::uintString(18446744073709551615ULL), "18446744073709551615");
    EXPECT_EQ(RUVStringUtil::decimalString(1.5, 3), "1.5");
    EXPECT_EQ(RUVStringUtil::decimalString(2.0, 3), "2");
    EXPECT_EQ(RUVStringUtil::decimalString(100, 0), "100");
    EXPECT_EQ(RUVStringUtil::decimalString(0.125, 2), "0.12");
    EXPECT_EQ(RUVStringUtil::currencyMicrosString(-500000), "-.5");
    EXPECT_EQ(RUVStringUtil::currencyMicrosString(1000001), "1.000001");
    EXPECT_EQ(RUVStringUtil::currencyMicrosString(1230000), "1.23");
    EXPECT_EQ(RUVStringUtil::currencyMicrosString(-1500000), "-1.5");
    EXPECT_EQ(RUVStringUtil::currencyMicrosString(3000000), "3");
    EXPECT_EQ(RUVStringUtil::currencyMicrosString(0), "0");
    EXPECT_EQ(RUVStringUtil::currencyMicrosString(-9223372036854775807LL - 1), "-9223372036854.775808");
}

TEST(ExceptionParser, SymbolsFromStackLines) {
    EXPECT_EQ(RUVExceptionParser::symbolFromStackFrame("3   App   0x1000 -[Foo bar:] + 52"), "-[Foo bar:]");
    EXPECT_EQ(RUVExceptionParser::symbolFromStackFrame("4 CoreFoundation 0x2000 __exceptionPreprocess + 124"),
              "__exceptionPreprocess");
    EXPECT_EQ(
        RUVExceptionParser::symbolFromStackFrame("5 CoreFoundation 0x3000 +[NSException raise:format:] + 1"),
        std::nullopt);
    EXPECT_EQ(RUVExceptionParser::symbolFromStackFrame("7 App 0x5000 ns::f(int, char const*) + 12"),
              "ns::f(int, char const*)");
    EXPECT_EQ(RUVExceptionParser::symbolFromStackFrame("6 App 0x4000 onlyFour"), "onlyFour");
    EXPECT_EQ(RUVExceptionParser::symbolFromStackFrame("6 App 0x4000"), std::nullopt);
    EXPECT_EQ(RUVExceptionParser::symbolFromStackFrame(""), std::nullopt);
}

TEST(ExceptionParser, Descriptions) {
    plat::Exception shortTrace("Short", "r");
    shortTrace.setCallStackSymbols({"0 App 0x1 a + 1", "1 App 0x2 b + 2"});
    EXPECT_EQ(RUVExceptionParser::exceptionDescription(shortTrace, 150), "Short");

    plat::Exception ex("N", "reason");
    std::vector<std::string> lines;
    for (int i = 0; i < 10; ++i) {
        lines.push_back(std::to_string(i) + " App 0x" + std::to_string(1000 + i) + " function_number_" +
                        std::to_string(i) + " + " + std::to_string(i));
    }
    ex.setCallStackSymbols(lines);
    std::string full = RUVExceptionParser::exceptionDescription(ex, 0);
    std::string expected = "N\nTrace:";
    for (int i = 2; i < 10; ++i) expected += "\nfunction_number_" + std::to_string(i);
    EXPECT_EQ(full, expected);
    std::string cut = RUVExceptionParser::exceptionDescription(ex, 150);
    EXPECT_EQ(cut, expected.substr(0, 150));

    // A frame without a symbol is skipped, and the cut never splits a character.
    plat::Exception wide("例外", "r");
    wide.setCallStackSymbols({"0 a 0x1 x + 1", "1 a 0x2 y + 2", "2 a 0x3", "3 a 0x4 😀😀 + 1"});
    EXPECT_EQ(RUVExceptionParser::exceptionDescription(wide, 0), "例外\nTrace:\n😀😀");
    EXPECT_EQ(RUVExceptionParser::exceptionDescription(wide, 12), "例外\nTrace:\n😀");
    EXPECT_EQ(RUVExceptionParser::exceptionDescription(wide, 11), "例外\nTrace:\n");
}

[[gnu::noinline]] static plat::Exception raiseHere() {
    plat::Exception ex("Captured", "r");
    ex.captureCallStack();
    return ex;
}

TEST(ExceptionParser, ReadsACapturedStack) {
    plat::Exception plain("Plain", "r");
    EXPECT_TRUE(plain.callStackSymbols().empty());
    plat::Exception ex = raiseHere();
    ASSERT_GE(ex.callStackSymbols().size(), 3u);
    for (const auto& line : ex.callStackSymbols())
        EXPECT_TRUE(RUVExceptionParser::symbolFromStackFrame(line)) << line;
    std::string description = RUVExceptionParser::exceptionDescription(ex, 0);
    EXPECT_EQ(description.rfind("Captured\nTrace:\n", 0), 0u) << description;
}
