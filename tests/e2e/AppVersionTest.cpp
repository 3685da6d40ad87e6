// The game tells the servers the release it is: the project's version, as --version prints it.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

// Made by the build: the project's version (POTEMARU_VERSION).
#include "PotemaruVersion.h"
#include "tests/e2e/E2ESupport.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestSupport.h"

TEST(PotemaruVersion, TheAdSettingsRequestCarriesTheProjectsVersion) {
    testsupport::TempDir dir;
    testsupport::LoopbackServer server({.https = true});
    const std::string endpoints = (dir.path() / "endpoints.json").string(),
                      port = std::to_string(server.port());
    testsupport::writeFile(endpoints,
                           "{\"ads\": {\"ca_file\": \"" + server.caFile() + "\", \"settings\": " +
                               "{\"scheme\": \"https\", \"host\": \"127.0.0.1\", \"port\": " + port + "}}}");
    e2e::Potemaru run(dir.path());
    ASSERT_TRUE(run.start({"--headless", "--home", (dir.path() / "home").string(), "--audio", "null",
                           "--endpoints", endpoints, "--frames", "100000"}));
    const bool asked = server.waitForRequests(1, 120);
    run.signal(SIGTERM);
    run.wait();
    ASSERT_TRUE(asked) << run.err();
    for (const auto& request : server.requests())
        EXPECT_TRUE(request.path.ends_with(std::string("/appver/") + POTEMARU_VERSION)) << request.path;
}
