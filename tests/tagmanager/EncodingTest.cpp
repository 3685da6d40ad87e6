#include <gtest/gtest.h>

#include "platform/base/Error.h"
#include "tagmanager/base/ZAVStringEncoding.h"

namespace {

plat::Bytes bytes(const std::string& s) {
    return plat::Bytes(s.begin(), s.end());
}

struct Vector {
    const char* in;
    const char* out;
};

void checkVectors(const std::shared_ptr<ZAVStringEncoding>& codec, const std::vector<Vector>& vectors) {
    for (const auto& v : vectors) {
        codec->setDoPad(true);
        EXPECT_EQ(codec->encode(bytes(v.in)), v.out) << v.in;
        EXPECT_EQ(codec->decode(v.out), bytes(v.in)) << v.out;
        std::string unpadded = v.out;
        while (!unpadded.empty() && unpadded.back() == '=') unpadded.pop_back();
        codec->setDoPad(false);
        EXPECT_EQ(codec->encode(bytes(v.in)), unpadded) << v.in;
        EXPECT_EQ(codec->decode(unpadded), bytes(v.in)) << unpadded;
    }
}

TEST(StringEncodingTest, Rfc4648Vectors) {
    checkVectors(ZAVStringEncoding::rfc4648Base64StringEncoding(), {{"", ""},
                                                                    {"f", "Zg=="},
                                                                    {"fo", "Zm8="},
                                                                    {"foo", "Zm9v"},
                                                                    {"foob", "Zm9vYg=="},
                                                                    {"fooba", "Zm9vYmE="},
                                                                    {"foobar", "Zm9vYmFy"}});
    checkVectors(ZAVStringEncoding::rfc4648Base32StringEncoding(), {{"", ""},
                                                                    {"f", "MY======"},
                                                                    {"fo", "MZXQ===="},
                                                                    {"foo", "MZXW6==="},
                                                                    {"foob", "MZXW6YQ="},
                                                                    {"fooba", "MZXW6YTB"},
                                                                    {"foobar", "MZXW6YTBOI======"}});
    checkVectors(ZAVStringEncoding::rfc4648Base32HexStringEncoding(), {{"", ""},
                                                                       {"f", "CO======"},
                                                                       {"fo", "CPNG===="},
                                                                       {"foo", "CPNMU==="},
                                                                       {"foob", "CPNMUOG="},
                                                                       {"fooba", "CPNMUOJ1"},
                                                                       {"foobar", "CPNMUOJ1E8======"}});
    checkVectors(ZAVStringEncoding::hexStringEncoding(),
                 {{"", ""}, {"f", "66"}, {"fo", "666F"}, {"foo", "666F6F"}, {"foobar", "666F6F626172"}});
    EXPECT_EQ(ZAVStringEncoding::hexStringEncoding()->decode("666f6F"), bytes("foo"));
}

TEST(StringEncodingTest, Base64FrontAndWebSafe) {
    plat::Bytes data = {0xFB, 0xFF, 0xBF};
    EXPECT_EQ(ZAVBase64Encoder::encode(data, false), "+/+/");
    EXPECT_EQ(ZAVBase64Encoder::encodeWebSafe(data, false), "-_-_");
    EXPECT_EQ(ZAVBase64Encoder::encode(bytes("fo"), true), "Zm8");
    EXPECT_EQ(ZAVBase64Encoder::encode(bytes("fo"), false), "Zm8=");
    for (bool noPadding : {false, true}) {
        EXPECT_EQ(ZAVBase64Encoder::decode("Zm8=", noPadding), bytes("fo"));
        EXPECT_EQ(ZAVBase64Encoder::decode("Zm8", noPadding), bytes("fo"));
        EXPECT_EQ(ZAVBase64Encoder::decodeWebSafe("-_-_", noPadding), data);
    }
    EXPECT_FALSE(ZAVBase64Encoder::decode("-_-_", false));
}

TEST(StringEncodingTest, BadInputFails) {
    auto codec = ZAVStringEncoding::rfc4648Base64StringEncoding();
    EXPECT_FALSE(codec->decode("Zg==Zg"));      // symbol after padding
    EXPECT_FALSE(codec->decode("Zm9v Yg=="));   // blank
    EXPECT_FALSE(codec->decode("Zm9v\nYg=="));  // line break
    EXPECT_FALSE(codec->decode("Zh"));          // non-zero trailing bits
    EXPECT_FALSE(codec->decode("Zm9v\xC3\xA9"));
    EXPECT_FALSE(codec->stringByDecoding("/w=="));  // 0xFF is not UTF-8
    EXPECT_EQ(codec->stringByDecoding("Zm9v"), "foo");
    EXPECT_EQ(codec->decode(""), plat::Bytes{});
}

TEST(StringEncodingTest, CrockfordSynonyms) {
    auto codec = ZAVStringEncoding::crockfordBase32StringEncoding();
    EXPECT_EQ(codec->decode("oO"), codec->decode("00"));
    EXPECT_EQ(codec->decode("1iIlL1"), codec->decode("111111"));
    EXPECT_EQ(codec->decode("abcdefgh"), codec->decode("ABCDEFGH"));
    EXPECT_FALSE(codec->decode("U0"));  // U is not in the alphabet
}

TEST(StringEncodingTest, UnusableAlphabetsGiveNoCodec) {
    EXPECT_FALSE(ZAVStringEncoding::stringEncodingWithString("abc"));
    EXPECT_FALSE(ZAVStringEncoding::stringEncodingWithString("aa"));
    EXPECT_FALSE(ZAVStringEncoding::stringEncodingWithString("0123456789ABCDE0"));
    EXPECT_FALSE(ZAVStringEncoding::stringEncodingWithString(std::string(256, 'x')));
    EXPECT_FALSE(ZAVStringEncoding::stringEncodingWithString(""));
    auto binary = ZAVStringEncoding::binaryStringEncoding();
    EXPECT_EQ(binary->encode({0xA5}), "10100101");
    EXPECT_EQ(binary->description(), "<Base2 StringEncoder: 01>");
}

TEST(StringEncodingTest, IgnoredCharactersAreSkipped) {
    auto codec = ZAVStringEncoding::rfc4648Base64StringEncoding();
    codec->ignoreCharacters(" \n");
    EXPECT_EQ(codec->decode("Zm9v\nYg =="), bytes("foob"));
}

TEST(Base16Test, EncodeDecodeAndNamedReasons) {
    EXPECT_EQ(ZAVBase16::encode({0x0A, 0xFF}), "0AFF");
    EXPECT_EQ(ZAVBase16::decode("0aff"), (plat::Bytes{0x0A, 0xFF}));
    EXPECT_EQ(ZAVBase16::decode("0AFF"), (plat::Bytes{0x0A, 0xFF}));
    auto reason = [](const std::string& text) -> std::string {
        try {
            ZAVBase16::decode(text);
        } catch (const plat::Exception& e) {
            EXPECT_EQ(e.name(), "IllegalArgumentException");
            return e.reason();
        }
        return "";
    };
    EXPECT_EQ(reason("abc"), "Purported base16 string has odd number of characters");
    EXPECT_EQ(reason("0G"), "Purported base16 string has illegal char");
}

}  // namespace
