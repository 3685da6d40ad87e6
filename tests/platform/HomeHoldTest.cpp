#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/storage/AtomicFile.h"
#include "platform/storage/HolderWatch.h"
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
        if (root) {
            ASSERT_EQ(::chown((home.path() / part).c_str(), kPlayer, kPlayer), 0) << part;
        }
    ::chmod(home.path().c_str(), root ? 0755 : 0555);
    EXPECT_TRUE(inChild([&] {
        if (root && (::setgid(kPlayer) != 0 || ::setuid(kPlayer) != 0)) return false;
        return ::access(home.path().c_str(), W_OK) != 0 && Paths::holdHome(home.path());
    }));
    ::chmod(home.path().c_str(), 0700);
}

// A child that holds `home` and answers on `ready` once it does; told to quit on `quit`, it says it is ending
// and takes 4 s to end. `memory` bytes are touched so that a kill takes the system a moment to finish.
pid_t holdingChild(const fs::path& home, const int (&ready)[2], const int (&quit)[2], size_t memory) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    void* touched = ::mmap(nullptr, memory, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (!Paths::holdHome(home) || touched == MAP_FAILED) ::_exit(1);
    std::memset(touched, 1, memory);
    char byte = 0;
    if (::write(ready[1], "x", 1) != 1 || ::read(quit[0], &byte, 1) != 1) ::_exit(1);
    Paths::markEnding();
    ::usleep(4'000'000);
    ::_exit(0);
}

TEST(HomeHold, AHolderIsWaitedForWhileItEndsOrLetsGoAndALiveOneIsRefused) {
    testsupport::TempHome restore;
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    int ready[2], quit[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(quit), 0);
    char byte = 0;
    // Killed: its descriptors, and so its hold, go only once the system has given its memory back.
    const pid_t killed = holdingChild(home, ready, quit, 512u << 20);
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    std::string inUse;
    EXPECT_FALSE(Paths::holdHome(home, &inUse));
    EXPECT_EQ(inUse, inUseBy(home, killed));
    ::kill(killed, SIGKILL);
    EXPECT_TRUE(Paths::holdHome(home, &inUse)) << inUse;
    ::waitpid(killed, nullptr, 0);
    Paths::setHome(dir.path());

    // Asked to quit, it says it is ending and takes longer to save than a live holder is waited for.
    const pid_t quitting = holdingChild(home, ready, quit, 4096);
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(::write(quit[1], "q", 1), 1);
    EXPECT_TRUE(Paths::holdHome(home, &inUse)) << inUse;
    ::kill(quitting, SIGKILL);
    ::waitpid(quitting, nullptr, 0);
    Paths::setHome(dir.path());

    // Another program's brief lock, let go while the lock was tried or its holder looked up.
    const pid_t brief = ::fork();
    if (brief == 0) {
        const int fd = ::open(home.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], "x", 1) != 1) ::_exit(1);
        ::usleep(500'000);
        ::_exit(0);
    }
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_TRUE(Paths::holdHome(home, &inUse)) << inUse;
    ::waitpid(brief, nullptr, 0);
    for (int fd : {ready[0], ready[1], quit[0], quit[1]}) ::close(fd);
}

// A look at the lock table that misses the holder, or a mark gone a moment before its lock, takes back
// nothing an earlier look showed; only another holder named does.
TEST(HomeHold, ALookThatMissesTheHolderChangesNothingAlreadyKnown) {
    const std::set<long> killed{7};
    auto ending = [&](long pid) { return killed.count(pid) > 0; };
    plat::HolderWatch watch;
    watch.look(0, false, ending);
    EXPECT_EQ(watch.bound(), std::chrono::seconds(3));
    watch.look(7, false, ending);
    watch.look(0, false, ending);
    EXPECT_EQ(watch.holder(), 7);
    EXPECT_EQ(watch.bound(), std::chrono::seconds(30));

    plat::HolderWatch marked;
    marked.look(5, true, ending);
    marked.look(0, false, ending);
    marked.look(5, false, ending);
    EXPECT_EQ(marked.bound(), std::chrono::seconds(30));
    // The home changed hands: a live holder gets the few seconds.
    marked.look(6, false, ending);
    EXPECT_EQ(marked.holder(), 6);
    EXPECT_EQ(marked.bound(), std::chrono::seconds(3));
}

// The test program that holds a home (child/HomeHolder.cpp), started with `arguments` after the home; its
// input stays open until close(). Holding once it has said so.
class HomeHolder {
  public:
    HomeHolder(const fs::path& home, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(),
                         {testsupport::programPath("platform_home_holder"), home.string()});
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            std::vector<char*> argv;
            for (std::string& a : arguments) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        char said[5] = {};
        held_ = pid_ > 0 && ::read(out[0], said, 4) == 4 && std::string(said) == "held";
        ::close(out[0]);
    }
    ~HomeHolder() {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
        close();
    }
    bool held() const { return held_; }
    // Ends its input; its exit status.
    int close() {
        if (input_ >= 0) ::close(input_);
        input_ = -1;
        int status = -1;
        if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_) pid_ = -1;
        return status;
    }

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    bool held_ = false;
};

// A holder seen ending once is waited for until it has ended, though most looks at the lock table miss
// it: here a holder whose main thread has ended while another keeps the hold for five more seconds.
TEST(HomeHold, AHolderSeenEndingIsWaitedForThoughLaterLooksMissIt) {
    testsupport::TempHome restore;
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    HomeHolder holder(home, {"linger", "5000"});
    ASSERT_TRUE(holder.held());
    int looks = 0;
    Paths::setLockTableReader(
        [&looks] { return looks++ % 3 == 0 ? testsupport::readFile("/proc/locks") : std::string(); });
    std::string inUse;
    EXPECT_TRUE(Paths::holdHome(home, &inUse)) << inUse;
    Paths::setLockTableReader(nullptr);
    EXPECT_GT(looks, 1);
}

// The program that a hold passes to by an exec starts unmarked, whatever its earlier self said; unless a
// quit it holds back waits for it, which marks it as it takes the hold.
TEST(HomeHold, APassedHoldIsMarkedEndingOnlyWhenAQuitWasKeptThroughTheExec) {
    for (const char* mode : {"pass", "pass-quit"}) {
        SCOPED_TRACE(mode);
        testsupport::TempDir dir;
        HomeHolder holder(dir.path(), {mode});
        ASSERT_TRUE(holder.held());
        const int folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct flock probe {};
        probe.l_type = F_WRLCK;
        probe.l_len = 1;
        ASSERT_EQ(::fcntl(folder, F_OFD_GETLK, &probe), 0);
        EXPECT_EQ(probe.l_type != F_UNLCK, std::string(mode) == "pass-quit");
        ::close(folder);
        EXPECT_EQ(holder.close(), 0);
    }
}

TEST(HomeHold, OnlyAHoldThisProcessPassedOnIsTakenFromTheVariable) {
    testsupport::TempHome home;
    // A descriptor of the home that the parent keeps open, named by hand.
    const int parentFd = ::open(home.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(parentFd, 0);
    const std::string value = std::to_string(parentFd);
    testsupport::EnvScope env({{"PLAT_HELD_HOME_FD", value.c_str()}});
    EXPECT_TRUE(inChild([&] {
        const char* left = std::getenv("PLAT_HELD_HOME_FD");
        return Paths::holdHome(home.path()) && left && value == left && ::fcntl(parentFd, F_GETFD) == 0;
    }));
    // The game's lock went with it.
    const int fresh = ::open(home.path().c_str(), O_RDONLY | O_DIRECTORY);
    EXPECT_EQ(::flock(fresh, LOCK_EX | LOCK_NB), 0);
    ::close(fresh);
    ::close(parentFd);
}

TEST(HomeHold, ANewHoldSweepsTheTemporariesThatSavesLeftAnywhereInTheHome) {
    testsupport::TempHome restore;
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    const fs::path left[] = {home / "Library" / ".LocalNotifications.plist.tmp.Ab12Cd",
                             home / "Library" / "Caches" / "ads" / ".settings.tmp.XYZ789"};
    const fs::path kept[] = {home / "Library" / ".LocalNotifications.plist.tmp.Ab12",
                             home / "notes.tmp.Ab12Cd"};
    for (const fs::path& p : left) testsupport::writeFile(p, "half");
    for (const fs::path& p : kept) testsupport::writeFile(p, "mine");
    // A save never leaves a link: one named like a temporary is the player's, and so is what it names.
    const fs::path link = home / "Library" / ".mine.cfg.tmp.Ab12Cd", linked = dir.path() / "mine.cfg";
    testsupport::writeFile(linked, "mine");
    fs::create_symlink(linked, link);
    ASSERT_TRUE(Paths::holdHome(home));
    EXPECT_EQ(plat::removeStaleTemporaryFiles(home / "Library" / "mine.cfg"), 0u);
    for (const fs::path& p : left) EXPECT_FALSE(fs::exists(p)) << p;
    for (const fs::path& p : kept) EXPECT_TRUE(fs::exists(p)) << p;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(testsupport::readFile(linked), "mine");
}
