// File addresses of local paths: spelled as the web engine spells them, and read back to the same path.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/net/FileURL.h"

TEST(FileURL, AnyPathGoesToItsAddressAndBackHoweverTheEscapesAreSpelled) {
    const std::filesystem::path odd = "/tmp/sp ace/ゲーム/100%/#1?/a+b~c_d-e.f/";
    const std::string url = plat::fileURLFromPath(odd);
    EXPECT_EQ(url, "file:///tmp/sp%20ace/%E3%82%B2%E3%83%BC%E3%83%A0/100%25/%231%3F/a%2Bb~c_d-e.f/");
    EXPECT_EQ(plat::pathFromFileURL(url), odd);
    EXPECT_EQ(plat::pathFromFileURL("FILE://localhost/tmp/sp%20ace/%e3%82%b2%e3%83%bc%e3%83%a0?q#f"),
              std::filesystem::path("/tmp/sp ace/ゲーム"));
    EXPECT_EQ(plat::fileURLFromPath("rel"), plat::fileURLFromPath(std::filesystem::current_path() / "rel"));
    EXPECT_EQ(plat::fileURLFromPath(""), "");
    EXPECT_EQ(plat::pathFromFileURL("file:///a/./b/%2e%2E/c"), std::filesystem::path("/a/c"));
    for (const char* refused : {"http://h/x", "file://other/x", "file://", "file:/x", "file:///a%2",
                                "file:///a%zz", "file:///a%00b", "file:///a%2Fb", "file:///a\\b"})
        EXPECT_FALSE(plat::pathFromFileURL(refused)) << refused;
}

TEST(FileURL, AnAddressIsMadeFromTheCleanedPath) {
    EXPECT_EQ(plat::fileURLFromPath("/a/./b/../c//d/."), "file:///a/c/d/");
    EXPECT_EQ(plat::fileURLFromPath("./x/../y"),
              plat::fileURLFromPath(std::filesystem::current_path() / "y"));
}
