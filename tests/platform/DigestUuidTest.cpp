#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/base/Digest.h"
#include "platform/base/Uuid.h"

using plat::Digest;
using plat::Uuid;

TEST(Digest, KnownVectors) {
    EXPECT_EQ(Digest::md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Digest::md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Digest::sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Digest::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Digest::sha1Hex("The quick brown fox jumps over the lazy dog"),
              "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12");
    // The analytics identifier hash: MD5 of "<identifier>:<client id>".
    EXPECT_EQ(Digest::md5Hex("ぽて:まる").size(), 32u);
    plat::Bytes raw = Digest::digest(Digest::Algorithm::MD5, "abc");
    ASSERT_EQ(raw.size(), 16u);
    EXPECT_EQ(raw[0], 0x90);
    EXPECT_EQ(Digest::hex(raw), Digest::md5Hex("abc"));
    EXPECT_EQ(Digest::digest(Digest::Algorithm::SHA256, nullptr, 0).size(), 32u);
    std::string withNul("a\0b", 3);
    EXPECT_NE(Digest::md5Hex(withNul), Digest::md5Hex("a"));
}

TEST(Uuid, RandomVersionFourInBothCases) {
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        Uuid u = Uuid::random();
        std::string s = u.string();
        ASSERT_EQ(s.size(), 36u);
        EXPECT_EQ(s[14], '4');
        EXPECT_TRUE(s[19] == '8' || s[19] == '9' || s[19] == 'A' || s[19] == 'B') << s;
        EXPECT_EQ(s.find_first_of("abcdef"), std::string::npos);
        std::string lower = u.lowercaseString();
        EXPECT_EQ(lower.find_first_of("ABCDEF"), std::string::npos);
        EXPECT_EQ(Uuid::parse(s), u);
        EXPECT_EQ(Uuid::parse(lower), u);
        seen.insert(s);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

TEST(Uuid, ParsesOnlyTheCanonicalForm) {
    auto u = Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(u);
    EXPECT_EQ(u->string(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(Uuid::parse("00000000-0000-0000-0000-000000000000")->string(),
              "00000000-0000-0000-0000-000000000000");
    for (const char* bad : {"", "e621e1f8c36c495a93fc0c247a3e6e5f", "e621e1f8-c36c-495a-93fc-0c247a3e6e5",
                            "e621e1f8-c36c-495a-93fc-0c247a3e6e5g", "e621e1f8+c36c-495a-93fc-0c247a3e6e5f",
                            "{621e1f8-c36c-495a-93fc-0c247a3e6e5f"}) {
        EXPECT_FALSE(Uuid::parse(bad)) << bad;
    }
}
