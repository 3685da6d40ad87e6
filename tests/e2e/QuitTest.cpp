// Every way out of the potemaru program keeps the progress: the app passes through the background, as
// on the phone, so the time it left, the game timer and the spawn timers are stored and the store is
// flushed. Checked by starting it again and reading what it counted as time away.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "platform/base/Value.h"
#include "tests/e2e/E2ESupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

namespace fs = std::filesystem;
using e2e::Potemaru;

namespace {

// 2026-01-01 00:00:00 UTC, where every headless run's wall clock starts.
constexpr int64_t kStart = 1767225600;

std::vector<std::string> headless(const fs::path& home) {
    return {"--headless", "--home", home.string(), "--audio", "null", "--seed", "1"};
}

// A later start whose four lowest slots are half a second from their next character: four characters
// walk on half a second after the play field is set up (two seconds after launch).
void prepareFourSpawns(const fs::path& home, int64_t saveTime) {
    e2e::writeSettings(home, {{"firstgame", plat::Value(false)}, {"saveTime", plat::Value(saveTime)}});
    const double timers[] = {29.5, 29.5, 39.5, 39.5, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 10; ++i)
        e2e::setSetting(home, "objectcreatetimerget" + std::to_string(i), plat::Value(timers[i]));
}

bool waitFor(const std::function<bool()>& done, int seconds) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < limit) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

// The fourth spawn's timer reset is flushed with the spawn itself; the count that goes with it is not.
bool fourSpawned(const fs::path& home) {
    const plat::Value store = e2e::settings(home);
    return store["objectcreatetimerget3"].isNumber() && store["objectcreatetimerget3"].toDouble() == 0.0;
}

// Starts the program again headless, back at `wallSeconds` (its stored dates go on from the last one, and
// its clock jumps the rest in the background), and returns what it stored as time away.
int64_t passageTimeOfRelaunch(const fs::path& dir, const fs::path& home, int64_t wallSeconds) {
    Potemaru next(dir);
    const fs::path script = dir / "away.txt";
    testsupport::writeFile(script,
                           "1 background\n1 jump " +
                               std::to_string(wallSeconds - e2e::settings(home)["saveTime"].toInt64()) +
                               "\n1 foreground\n");
    auto args = headless(home);
    args.insert(args.end(), {"--frames", "10", "--script", script.string()});
    EXPECT_EQ(next.run(args), 0) << next.err();
    return e2e::settings(home)["passagetime"].toInt64();
}

void expectStoredOnTheWayOut(const fs::path& home) {
    const plat::Value store = e2e::settings(home);
    EXPECT_EQ(store["objectcount"].toInt64(), 4);
    EXPECT_GT(store["gametimer"].toDouble(), 0.0);
    // Free slots kept counting since the set-up; they were stored when the app left.
    EXPECT_GT(store["objectcreatetimerget4"].toDouble(), 0.0);
}

}  // namespace

TEST(PotemaruQuit, TheScriptsQuitStoresTheProgress) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    prepareFourSpawns(home, kStart);
    const fs::path script = dir.path() / "quit.txt";
    testsupport::writeFile(script, "300 quit\n");
    Potemaru run(dir.path());
    auto args = headless(home);
    args.insert(args.end(), {"--script", script.string()});
    ASSERT_EQ(run.run(args), 0) << run.err();

    expectStoredOnTheWayOut(home);
    // Left after 300 frames (5 s), not at the set-up two seconds in.
    EXPECT_EQ(e2e::settings(home)["saveTime"].toInt64(), kStart + 5);
    EXPECT_EQ(passageTimeOfRelaunch(dir.path(), home, kStart + 3600), 3595);
    EXPECT_EQ(e2e::settings(home)["objectcount"].toInt64(), 4);
}

// SIGHUP (a terminal closed, an ssh session dropped) is a quit like the others: it used to end the game
// by its default action, with nothing stored.
TEST(PotemaruQuit, SigtermSigintAndSighupStoreTheProgress) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        testsupport::TempDir dir;
        const fs::path home = dir.path() / "home";
        prepareFourSpawns(home, kStart);
        Potemaru run(dir.path());
        auto args = headless(home);
        args.insert(args.end(), {"--frames", "10000000"});
        ASSERT_TRUE(run.start(args));
        ASSERT_TRUE(waitFor([&] { return fourSpawned(home) || !run.running(); }, 120)) << run.err();
        ASSERT_TRUE(run.running()) << run.err();
        ASSERT_TRUE(run.signal(signal));
        EXPECT_EQ(run.wait(), 128 + signal) << run.err();

        expectStoredOnTheWayOut(home);
        const int64_t saveTime = e2e::settings(home)["saveTime"].toInt64();
        EXPECT_GE(saveTime, kStart + 2);
        EXPECT_EQ(passageTimeOfRelaunch(dir.path(), home, saveTime + 600), 600);
    }
}

// Starts the game in a window on `home` and returns once four characters have come onto the field.
void playInAWindowUntilFourSpawned(Potemaru& run, const fs::path& home) {
    prepareFourSpawns(home, static_cast<int64_t>(std::time(nullptr)));
    ASSERT_TRUE(run.start({"--home", home.string(), "--audio", "null", "--seed", "1"}));
    ASSERT_TRUE(waitFor([&] { return fourSpawned(home) || !run.running(); }, 120)) << run.err();
    ASSERT_TRUE(run.running()) << run.err();
}

TEST(PotemaruQuit, ClosingTheWindowStoresTheProgress) {
    if (!testsupport::onPath("Xvfb") || !testsupport::onPath("xdotool"))
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    testsupport::XServer server;
    ASSERT_TRUE(server.start());
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    Potemaru run(dir.path());
    ASSERT_NO_FATAL_FAILURE(playInAWindowUntilFourSpawned(run, home));
    ASSERT_TRUE(e2e::closeWindow("Potemaru"));
    EXPECT_EQ(run.wait(), 0) << run.err();

    expectStoredOnTheWayOut(home);
    const int64_t saveTime = e2e::settings(home)["saveTime"].toInt64();
    const int64_t closed = static_cast<int64_t>(std::time(nullptr));
    EXPECT_LE(saveTime, closed);
    EXPECT_GE(saveTime, closed - 5);
    // Back 42 s after the close: exactly that much time away (the wall clock as the relaunch sees it).
    EXPECT_EQ(passageTimeOfRelaunch(dir.path(), home, saveTime + 42), 42);
    EXPECT_EQ(e2e::settings(home)["objectcount"].toInt64(), 4);
}

// A window destroyed by another client, or an X connection lost, ends the game the way closing it does:
// through the background with the progress stored and one line, 0 for the window and 1 for the connection.
// The game used to play on with no window, or be ended inside Xlib with nothing stored.
TEST(PotemaruQuit, ADestroyedWindowOrALostXConnectionStoresTheProgress) {
    if (!testsupport::onPath("Xvfb") || !testsupport::onPath("xdotool"))
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    testsupport::XServer server;
    ASSERT_TRUE(server.start());
    for (bool connection : {false, true}) {
        SCOPED_TRACE(connection ? "connection lost" : "window destroyed");
        testsupport::TempDir dir;
        const fs::path home = dir.path() / "home";
        Potemaru run(dir.path());
        ASSERT_NO_FATAL_FAILURE(playInAWindowUntilFourSpawned(run, home));
        ASSERT_TRUE(e2e::destroyWindow("Potemaru", connection));
        const bool ended = waitFor([&] { return !run.running(); }, 60);
        if (!ended) run.kill9();
        ASSERT_TRUE(ended) << run.err();
        EXPECT_EQ(run.wait(), connection ? 1 : 0) << run.err();
        EXPECT_FALSE(run.endedBySignal());
        expectStoredOnTheWayOut(home);
        const std::string line =
            connection ? "the connection to the X display was lost\n" : "the window was destroyed\n";
        EXPECT_NE(run.err().find(line), std::string::npos) << run.err();
        EXPECT_EQ(run.err().find("Assertion"), std::string::npos) << run.err();
        EXPECT_EQ(run.err().find("XIO"), std::string::npos) << run.err();
    }
}

// A window destroyed the moment it appears, before the game made its surface, ends the game as a window
// destroyed later does. Making the surface of the half-gone window used to crash inside the GL driver, or
// an X error about it ended the game through Xlib's default handler.
TEST(PotemaruQuit, AWindowDestroyedAsItAppearsEndsTheGameCleanly) {
    if (!testsupport::onPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    testsupport::XServer server;
    ASSERT_TRUE(server.start());
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    Potemaru run(dir.path());
    ASSERT_TRUE(run.start({"--home", home.string(), "--audio", "null", "--seed", "1"}));
    ASSERT_TRUE(e2e::destroyWindowAsItAppears("Potemaru", run.pid())) << run.err();
    const bool ended = waitFor([&] { return !run.running(); }, 120);
    if (!ended) run.kill9();
    ASSERT_TRUE(ended) << run.err();
    EXPECT_EQ(run.wait(), 0) << run.err();
    EXPECT_FALSE(run.endedBySignal());
    EXPECT_NE(run.err().find("the window was destroyed\n"), std::string::npos) << run.err();
    EXPECT_EQ(run.err().find("X Error"), std::string::npos) << run.err();
}

TEST(PotemaruMemory, HeadlessFramesWithTapsKeepMemoryFlat) {
#ifdef POTEMARU_ASAN
    GTEST_SKIP() << "under the address sanitizer the figure also counts the test program's own memory";
#endif
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    prepareFourSpawns(home, kStart);
    // A tap every half second across the field for 2400 frames (40 s of play).
    std::string text;
    for (int frame = 150; frame < 2400; frame += 30) {
        const int x = 100 + (frame * 7) % 440, y = 500 + (frame * 13) % 500;
        text += std::to_string(frame) + " touch down " + std::to_string(x) + " " + std::to_string(y) + "\n";
        text += std::to_string(frame + 2) + " touch up " + std::to_string(x) + " " + std::to_string(y) + "\n";
    }
    text += "2400 quit\n";
    const fs::path script = dir.path() / "taps.txt";
    testsupport::writeFile(script, text);
    Potemaru run(dir.path());
    auto args = headless(home);
    args.insert(args.end(), {"--script", script.string()});
    ASSERT_EQ(run.run(args), 0) << run.err();
    // Unflushed frames used to keep about 0.4 MB each (over 900 MB here); a flushed run stays near
    // its start-up size whatever the number of frames.
    EXPECT_LT(run.maxResidentKb(), 250 * 1024);
}

TEST(PotemaruQuit, ATemporarySaveLeftByAKillAtTheRenameIsGoneAfterARelaunch) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    prepareFourSpawns(home, kStart);
    // A kill between writing the temporary file and renaming it over the store leaves this behind.
    const fs::path stale = home / "Library" / "Preferences" / ".potemaru.plist.tmp.Xy12Ab";
    testsupport::writeFile(stale, "<?xml half a save");
    Potemaru run(dir.path());
    auto args = headless(home);
    args.insert(args.end(), {"--frames", "10"});
    ASSERT_EQ(run.run(args), 0) << run.err();
    EXPECT_FALSE(fs::exists(stale));
    for (const auto& entry : fs::directory_iterator(home / "Library" / "Preferences"))
        EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos) << entry.path();
    EXPECT_FALSE(e2e::settings(home)["firstgame"].toBool());
}

namespace {

// The system call a stop of the traced `pid` enters or leaves; none for another stop.
std::optional<__ptrace_syscall_info> syscallAt(pid_t pid, int status) {
    __ptrace_syscall_info info{};
    if (WSTOPSIG(status) != (SIGTRAP | 0x80) || ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info) <= 0)
        return std::nullopt;
    return info;
}

// Where a test stops the game (whose home is given): through each system call or only at its events.
struct Aim {
    const char* where;
    bool syscalls;
    std::function<bool(pid_t, int, const fs::path&)> stop;
};

// Whether the holder of `home` has marked itself ending.
bool markedEnding(const fs::path& home) {
    const int folder = ::open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_len = 1;
    const bool marked = folder >= 0 && ::fcntl(folder, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    if (folder >= 0) ::close(folder);
    return marked;
}

}  // namespace

// A quit that comes while a scripted relaunch is under way ends the game through its own way out, with
// the progress stored: once the relaunch has saved, at its exec, or right after the exec. The old
// program's handler used to take it and start the new one anyway, or the new one died of it.
TEST(PotemaruQuit, AQuitDuringARelaunchEndsTheGameTheNormalWay) {
    const Aim aims[] = {{"once the relaunch has saved", true,
                         [](pid_t pid, int status, const fs::path& home) {
                             const auto call = syscallAt(pid, status);
                             return call && call->op == PTRACE_SYSCALL_INFO_ENTRY &&
                                    e2e::settings(home)["saveTime"].toInt64() == kStart + 400 / 60;
                         }},
                        {"at the exec", true,
                         [](pid_t pid, int status, const fs::path&) {
                             const auto call = syscallAt(pid, status);
                             return call && call->op == PTRACE_SYSCALL_INFO_ENTRY &&
                                    call->entry.nr == SYS_execve;
                         }},
                        {"right after the exec", false, [](pid_t, int status, const fs::path&) {
                             return status >> 8 == (SIGTRAP | PTRACE_EVENT_EXEC << 8);
                         }}};
    for (const Aim& aim : aims) {
        SCOPED_TRACE(aim.where);
        testsupport::TempDir dir;
        const fs::path home = dir.path() / "home", script = dir.path() / "relaunch.txt";
        prepareFourSpawns(home, kStart);
        testsupport::writeFile(script, "400 relaunch\n");
        Potemaru run(dir.path());
        auto args = headless(home);
        args.insert(args.end(), {"--script", script.string(), "--frames", "700"});
        ASSERT_TRUE(run.start(args));
        ASSERT_TRUE(
            waitFor([&] { return e2e::settings(home)["firstgame"].isBool() || !run.running(); }, 120));
        ASSERT_TRUE(run.signal(SIGSTOP));
        ASSERT_EQ(waitpid(run.pid(), nullptr, WUNTRACED), run.pid());
        const pid_t pid = run.pid();
        ASSERT_TRUE(
            e2e::traceUntil(pid, aim.syscalls, [&](int status) { return aim.stop(pid, status, home); }));
        ASSERT_TRUE(run.signal(SIGTERM));
        ASSERT_EQ(ptrace(PTRACE_DETACH, pid, nullptr, 0), 0);
        EXPECT_EQ(run.wait(), 128 + SIGTERM) << run.err();
        EXPECT_FALSE(run.endedBySignal());
        // The four characters and the time of the relaunch, 400 frames in, stay stored.
        EXPECT_EQ(e2e::settings(home)["objectcount"].toInt64(), 4);
        EXPECT_EQ(e2e::settings(home)["saveTime"].toInt64(), kStart + 400 / 60);
    }
}

// A quit as a relaunch execs marks the home ending at once, through the start of the new program (right after
// the exec: once that program has taken the hold on), so a game started at once waits for it and starts. The
// home used to be unmarked until the new program held it (seconds, under load), and such a start was refused.
TEST(PotemaruQuit, AQuitAtARelaunchsExecKeepsTheHomeMarkedEndingAndAStartWaits) {
    for (const bool atTheExec : {true, false}) {
        SCOPED_TRACE(atTheExec ? "at the exec" : "right after the exec");
        testsupport::TempDir dir;
        const fs::path home = dir.path() / "home", script = dir.path() / "relaunch.txt";
        testsupport::writeFile(script, "400 relaunch\n");
        Potemaru run(dir.path()), second(dir.path());
        auto args = headless(home);
        args.insert(args.end(), {"--script", script.string(), "--frames", "10000000"});
        ASSERT_TRUE(run.start(args));
        ASSERT_TRUE(
            waitFor([&] { return e2e::settings(home)["firstgame"].isBool() || !run.running(); }, 120));
        ASSERT_TRUE(run.signal(SIGSTOP));
        ASSERT_EQ(waitpid(run.pid(), nullptr, WUNTRACED), run.pid());
        const pid_t pid = run.pid();
        auto entering = [pid](int status, uint64_t call) {
            const auto info = syscallAt(pid, status);
            return info && info->op == PTRACE_SYSCALL_INFO_ENTRY && info->entry.nr == call &&
                   (call != SYS_prctl || info->entry.args[0] == PR_SET_NAME);
        };
        ASSERT_TRUE(e2e::traceUntil(pid, true, [&](int status) {
            return atTheExec ? entering(status, SYS_execve)
                             : status >> 8 == (SIGTRAP | PTRACE_EVENT_EXEC << 8);
        }));
        ASSERT_TRUE(run.signal(SIGTERM));
        auto secondArgs = headless(home);
        secondArgs.insert(secondArgs.end(), {"--frames", "5"});
        ASSERT_TRUE(second.start(secondArgs));
        // Marked while the exec is held, and at each stop from then on up to the new program's naming of
        // itself.
        if (atTheExec) {
            ASSERT_TRUE(waitFor([&] { return markedEnding(home); }, 20));
        }
        int unmarked = 0, status = 0;
        ptrace(PTRACE_SYSCALL, pid, nullptr, 0);
        while (waitpid(pid, &status, 0) == pid && WIFSTOPPED(status) && !entering(status, SYS_prctl)) {
            unmarked += atTheExec && !markedEnding(home);
            const bool traceStop = status >> 16 != 0 || WSTOPSIG(status) == (SIGTRAP | 0x80);
            ptrace(PTRACE_SYSCALL, pid, nullptr, traceStop ? 0 : WSTOPSIG(status));
        }
        EXPECT_EQ(unmarked, 0);
        EXPECT_TRUE(markedEnding(home));
        ASSERT_EQ(ptrace(PTRACE_DETACH, pid, nullptr, 0), 0);
        EXPECT_EQ(run.wait(), 128 + SIGTERM) << run.err();
        EXPECT_EQ(second.wait(), 0) << second.err();
    }
}

// With the standard streams alone under a hard limit of 128, the game plays, first and after a relaunch: the
// descriptors it opens itself (the quits' thread's) used to count as inherited, and it refused to start.
TEST(PotemaruQuit, WithTheStandardStreamsAloneItPlaysUnderAHardLimitOf128) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.path() / "relaunch.txt", "20 relaunch\n");
    for (const bool relaunch : {false, true}) {
        SCOPED_TRACE(relaunch ? "after a relaunch" : "at a first start");
        auto args = headless(dir.path() / "home");
        args.insert(args.end(), {"--frames", "40"});
        if (relaunch) args.insert(args.end(), {"--script", (dir.path() / "relaunch.txt").string()});
        Potemaru run(dir.path());
        ASSERT_TRUE(
            run.start(args, {"/bin/bash", "-c",
                             "for fd in /proc/$$/fd/*; do ((${fd##*/} > 2)) && eval \"exec ${fd##*/}>&-\"; "
                             "done; ulimit -n 128 && exec \"$0\" \"$@\""}));
        EXPECT_EQ(run.wait(), 0) << run.err();
    }
}

// A game started while another quits waits for it past the few seconds a live holder gets, and says once
// what it waits for: the quitting game marks itself ending as the quit arrives, and is held still here,
// its ending mark just made, for longer than those seconds.
TEST(PotemaruQuit, AGameStartedWhileAnotherQuitsWaitsUntilItHasEnded) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    Potemaru first(dir.path());
    auto args = headless(home);
    args.insert(args.end(), {"--frames", "10000000"});
    ASSERT_TRUE(first.start(args));
    ASSERT_TRUE(waitFor([&] { return e2e::settings(home)["firstgame"].isBool() || !first.running(); }, 120));
    ASSERT_TRUE(first.signal(SIGSTOP));
    ASSERT_EQ(waitpid(first.pid(), nullptr, WUNTRACED), first.pid());
    ASSERT_TRUE(first.signal(SIGTERM));
    const pid_t pid = first.pid();
    ASSERT_TRUE(e2e::traceUntil(pid, true, [&](int) { return markedEnding(home); })) << first.err();

    Potemaru second(dir.path());
    std::vector<std::string> secondArgs = headless(home);
    secondArgs.insert(secondArgs.end(), {"--frames", "5"});
    ASSERT_TRUE(second.start(secondArgs));
    const std::string waiting = "waiting for process " + std::to_string(pid) + ", which holds the home";
    EXPECT_TRUE(
        waitFor([&] { return second.err().find(waiting) != std::string::npos || !second.running(); }, 60))
        << second.err();
    // A second past the wait's start, and three more: past the retry that a live holder gets.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_TRUE(second.running()) << second.err();
    ASSERT_EQ(ptrace(PTRACE_DETACH, pid, nullptr, 0), 0);
    EXPECT_EQ(first.wait(), 128 + SIGTERM) << first.err();
    EXPECT_EQ(second.wait(), 0) << second.err();
}

// The web engine's processes, which the game starts, begin with the quits let through, so each ends on a
// SIGTERM of its own. They used to inherit the quits held back, and went on running.
TEST(PotemaruQuit, TheWebEnginesProcessesEndOnASigtermOfTheirOwn) {
    testsupport::TempDir dir;
    e2e::Peers peers(dir.path());
    const fs::path endpoints = peers.endpoints();
    ASSERT_FALSE(endpoints.empty());
    Potemaru run(dir.path());
    auto args = headless(dir.path() / "home");
    args.insert(args.end(), {"--endpoints", endpoints.string(), "--frames", "10000000"});
    ASSERT_TRUE(run.start(args));
    // The banner's page runs in the web engine's own processes: its network process and a web process.
    const fs::path children =
        "/proc/" + std::to_string(run.pid()) + "/task/" + std::to_string(run.pid()) + "/children";
    std::vector<pid_t> engine;
    ASSERT_TRUE(waitFor(
        [&] {
            engine.clear();
            std::istringstream list(testsupport::readFile(children));
            for (pid_t child; list >> child;) engine.push_back(child);
            return engine.size() >= 2 || !run.running();
        },
        120))
        << run.err();
    ASSERT_TRUE(run.running()) << run.err();
    constexpr unsigned long long kDefaults =
        1ull << (SIGINT - 1) | 1ull << (SIGTERM - 1) | 1ull << (SIGHUP - 1);
    for (pid_t child : engine) {
        const fs::path proc = "/proc/" + std::to_string(child);
        SCOPED_TRACE(testsupport::readFile(proc / "comm"));
        const std::string status = testsupport::readFile(proc / "status");
        for (const char* field : {"SigBlk:", "SigIgn:"})
            EXPECT_EQ(std::stoull(status.substr(status.find(field) + 7), nullptr, 16) & kDefaults, 0u)
                << field;
        ASSERT_EQ(kill(child, SIGTERM), 0);
        EXPECT_TRUE(waitFor(
            [&] {
                return !fs::exists(proc / "status") ||
                       testsupport::readFile(proc / "status").find("State:\tZ") != std::string::npos;
            },
            60));
    }
    ASSERT_TRUE(run.signal(SIGTERM));
    EXPECT_EQ(run.wait(), 128 + SIGTERM) << run.err();
}

// A quit ends the main thread's waits the moment it arrives: the start-up wait for a home another game
// holds (it used to try for its full few seconds, or half a minute for a holder that was ending), and a
// headless frame's wait for a load that does not come (it used to wait its full 20 s).
TEST(PotemaruQuit, AQuitEndsTheMainThreadsWaitsAtOnce) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    // Traced to its end, the waiting game cannot be stopped by the address sanitizer's leak check at its
    // exit, which then reads leaks that are none.
#ifndef POTEMARU_ASAN
    {
        SCOPED_TRACE("the wait for a held home");
        Potemaru holder(dir.path());
        auto args = headless(home);
        args.insert(args.end(), {"--frames", "10000000"});
        ASSERT_TRUE(holder.start(args));
        ASSERT_TRUE(
            waitFor([&] { return e2e::settings(home)["firstgame"].isBool() || !holder.running(); }, 120));
        Potemaru waiting(dir.path());
        args.back() = "5";
        ASSERT_TRUE(waiting.start(args));
        ASSERT_TRUE(waiting.signal(SIGSTOP));
        ASSERT_EQ(waitpid(waiting.pid(), nullptr, WUNTRACED), waiting.pid());
        const pid_t pid = waiting.pid();
        auto call = [&](int status) {
            const auto info = syscallAt(pid, status);
            return info && info->op == PTRACE_SYSCALL_INFO_ENTRY && info->entry.nr == SYS_flock;
        };
        ASSERT_TRUE(e2e::traceUntil(pid, true, call)) << waiting.err();
        // The main thread held at a try of the lock, the quit is taken meanwhile: it leaves the process's
        // pending signals.
        ASSERT_TRUE(waiting.signal(SIGTERM));
        const fs::path status = "/proc/" + std::to_string(pid) + "/status";
        ASSERT_TRUE(waitFor(
            [&] {
                const std::string text = testsupport::readFile(status);
                const size_t at = text.find("ShdPnd:");
                return at != std::string::npos &&
                       !(std::stoull(text.substr(at + 7), nullptr, 16) & 1ull << (SIGTERM - 1));
            },
            60));
        ASSERT_EQ(ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACEEXIT), 0);
        int triesAfter = 0, stop = 0;
        ptrace(PTRACE_SYSCALL, pid, nullptr, 0);
        while (waitpid(pid, &stop, 0) == pid && WIFSTOPPED(stop) &&
               stop >> 8 != (SIGTRAP | PTRACE_EVENT_EXIT << 8)) {
            triesAfter += call(stop);
            const bool traceStop = stop >> 16 != 0 || WSTOPSIG(stop) == (SIGTRAP | 0x80);
            ptrace(PTRACE_SYSCALL, pid, nullptr, traceStop ? 0 : WSTOPSIG(stop));
        }
        ptrace(PTRACE_DETACH, pid, nullptr, 0);
        EXPECT_EQ(waiting.wait(), 128 + SIGTERM) << waiting.err();
        EXPECT_LE(triesAfter, 1);
        EXPECT_EQ(waiting.err().find("in use"), std::string::npos) << waiting.err();
        ASSERT_TRUE(holder.signal(SIGTERM));
        EXPECT_EQ(holder.wait(), 128 + SIGTERM) << holder.err();
    }
#endif
    {
        SCOPED_TRACE("a frame's wait for a load");
        // An ad server that takes the connection and never answers: the frame waits for the settings
        // request until its time-out, 10 s without a byte.
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), length), 0);
        ASSERT_EQ(::listen(server, 16), 0);
        ASSERT_EQ(::getsockname(server, reinterpret_cast<sockaddr*>(&address), &length), 0);
        const fs::path endpoints = dir.path() / "stalled.json";
        testsupport::writeFile(
            endpoints, "{\"ads\": {\"settings\": {\"scheme\": \"http\", \"host\": \"127.0.0.1\", \"port\": " +
                           std::to_string(ntohs(address.sin_port)) + "}}}");
        Potemaru run(dir.path());
        auto args = headless(dir.path() / "home3");
        args.insert(args.end(), {"--endpoints", endpoints.string(), "--frames", "10000000"});
        ASSERT_TRUE(run.start(args));
        pollfd waiting{server, POLLIN, 0};
        ASSERT_EQ(::poll(&waiting, 1, 120000), 1) << run.err();
        // Held where the frame waits for the request (its short nap between looks), the quit comes.
        ASSERT_TRUE(run.signal(SIGSTOP));
        ASSERT_EQ(waitpid(run.pid(), nullptr, WUNTRACED), run.pid());
        const pid_t pid = run.pid();
        ASSERT_TRUE(e2e::traceUntil(pid, true, [&](int status) {
            const auto info = syscallAt(pid, status);
            return info && info->op == PTRACE_SYSCALL_INFO_ENTRY && info->entry.nr == SYS_clock_nanosleep;
        })) << run.err();
        ASSERT_TRUE(run.signal(SIGTERM));
        ASSERT_EQ(ptrace(PTRACE_DETACH, pid, nullptr, 0), 0);
        EXPECT_EQ(run.wait(), 128 + SIGTERM) << run.err();
        // It used to wait for the request's end first, and say that it timed out.
        EXPECT_EQ(run.err().find("timed out"), std::string::npos) << run.err();
        EXPECT_EQ(run.err().find("goes on after"), std::string::npos) << run.err();
        ::close(server);
    }
}

// A way out that cannot finish, its main thread held still (as inside a driver that never returns), still
// ends the program within a bound, with one line saying that the play could not be stored and status 1.
TEST(PotemaruQuit, AWayOutThatCannotFinishEndsWithinABoundAndSaysSo) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    Potemaru run(dir.path());
    auto args = headless(home);
    args.insert(args.end(), {"--frames", "10000000"});
    ASSERT_TRUE(run.start(args));
    ASSERT_TRUE(waitFor([&] { return e2e::settings(home)["firstgame"].isBool() || !run.running(); }, 120));
    const pid_t pid = run.pid();
    ASSERT_EQ(ptrace(PTRACE_SEIZE, pid, nullptr, 0), 0);
    ASSERT_EQ(ptrace(PTRACE_INTERRUPT, pid, nullptr, 0), 0);
    ASSERT_EQ(waitpid(pid, nullptr, __WALL), pid);
    ASSERT_TRUE(run.signal(SIGTERM));
    const bool ended = waitFor([&] { return !run.running(); }, 120);
    if (!ended) run.kill9();
    ASSERT_TRUE(ended) << run.err();
    EXPECT_EQ(run.wait(), 1) << run.err();
    EXPECT_FALSE(run.endedBySignal());
    EXPECT_NE(
        run.err().find("did not end within 10 s of SIGTERM: the play since it was last stored could not "
                       "be stored\n"),
        std::string::npos)
        << run.err();
}

// A relaunched game keeps the name it was started by, a link to the program under another name among them:
// a relaunch starts the program's own file, whose name the kernel would give it otherwise ("game-image"
// here, "exe" where the file was replaced), which `ps`, `pgrep -x potemaru` and `killall potemaru` miss.
TEST(PotemaruQuit, ARelaunchedGameKeepsItsName) {
    testsupport::TempDir dir;
    const fs::path script = dir.path() / "relaunch.txt", image = dir.path() / "game-image";
    testsupport::writeFile(script, "30 relaunch\n");
    std::error_code linked;
    fs::create_hard_link(testsupport::programPath("potemaru"), image, linked);
    if (linked) fs::copy_file(testsupport::programPath("potemaru"), image);
    fs::create_symlink(image, dir.path() / "potemaru");
    Potemaru run(dir.path());
    auto args = headless(dir.path() / "home");
    args.insert(args.end(), {"--script", script.string(), "--frames", "10000000", "--resources",
                             (testsupport::sourceDir() / "assets").string()});
    ASSERT_TRUE(run.start(
        args, {"/bin/sh", "-c", "shift; exec '" + (dir.path() / "potemaru").string() + "' \"$@\"", "-"}));
    const fs::path self = "/proc/" + std::to_string(run.pid());
    // Relaunched (the kernel then names it "game-image"), and named again by the game: never, without the
    // naming, so the wait runs out and the name below is the kernel's.
    auto relaunched = [&] {
        return testsupport::readFile(self / "environ").find("POTEMARU_RESUME=") != std::string::npos;
    };
    ASSERT_TRUE(waitFor(
        [&] {
            return (relaunched() && testsupport::readFile(self / "comm") == "potemaru\n") || !run.running();
        },
        120))
        << run.err();
    EXPECT_EQ(testsupport::readFile(self / "comm"), "potemaru\n");
    ASSERT_TRUE(run.signal(SIGTERM));
    EXPECT_EQ(run.wait(), 128 + SIGTERM) << run.err();
}
