// The potemaru program end to end: launched headless with scripts on the virtual clock, in temporary
// homes, and checked through what it saved, captured and printed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Digest.h"
#include "platform/base/ProcessStat.h"
#include "platform/base/Value.h"
#include "platform/media/ImageCodec.h"
#include "platform/storage/PropertyList.h"
#include "tests/e2e/E2ESupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

namespace fs = std::filesystem;
using e2e::Potemaru;

namespace {

// 2026-01-01 00:00:00 UTC, where every headless run's wall clock starts.
constexpr double kStart = 1767225600;

std::vector<std::string> headless(const fs::path& home) {
    return {"--headless", "--home", home.string(), "--audio", "null", "--seed", "1"};
}

// Every file and folder under `home`, with each file's modification time and digest.
std::map<std::string, std::string> snapshot(const fs::path& home) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(home))
        files[e.path()] = e.is_regular_file()
                              ? std::to_string(e.last_write_time().time_since_epoch().count()) +
                                    plat::Digest::sha256Hex(testsupport::readFile(e.path()))
                              : "";
    return files;
}

// Waits until the game has set up its play field in `home`.
bool setUp(Potemaru& game, const fs::path& home) {
    for (int i = 0; i < 6000 && game.running(); ++i) {
        if (e2e::settings(home)["firstgame"].isBool()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

}  // namespace

TEST(Potemaru, ASecondGameOnAHomeInUseRefusesWithOneLineAndTouchesNothingUntilTheFirstIsKilled) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    Potemaru first(dir.path());
    ASSERT_TRUE(
        first.start({"--headless", "--home", home.string(), "--audio", "null", "--frames", "100000"}));
    ASSERT_TRUE(setUp(first, home)) << first.err();
    // The first game stands still: a change in the home is the second one's (a start clears stale saves).
    ASSERT_TRUE(first.signal(SIGSTOP));
    ASSERT_EQ(waitpid(first.pid(), nullptr, WUNTRACED), first.pid());
    testsupport::writeFile(home / "Library" / "Preferences" / ".potemaru.plist.tmp.Xy12Ab", "<?xml half");
    const auto before = snapshot(home);
    Potemaru second(dir.path());
    EXPECT_EQ(second.run({"--headless", "--home", home.string(), "--audio", "null", "--frames", "10"}), 1);
    EXPECT_EQ(second.err(), "potemaru: the home " + home.string() + " is in use by process " +
                                std::to_string(first.pid()) + " (a home is held by one game at a time)\n");
    EXPECT_EQ(snapshot(home), before);
    // The hold goes with its process, however it ends.
    first.kill9();
    EXPECT_EQ(second.run({"--headless", "--home", home.string(), "--audio", "null", "--frames", "10"}), 0)
        << second.err();
}

TEST(Potemaru, TheHomeStaysHeldThroughTheRelaunchAndASecondGameStartedDuringItIsRefused) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home", script = dir.path() / "relaunch.txt";
    testsupport::writeFile(script, "200 relaunch\n");
    Potemaru first(dir.path());
    auto args = headless(home);
    args.insert(args.end(), {"--script", script.string(), "--frames", "230"});
    ASSERT_TRUE(first.start(args));
    ASSERT_TRUE(setUp(first, home)) << first.err();
    // Traced from a standstill, the game stops again once its relaunch's exec has loaded the new program,
    // before that program runs.
    ASSERT_TRUE(first.signal(SIGSTOP));
    ASSERT_EQ(waitpid(first.pid(), nullptr, WUNTRACED), first.pid());
    ASSERT_TRUE(e2e::traceUntil(
        first.pid(), false, [](int status) { return status >> 8 == (SIGTRAP | PTRACE_EVENT_EXEC << 8); }));
    Potemaru second(dir.path());
    EXPECT_EQ(second.run({"--headless", "--home", home.string(), "--audio", "null", "--frames", "10"}), 1);
    EXPECT_EQ(second.err(), "potemaru: the home " + home.string() + " is in use by process " +
                                std::to_string(first.pid()) + " (a home is held by one game at a time)\n");
    ASSERT_EQ(ptrace(PTRACE_DETACH, first.pid(), nullptr, 0), 0);
    EXPECT_EQ(first.wait(), 0) << first.err();
}

// Only the standard streams and the home's hold cross the relaunch's exec: a descriptor the game holds
// without close-on-exec (here one it was started with) is closed by it, while the game plays on. And the
// children a program inherits through an exec (here a shell's, which then became the game) are waited for,
// even one that ends after the program started again has begun: only a look on its run loop finds that.
TEST(Potemaru, ARelaunchPassesOnNoOtherDescriptorAndNoChildIsLeftAZombie) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home", script = dir.path() / "relaunch.txt";
    testsupport::writeFile(script, "60 relaunch\n");
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, 0), 0);
    ASSERT_EQ(::fcntl(pipe[0], F_SETFD, FD_CLOEXEC), 0);
    Potemaru run(dir.path());
    auto args = headless(home);
    args.insert(args.end(), {"--script", script.string(), "--frames", "10000000"});
    const std::string sleeps = "sleep 300 " + std::to_string(pipe[1]) + ">&- & exec \"$0\" \"$@\"";
    ASSERT_TRUE(run.start(args, {"/bin/sh", "-c", sleeps}));
    ::close(pipe[1]);
    pollfd hangUp{pipe[0], POLLIN, 0};
    const int hungUp = ::poll(&hangUp, 1, 120'000);
    ::close(pipe[0]);
    const std::string tasks = "/proc/" + std::to_string(run.pid()) + "/task/";
    auto children = [&] {
        std::ifstream list(tasks + std::to_string(run.pid()) + "/children");
        return std::vector<pid_t>(std::istream_iterator<pid_t>(list), {});
    };
    auto named = [](const fs::path& comm, const std::string& name) {
        return testsupport::readFile(comm) == name;
    };
    auto waitUntil = [](auto done) {
        for (int i = 0; i < 1200 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return done();
    };
    // Once the program started again runs its app, the shell's sleeper ends.
    EXPECT_TRUE(waitUntil([&] {
        std::error_code ended;
        return std::any_of(fs::directory_iterator(tasks, ended), {},
                           [&](auto& t) { return named(t.path() / "comm", "RUVThread\n"); });
    }));
    for (pid_t child : children())
        if (named("/proc/" + std::to_string(child) + "/comm", "sleep\n")) {
            EXPECT_EQ(::kill(child, SIGKILL), 0);
        }
    ASSERT_EQ(hungUp, 1) << "a descriptor crossed the relaunch";
    EXPECT_TRUE(run.running()) << run.err();
    EXPECT_TRUE(waitUntil([&] {
        const auto now = children();
        return std::none_of(now.begin(), now.end(), [&](pid_t child) {
            const auto stat = plat::ProcessStat::of(child);
            return stat &&
                   (stat->state == 'Z' || named("/proc/" + std::to_string(child) + "/comm", "sleep\n"));
        });
    }));
    ASSERT_TRUE(run.signal(SIGTERM));
    EXPECT_EQ(run.wait(), 128 + SIGTERM) << run.err();
}

// A game started with a standard stream closed relaunches and plays on: no file it opens, the home's hold
// among them, takes the stream's number.
TEST(Potemaru, AGameStartedWithAStandardStreamClosedRelaunchesAndPlaysOn) {
    for (const std::string closed : {"<&-", ">&-", "2>&-"}) {
        testsupport::TempDir dir;
        testsupport::writeFile(dir.path() / "relaunch.txt", "60 relaunch\n");
        auto args = headless(dir.path() / "home");
        args.insert(args.end(), {"--script", (dir.path() / "relaunch.txt").string(), "--frames", "240"});
        Potemaru run(dir.path());
        ASSERT_TRUE(run.start(args, {"/bin/sh", "-c", "exec \"$0\" \"$@\" " + closed}));
        EXPECT_EQ(run.wait(), 0) << closed << run.err();
    }
}

// Under a limit of open files too low to play, the game says so in one line and exits 1, where the
// graphics and web engine libraries would fail, some by a crash; a soft limit that low is raised.
TEST(Potemaru, UnderTooLowALimitOfOpenFilesItSaysSoAndExitsOne) {
    testsupport::TempDir dir;
    auto args = headless(dir.path() / "home");
    args.insert(args.end(), {"--frames", "30"});
    Potemaru low(dir.path()), soft(dir.path());
    ASSERT_TRUE(low.start(args, {"/bin/sh", "-c", "ulimit -n 12 && exec \"$0\" \"$@\""}));
    EXPECT_EQ(low.wait(), 1);
    const std::string line = low.err();
    EXPECT_EQ(line.rfind("potemaru: the limit of open files is 12 (hard limit 12); the game needs ", 0), 0u)
        << line;
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
    ASSERT_TRUE(soft.start(args, {"/bin/sh", "-c", "ulimit -Sn 12 && exec \"$0\" \"$@\""}));
    EXPECT_EQ(soft.wait(), 0) << soft.err();
}

// Descriptors the game is started with take from the same limit: with most of it taken, it says so in one
// line and exits 1, where it used to die by a signal in the libraries or blame the EGL display.
TEST(Potemaru, WithMostOfTheLimitTakenByInheritedDescriptorsItSaysSoAndExitsOne) {
    testsupport::TempDir dir;
    auto args = headless(dir.path() / "home");
    args.insert(args.end(), {"--frames", "30"});
    Potemaru run(dir.path());
    const std::string inherit = "for i in $(seq 3 90); do eval \"exec $i</dev/null\"; done; ulimit -n 128";
    ASSERT_TRUE(run.start(args, {"/bin/bash", "-c", inherit + " && exec \"$0\" \"$@\""}));
    EXPECT_EQ(run.wait(), 1);
    EXPECT_FALSE(run.endedBySignal());
    const std::string line = run.err();
    EXPECT_EQ(line.rfind("potemaru: ", 0), 0u) << line;
    EXPECT_NE(
        line.find("of the 128 open files allowed (hard limit 128) are taken by descriptors it was started "
                  "with; the game needs 128 free"),
        std::string::npos)
        << line;
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
}

TEST(Potemaru, FirstLaunchSchedulesExactlyTwoReminders) {
    testsupport::TempDir dir;
    const auto started = static_cast<int64_t>(std::time(nullptr));
    Potemaru run(dir.path());
    auto args = headless(dir.path() / "home");
    args.insert(args.end(), {"--frames", "130"});
    ASSERT_EQ(run.run(args), 0) << run.err();

    auto reminders = e2e::reminders(dir.path() / "home");
    ASSERT_EQ(reminders.size(), 2u);
    EXPECT_DOUBLE_EQ(reminders[0].first, kStart + 3600);
    EXPECT_EQ(reminders[0].second, "ぽてまるが続々襲来!今すぐ吸収しちゃおう!");
    EXPECT_DOUBLE_EQ(reminders[1].first, kStart + 86400);
    EXPECT_EQ(reminders[1].second, "俺のこと忘れてない?");

    // The same list as the program reports it.
    Potemaru list(dir.path());
    ASSERT_EQ(list.run({"--home", (dir.path() / "home").string(), "--notifications"}), 0);
    EXPECT_EQ(list.out().find("2026-01-01T01:00:00Z"), 0u) << list.out();
    EXPECT_NE(list.out().find("\n2026-01-02T00:00:00Z"), std::string::npos);
    const std::string listed = list.out();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 2);

    // The play field was set up (after the two splash seconds): the first start is recorded, real date.
    auto store = e2e::settings(dir.path() / "home");
    EXPECT_FALSE(store["firstgame"].toBool());
    EXPECT_GE(store["saveTime"].toInt64(), started);
    EXPECT_TRUE(store["passagetime"].isNull());
    // Its screen view waits in the hit store: nothing is configured to deliver it to.
    auto hits = e2e::storedHits(dir.path() / "home");
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_NE(hits[0].find("[iOS]ぽてまる　レベル1"), std::string::npos);
    EXPECT_NE(run.out().find("banner ad: start showing ads"), std::string::npos);
}

TEST(Potemaru, ALaunchAnHourLaterFillsEveryFreeSlotAtOnce) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    // Leave half a second after the set-up (spawn timers at 27.5 of their 30..80 s), stay away an hour,
    // and start again.
    const fs::path script = dir.path() / "away.txt";
    // (A spawn is written out with the next one; leaving once more at the end saves the last.)
    testsupport::writeFile(script, "150 background\n150 jump 3600\n150 relaunch\n275 background\n275 quit\n");
    Potemaru run(dir.path());
    auto args = headless(home);
    args.insert(args.end(), {"--script", script.string()});
    ASSERT_EQ(run.run(args), 0) << run.err();

    auto store = e2e::settings(home);
    EXPECT_EQ(store["passagetime"].toInt64(), 3600);
    // Set up at frame 271, and by 275 all ten slots have spawned and restarted their timers.
    EXPECT_EQ(store["objectcount"].toInt64(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(store["objectcreatetimerget" + std::to_string(i)].toDouble(), 0.0) << i;
    // Two set-ups, so two screen views, both stored; and the reminders moved to an hour and a day after
    // the relaunch.
    EXPECT_EQ(e2e::storedHits(home).size(), 2u);
    auto reminders = e2e::reminders(home);
    ASSERT_EQ(reminders.size(), 2u);
    const double relaunched = kStart + 3600 + 150.0 / 60;
    EXPECT_NEAR(reminders[0].first, relaunched + 3600, 1.0);
    EXPECT_NEAR(reminders[1].first, relaunched + 86400, 1.0);
}

TEST(Potemaru, ARelaunchRestoresTheProgress) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    // Progress of an earlier session: level 3, form 3, 15 points, the gauge at 40 %, four characters.
    e2e::writeSettings(home, {{"firstgame", plat::Value(false)},
                              {"saveTime", plat::Value(static_cast<int64_t>(kStart))},
                              {"mypoints", plat::Value(15)},
                              {"myobjectlevel", plat::Value(3)},
                              {"objectspriteandsound", plat::Value(3)},
                              {"backspriteid", plat::Value(3)},
                              {"soundid", plat::Value(3)},
                              {"ShimerikeGageLevel", plat::Value(40.0)},
                              {"objectcount", plat::Value(4)},
                              {"lockcount", plat::Value(4)},
                              {"Complete", plat::Value(3)}});
    for (int i = 0; i < 10; ++i)
        e2e::setSetting(home, "objectcreatetimerget" + std::to_string(i), plat::Value(0.0));
    const fs::path script = dir.path() / "relaunch.txt";
    testsupport::writeFile(
        script, "140 capture before.png\n140 background\n140 relaunch\n280 capture after.png\n280 quit\n");
    Potemaru run(dir.path());
    auto args = headless(home);
    args.insert(args.end(), {"--script", script.string(), "--capture", (dir.path() / "shots").string()});
    ASSERT_EQ(run.run(args), 0) << run.err();

    auto store = e2e::settings(home);
    EXPECT_EQ(store["mypoints"].toInt64(), 15);
    EXPECT_EQ(store["myobjectlevel"].toInt64(), 3);
    EXPECT_EQ(store["objectspriteandsound"].toInt64(), 3);
    EXPECT_DOUBLE_EQ(store["ShimerikeGageLevel"].toDouble(), 40.0);
    EXPECT_EQ(store["objectcount"].toInt64(), 4);
    // Both set-ups sent their level's screen view.
    auto hits = e2e::storedHits(home);
    ASSERT_EQ(hits.size(), 2u);
    for (const auto& hit : hits) EXPECT_NE(hit.find("[iOS]ぽてまる　レベル3"), std::string::npos);

    // The heads-up display (gauge, points still needed, background) looks the same after the relaunch,
    // and not like a fresh start's.
    Potemaru fresh(dir.path());
    auto freshArgs = headless(dir.path() / "fresh");
    freshArgs.insert(freshArgs.end(), {"--frames", "140", "--capture", (dir.path() / "freshshots").string(),
                                       "--capture-every", "140"});
    ASSERT_EQ(fresh.run(freshArgs), 0) << fresh.err();
    auto before = e2e::readPng(dir.path() / "shots" / "before.png");
    auto after = e2e::readPng(dir.path() / "shots" / "after.png");
    auto start = e2e::readPng(dir.path() / "freshshots" / "frame000140.png");
    ASSERT_TRUE(before && after && start);
    // The top 100 points hold the gauge and the labels; characters stay below them.
    EXPECT_TRUE(e2e::sameRows(*before, *after, 0, 200));
    EXPECT_FALSE(e2e::sameRows(*before, *start, 0, 200));
}

TEST(Potemaru, AKillMidRunLosesNothingThatWasFlushed) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    const fs::path script = dir.path() / "long.txt";
    // An hour away in the middle of the run fills all ten slots, which is saved at once; then the run
    // goes on until it is killed.
    testsupport::writeFile(script,
                           "140 background\n140 jump 3600\n141 foreground\n150 background\n151 foreground\n");
    Potemaru run(dir.path());
    auto args = headless(home);
    args.insert(args.end(), {"--script", script.string(), "--frames", "100000"});
    ASSERT_TRUE(run.start(args));
    bool saved = false;
    for (int i = 0; i < 6000 && !saved && run.running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        saved = e2e::settings(home)["objectcount"].toInt64() == 10;
    }
    ASSERT_TRUE(saved) << run.err();
    run.kill9();

    auto store = e2e::settings(home);
    EXPECT_EQ(store["objectcount"].toInt64(), 10);
    EXPECT_FALSE(store["firstgame"].toBool());
    // The next start finds all ten characters again and spawns none on top of them.
    Potemaru next(dir.path());
    auto nextArgs = headless(home);
    nextArgs.insert(nextArgs.end(), {"--frames", "130"});
    ASSERT_EQ(next.run(nextArgs), 0) << next.err();
    EXPECT_EQ(e2e::settings(home)["objectcount"].toInt64(), 10);
    EXPECT_EQ(e2e::reminders(home).size(), 2u);
}

// A headless run on a home last played in a window stores no date of its virtual clock (2026-01-01): the
// next game in a window counts the real time away, less the ten seconds the headless run played.
TEST(Potemaru, AWindowAfterAHeadlessRunCountsTheRealTimeAway) {
    if (!testsupport::onPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    testsupport::XServer server;
    ASSERT_TRUE(server.start());
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    const auto windowLeft = static_cast<int64_t>(std::time(nullptr)) - 60;
    e2e::writeSettings(home, {{"firstgame", plat::Value(false)}, {"saveTime", plat::Value(windowLeft)}});
    Potemaru headlessRun(dir.path()), windowRun(dir.path());
    auto args = headless(home);
    args.insert(args.end(), {"--frames", "600"});
    ASSERT_EQ(headlessRun.run(args), 0) << headlessRun.err();
    EXPECT_EQ(e2e::settings(home)["saveTime"].toInt64(), windowLeft + 10);
    ASSERT_EQ(windowRun.run({"--home", home.string(), "--audio", "null", "--frames", "30"}), 0)
        << windowRun.err();
    const int64_t away = e2e::settings(home)["passagetime"].toInt64();
    EXPECT_GE(away, 60 - 10);
    EXPECT_LE(away, static_cast<int64_t>(std::time(nullptr)) - windowLeft - 10);
}

TEST(Potemaru, BadOptionsAndScriptsAreRefusedClearly) {
    testsupport::TempDir dir;
    Potemaru bad(dir.path());
    EXPECT_EQ(bad.run({"--frames", "zero"}), 2);
    EXPECT_NE(bad.err().find("--frames"), std::string::npos);
    const fs::path script = dir.path() / "bad.txt";
    testsupport::writeFile(script, "10 background\n20 dance\n");
    Potemaru badScript(dir.path());
    EXPECT_EQ(
        badScript.run({"--headless", "--home", (dir.path() / "home").string(), "--script", script.string()}),
        2);
    EXPECT_NE(badScript.err().find("line 2"), std::string::npos) << badScript.err();
    Potemaru help(dir.path());
    EXPECT_EQ(help.run({"--help"}), 0);
    EXPECT_NE(help.out().find("--capture-every"), std::string::npos);
}
