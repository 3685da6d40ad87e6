// How the tag manager ends: a program that exits right after a download, one whose hit thread ended and
// started thousands of times, and the app's own shutdown call.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <thread>

// Under a sanitizer the program's heap is the sanitizer's, which the C library's figures leave out.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define HEAP_OF_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define HEAP_OF_SANITIZER 1
#endif
#endif
#ifdef HEAP_OF_SANITIZER
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#include "analytics/base/RUVWorker.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Paths.h"
#include "tagmanager/base/ZAVWorkers.h"
#include "tagmanager/container/ZAVContainer.h"
#include "tests/support/TestSupport.h"
#include "tests/tagmanager/FacadeTestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Answer;

constexpr const char* kHomeVariable = "POTEMARU_TM_EXIT_HOME";
constexpr const char* kServerVariable = "POTEMARU_TM_EXIT_SERVER";

fs::path savedFile(const fs::path& home, const std::string& id) {
    return home / "Library" / "Application Support" / "Zedive" / "ZodAruzivu" / ("resource_" + id);
}

std::string downloadBody() {
    return tmtest::bytesOf(*tmtest::supplemented(tmtest::greetingResource("net", "7"), "fp-7"));
}

// Runs this program's child case `test` in a new process: its exit status, 128 + the signal that ended it,
// or -1.
int runChild(const std::string& test, const fs::path& home, const std::string& server = "") {
    return testsupport::runProgram("/proc/self/exe", {"--gtest_filter=TagManagerAtExitChild." + test},
                                   {{kHomeVariable, home.string()}, {kServerVariable, server}});
}

// Ids of the threads of this process whose name starts with one of the tag manager's. Threads that they
// start carry their name too (the resolver's), and every thread stays listed for a moment after it was
// joined, so a check right after an end is made by id and waits for those.
std::set<long> tagManagerThreads() {
    std::set<long> ids;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::string name = testsupport::readFile(task.path() / "comm");
        for (const char* prefix : {"ZAVThread", "ZAVAsync", "ZAVDataLayerSto"})
            if (name.rfind(prefix, 0) == 0) ids.insert(std::stol(task.path().filename().string()));
    }
    return ids;
}

bool anyListed(const std::set<long>& ids) {
    for (long id : ids)
        if (fs::exists("/proc/self/task/" + std::to_string(id))) return true;
    return false;
}

class ShutdownTest : public tmtest::FacadeFixture {};

// The bytes the process holds from its allocator.
int64_t heapInUse() {
#ifdef HEAP_OF_SANITIZER
    return static_cast<int64_t>(__sanitizer_get_current_allocated_bytes());
#else
    return static_cast<int64_t>(mallinfo2().uordblks);
#endif
}

}  // namespace

TEST_F(ShutdownTest, TheAppsShutdownWritesWhatIsPendingAndEndsTheThreads) {
    server.route("GET", "/r", Answer{.body = downloadBody()});
    auto manager = ZODAruzivu::instance();
    manager->setCtfeServerAddress(address(server));
    ASSERT_TRUE(manager->openContainerById("CTR-S", callback));
    const std::string downloaded = "success " + std::to_string(ZAVRefreshTypeNetwork);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return callback->count(downloaded) > 0; }));
    const std::set<long> running = tagManagerThreads();
    ASSERT_FALSE(running.empty());
    ZODAruzivu::shutdown();
    EXPECT_TRUE(fs::exists(savedFile(home.path(), "CTR-S")));
    EXPECT_TRUE(testsupport::runMainLoopUntil([&] { return !anyListed(running); }, 5));
    EXPECT_TRUE(tagManagerThreads().empty());
}

// The child: opens a container, and exits the moment its download has arrived, as an app that returns
// from main would; the save handed to the background must land and nothing may crash on the way out.
TEST(TagManagerAtExitChild, ExitsRightAfterADownload) {
    const char* home = std::getenv(kHomeVariable);
    const char* server = std::getenv(kServerVariable);
    if (!home || !server) GTEST_SKIP() << "run by TagManagerAtExit";
    plat::Paths::setHome(home);
    auto manager = ZODAruzivu::instance();
    manager->setCtfeServerAddress(std::string(server));
    auto callback = std::make_shared<tmtest::RecordingContainerCallback>();
    auto container = manager->openContainerById("CTR-EXIT", callback);
    ASSERT_TRUE(container);
    const std::string downloaded = "success " + std::to_string(ZAVRefreshTypeNetwork);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return callback->count(downloaded) > 0; }, 30));
    std::exit(0);
}

TEST(TagManagerAtExit, AProgramThatExitsRightAfterADownloadEndsCleanlyWithItSaved) {
    testsupport::TempDir home;
    testsupport::LoopbackServer server;
    server.route("GET", "/r", Answer{.body = downloadBody()});
    EXPECT_EQ(runChild("ExitsRightAfterADownload", home.path(),
                       "http://127.0.0.1:" + std::to_string(server.port())),
              0);
    ASSERT_TRUE(fs::exists(savedFile(home.path(), "CTR-EXIT")));
    auto saved = ZAVPResourceWithMetadata::parseFromData(
        ZAVWireData::create(testsupport::readFile(savedFile(home.path(), "CTR-EXIT"))),
        tmtest::ResourceBuilder::registry());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->supplementedResource()->fingerprint()->utf8(), "fp-7");
}

// The child: ends and starts the hit thread again and again, then exits with it running. Were each start
// to register the exit hook anew, the process's exit list would grow with every one.
TEST(TagManagerAtExitChild, RestartsTheHitThreadOftenThenExits) {
    const char* home = std::getenv(kHomeVariable);
    if (!home) GTEST_SKIP() << "run by TagManagerAtExit";
    plat::Paths::setHome(home);
    auto restart = [](int times) {
        for (int i = 0; i < times; ++i) {
            ZAVWorkers::zavThread().sync(nullptr);
            ZAVWorkers::zavThread().stop();
        }
    };
    restart(100);
    const int64_t before = heapInUse();
    restart(2000);
    EXPECT_LT(heapInUse() - before, 8 * 1024);
    ZAVWorkers::zavThread().sync(nullptr);
}

TEST(TagManagerAtExit, AThreadStartedThousandsOfTimesLeavesNothingBehindAndEndsAtExit) {
    testsupport::TempDir home;
    EXPECT_EQ(runChild("RestartsTheHitThreadOftenThenExits", home.path()), 0);
}

// The child: an app that keeps its progress in a static stream and finishes it from an exit handler, both
// made before the SDKs start, exits while the analytics worker's exit work outlasts the exit's wait. That
// work ends once the app's handler has run (or after a minute), so the exit must go on without it.
TEST(TagManagerAtExitChild, ExitsWhileTheAnalyticsWorkerIsSlow) {
    const char* home = std::getenv(kHomeVariable);
    if (!home) GTEST_SKIP() << "run by TagManagerAtExit";
    static std::ofstream progress(fs::path(home) / "progress");
    static std::atomic<bool> appSaved{false};
    progress << "level 3";
    std::atexit([] {
        progress << ", saved";
        appSaved = true;
    });
    ZAVWorkers::zavThread().atEnd([end = fs::path(home) / "at-end"] { std::ofstream(end) << "ran"; });
    ZAVWorkers::zavThread().sync(nullptr);
    RUVWorker::atExit([] {
        for (int i = 0; i < 6000 && !appSaved; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    std::exit(0);
}

TEST(TagManagerAtExit, ASlowAnalyticsWorkerAtExitLeavesTheAppsExitHandlersAndTheAtEndWorkToRun) {
    testsupport::TempDir home;
    EXPECT_EQ(runChild("ExitsWhileTheAnalyticsWorkerIsSlow", home.path()), 0);
    EXPECT_EQ(testsupport::readFile(home.path() / "progress"), "level 3, saved");
    EXPECT_EQ(testsupport::readFile(home.path() / "at-end"), "ran");
}
