#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "platform/storage/Paths.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using plat::Paths;

namespace {

// `work`'s answer, given in a child process.
bool inChild(const std::function<bool()>& work) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(work() ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

std::string inUseBy(const fs::path& home, pid_t pid) {
    return "the home " + home.string() + " is in use by process " + std::to_string(pid);
}

}  // namespace

TEST(HomeHold, TheFolderItselfIsHeldWithoutAWriteWhateverFilesItHolds) {
    testsupport::TempHome home;
    // A lock file of an earlier version, a hard link to another file, is never written into nor needed.
    testsupport::writeFile(home.path() / "precious", "precious");
    fs::create_hard_link(home.path() / "precious", home.path() / ".lock");
    ASSERT_TRUE(Paths::holdHome(home.path()));
    fs::remove(home.path() / ".lock");
    EXPECT_TRUE(inChild([&] {
        std::string inUse;
        Paths::setHome(home.path() / "tmp");  // the child's copy of the hold is not its own
        return !Paths::holdHome(home.path(), &inUse) && inUse == inUseBy(home.path(), ::getppid());
    }));
    EXPECT_EQ(testsupport::readFile(home.path() / "precious"), "precious");

    // A home whose own folder the player cannot write: made by someone else (root, where this runs as
    // root), its layout the player's.
    testsupport::TempDir other;
    Paths::setHome(other.path());
    constexpr uid_t kPlayer = 65534;
    const bool root = ::geteuid() == 0;
    for (const char* part : {"Documents", "Library", "Library/Caches", "Library/Preferences", "tmp"})
        if (root) ::chown((home.path() / part).c_str(), kPlayer, kPlayer);
    ::chmod(home.path().c_str(), root ? 0755 : 0555);
    EXPECT_TRUE(inChild([&] {
        if (root && (::setgid(kPlayer) != 0 || ::setuid(kPlayer) != 0)) return false;
        return ::access(home.path().c_str(), W_OK) != 0 && Paths::holdHome(home.path());
    }));
    ::chmod(home.path().c_str(), 0700);
}

TEST(HomeHold, AHolderOnItsWayOutIsWaitedForAndALiveOneRefusedAtOnce) {
    testsupport::TempHome restore;
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        // Memory that the system takes a moment to give back once the holder is killed, as a game's: its
        // descriptors, and so its hold, go only after it.
        constexpr size_t kSize = 512u << 20;
        void* memory = ::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (!Paths::holdHome(home) || memory == MAP_FAILED) ::_exit(1);
        std::memset(memory, 1, kSize);
        if (::write(ready[1], "x", 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    std::string inUse;
    EXPECT_FALSE(Paths::holdHome(home, &inUse));
    EXPECT_EQ(inUse, inUseBy(home, holder));
    ::kill(holder, SIGKILL);
    EXPECT_TRUE(Paths::holdHome(home, &inUse)) << inUse;
    ::waitpid(holder, nullptr, 0);
}
