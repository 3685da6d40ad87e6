// The main of every gtest program: after each test the process-wide state goes back to its start-up value.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "tests/support/ProcessState.h"

namespace {

class ResetAfterEachTest : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override { testsupport::resetProcessState(); }
};

// The user's home and XDG folders are never the tests': the program, and every program it starts, gets
// them in a temporary folder of its own, removed when the program ends. A program started by a test
// program keeps the folder it was given. This runs before any other initialisation of the program, some
// of which reads them (the start-up home, for one). Plain C: no C++ object is made yet.
constexpr const char* kOwnHome = "POTEMARU_TEST_HOME";
char ownHome[4096];
bool madeHere = false;

__attribute__((constructor(101))) void useOwnHome() {
    if (const char* given = std::getenv(kOwnHome); given && *given) return;
    const char* tmp = std::getenv("TMPDIR");
    std::snprintf(ownHome, sizeof ownHome, "%s/potemaru-test-home-XXXXXX", tmp && *tmp ? tmp : "/tmp");
    if (!mkdtemp(ownHome)) {
        std::perror("cannot make the test's own home folder");
        std::_Exit(2);
    }
    madeHere = true;
    char path[sizeof ownHome + 32];
    const struct {
        const char* variable;
        const char* folder;
    } folders[] = {{"HOME", "home"},
                   {"XDG_DATA_HOME", "data"},
                   {"XDG_CONFIG_HOME", "config"},
                   {"XDG_CACHE_HOME", "cache"},
                   {"XDG_STATE_HOME", "state"},
                   {"XDG_RUNTIME_DIR", "runtime"}};
    for (const auto& f : folders) {
        std::snprintf(path, sizeof path, "%s/%s", ownHome, f.folder);
        mkdir(path, 0700);
        setenv(f.variable, path, 1);
    }
    setenv(kOwnHome, ownHome, 1);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ResetAfterEachTest);
    const int status = RUN_ALL_TESTS();
    if (madeHere) {
        std::error_code ec;
        std::filesystem::remove_all(ownHome, ec);
    }
    return status;
}
