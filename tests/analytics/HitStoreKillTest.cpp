// A process saving hits is killed mid-stream: every hit whose save it reported must still be in the file,
// and the file must pass SQLite's quick check. The child is this same test program, started with
// POTEMARU_ANALYTICS_SAVE_LOOP naming its home and the descriptor it reports on; it never reaches gtest.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <set>
#include <string>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "analytics/RUVDataStore.h"
#include "tests/analytics/StoreTestSupport.h"

using namespace analyticstest;

namespace {

constexpr const char* kChildEnv = "POTEMARU_ANALYTICS_SAVE_LOOP";

[[noreturn]] void saveLoop(const std::string& childArgument) {
    size_t comma = childArgument.find(',');
    int fd = std::atoi(childArgument.substr(0, comma).c_str());
    plat::Paths::setHome(childArgument.substr(comma + 1));
    auto store = RUVDataStore::dataStore();
    for (int64_t i = 0;; ++i) {
        plat::Value::Dictionary parameters{{"&n", plat::Value(std::to_string(i))}};
        store->addHit(
            plat::Value(plat::Value::Dictionary{{"parameters", plat::Value(std::move(parameters))}}));
        if (!store->save()) continue;
        std::string line = std::to_string(i) + "\n";
        if (write(fd, line.data(), line.size()) < 0) std::_Exit(1);
    }
}

// Runs before gtest in the child only.
const bool kIsChild = [] {
    if (const char* childArgument = std::getenv(kChildEnv)) saveLoop(childArgument);
    return false;
}();

class HitStoreKill : public StoreTest {};

}  // namespace

TEST_F(HitStoreKill, SavedHitsSurviveSigkill) {
    ASSERT_FALSE(kIsChild);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string env = std::string(kChildEnv) + "=" + std::to_string(fds[1]) + "," + home.path().string();
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    char* argv[] = {self.data(), nullptr};
    char* envp[] = {env.data(), nullptr};
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        execve(self.c_str(), argv, envp);
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    close(fds[1]);

    // Reads the reported hit numbers until enough saves were reported (or 60 s pass), then kills.
    std::set<std::string> reported;
    std::string pending;
    for (int waited = 0; reported.size() < 200 && waited < 600;) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            ++waited;
            continue;
        }
        char buf[4096];
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        pending.append(buf, static_cast<size_t>(n));
        for (size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1)) {
            reported.insert(pending.substr(0, nl));
        }
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(fds[0]);
    ASSERT_GE(reported.size(), 200u);
    EXPECT_TRUE(WIFSIGNALED(status));

    RawDb db(file(RUVDataStore::kStoreFileName));
    EXPECT_EQ(db.scalar("PRAGMA quick_check"), "ok");
    std::set<std::string> stored;
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db.get(), "SELECT parameters FROM RUVHit", -1, &s, nullptr), SQLITE_OK);
    while (sqlite3_step(s) == SQLITE_ROW) {
        auto p = RUVStoreContext::decodeParameters(static_cast<const uint8_t*>(sqlite3_column_blob(s, 0)),
                                                   static_cast<size_t>(sqlite3_column_bytes(s, 0)));
        ASSERT_TRUE(p);
        stored.insert(p->find("&n")->toString());
    }
    sqlite3_finalize(s);
    for (const auto& n : reported) EXPECT_TRUE(stored.count(n)) << "hit " << n << " was reported saved";
}
