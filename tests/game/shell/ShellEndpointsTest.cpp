#include <gtest/gtest.h>

#include "game/shell/ShellOptions.h"
#include "platform/net/Endpoints.h"
#include "tests/support/TestSupport.h"

TEST(ShellEndpoints, ReadsTheEndpointsFileAndRefusesABadOne) {
    testsupport::TempDir dir;
    auto good = dir.path() / "good.json";
    auto bad = dir.path() / "bad.json";
    testsupport::writeFile(good, R"({"ads": {"scheme": "http", "host": "127.0.0.1", "port": 4321}})");
    testsupport::writeFile(bad, R"({"ads": {"scheme": "http", "host": "127.0.0.1", "port": 0}})");
    std::string error;
    auto o = ShellOptions::parse({"--endpoints", good.string()}, &error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->endpointsFile, good.string());
    EXPECT_EQ(plat::Endpoints::shared().find("ads")->port, 4321);

    EXPECT_FALSE(ShellOptions::parse({"--endpoints", bad.string()}, &error));
    EXPECT_NE(error.find("\"port\" must be from 1 to 65535"), std::string::npos) << error;
    EXPECT_NE(error.find(bad.string()), std::string::npos) << error;
    EXPECT_FALSE(ShellOptions::parse({"--endpoints", (dir.path() / "missing.json").string()}, &error));
    EXPECT_FALSE(ShellOptions::parse({"--endpoints"}, &error));
    EXPECT_EQ(error, "--endpoints needs a file");
    plat::Endpoints::shared().reset();
}
