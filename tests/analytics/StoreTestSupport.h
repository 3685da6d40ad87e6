#pragma once
// Fixtures of the hit store tests: a temporary app home, a recording logger, raw SQLite access to the
// files the store writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <set>

#include "platform/storage/Paths.h"
#include "platform/storage/SqliteFile.h"
#include "tests/analytics/AnalyticsTestSupport.h"
#include "tests/support/TestSupport.h"

namespace analyticstest {

// A child started from this same test program, killed once it has reported enough.
struct KilledChild {
    std::set<std::string> reported;  // the distinct lines it wrote
    int status = 0;                  // as waitpid gives it
};

// Starts this test program again with only `envName` = "<descriptor>,<arguments>" in its environment (the
// child acts on it before gtest runs), reads the lines it writes to that descriptor until `wanted` distinct
// ones arrived or `maxQuietPolls` polls of 100 ms found nothing, then kills it with SIGKILL.
inline KilledChild runChildUntilKilled(const char* envName, const std::string& arguments, size_t wanted,
                                       int maxQuietPolls) {
    KilledChild child;
    int fds[2];
    if (pipe(fds) != 0) return child;
    std::string env = std::string(envName) + "=" + std::to_string(fds[1]) + "," + arguments;
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    char* argv[] = {self.data(), nullptr};
    char* envp[] = {env.data(), nullptr};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        execve(self.c_str(), argv, envp);
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return child;
    }
    std::string pending;
    for (int quiet = 0; child.reported.size() < wanted && quiet < maxQuietPolls;) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            ++quiet;
            continue;
        }
        char buf[4096];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        pending.append(buf, static_cast<size_t>(n));
        for (size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1))
            child.reported.insert(pending.substr(0, nl));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &child.status, 0);
    close(fds[0]);
    return child;
}

class StoreTest : public ::testing::Test {
  protected:
    // Everything the worker still holds for this test (connections closing) is done before the home goes.
    void TearDown() override { releaseWorkerConnections(); }

    std::filesystem::path library() const { return plat::Paths::library(); }
    std::filesystem::path file(const std::string& name) const { return library() / name; }
    // Files in Library/ whose name starts with `prefix`.
    std::vector<std::filesystem::path> filesStartingWith(const std::string& prefix) const {
        std::vector<std::filesystem::path> out;
        for (const auto& entry : std::filesystem::directory_iterator(library())) {
            if (entry.path().filename().string().rfind(prefix, 0) == 0) out.push_back(entry.path());
        }
        return out;
    }

    testsupport::TempHome home;
    LoggerScope logger;
};

// A test's own connection to a store file.
class RawDb {
  public:
    explicit RawDb(const std::filesystem::path& path) {
        file_.open(path, {.busyTimeoutMillis = 0, .quickCheck = false});
    }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;
    int exec(const std::string& sql) { return file_.execute(sql); }
    // The first column of every row, as text.
    std::vector<std::string> column(const std::string& sql, int index = 0) {
        std::vector<std::string> out;
        auto s = file_.prepare(sql);
        if (!s.ok()) return {"<" + file_.errorMessage() + ">"};
        while (s.step() == plat::SqliteFile::kRow)
            out.push_back(s.columnIsNull(index) ? "NULL" : s.columnText(index));
        return out;
    }
    std::string scalar(const std::string& sql) {
        auto c = column(sql);
        return c.empty() ? "" : c[0];
    }
    plat::SqliteFile& file() { return file_; }

  private:
    plat::SqliteFile file_;
};

}  // namespace analyticstest
