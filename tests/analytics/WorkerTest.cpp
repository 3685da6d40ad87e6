#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <future>
#include <thread>

#include <pthread.h>

#include "analytics/RUV.h"
#include "analytics/store/RUVDataStore.h"
#include "tests/analytics/StoreTestSupport.h"

namespace {

constexpr const char* kExitChildEnv = "POTEMARU_ANALYTICS_EXIT";
constexpr int kQueuedHits = 20;

std::atomic<bool> loggerDestroyed{false};

// Hands every error line to the parent, marked when the slot, which alone holds it, has let it go.
class LineLogger : public RUVDefaultLogger {
  public:
    explicit LineLogger(int fd) : fd_(fd) {}
    ~LineLogger() override { loggerDestroyed = true; }
    void error(const std::string& message) override {
        const std::string line = message + (loggerDestroyed ? " (destroyed)" : "") + "\n";
        if (write(fd_, line.data(), line.size()) < 0) std::_Exit(1);
    }

  private:
    int fd_;
};

// Queues hits for the worker and exits at once. The last line comes from an exit handler registered
// before the SDK made anything, so it runs after every exit handler and static destructor of the SDK's.
[[noreturn]] void queueAndExit(const std::string& argument) {
    std::atexit([] { RUV_LOG(RUVLogLevel::Error, "logged at the very end"); });
    const size_t comma = argument.find(',');
    plat::Paths::setHome(argument.substr(comma + 1));
    RUV::exchangeSharedLogger(std::make_shared<LineLogger>(std::atoi(argument.substr(0, comma).c_str())));
    auto store = RUVDataStore::dataStore();
    for (int i = 0; i < kQueuedHits; ++i) {
        RUV::postToWorker([store] {
            store->addHit(
                plat::Value(plat::Value::Dictionary{{"parameters", plat::Value(plat::Value::Dictionary{})}}));
            store->save();
        });
    }
    std::exit(0);
}

const bool kIsExitChild = [] {
    if (const char* argument = std::getenv(kExitChildEnv)) queueAndExit(argument);
    return false;
}();

// The child's lines and how it ended; it ends by itself.
analyticstest::KilledChild runExitChild(const testsupport::TempDir& home) {
    return analyticstest::runChildUntilKilled(kExitChildEnv, home.path().string(), SIZE_MAX, 600);
}

}  // namespace

TEST(Worker, RunsPostedTasksOnRUVThread) {
    plat::Thread& worker = RUV::thread();
    EXPECT_EQ(&worker, &RUV::thread());
    EXPECT_EQ(worker.name(), "RUVThread");
    std::promise<std::string> name;
    RUV::postToWorker([&] { name.set_value(plat::Thread::currentName()); });
    auto future = name.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(future.get(), "RUVThread");
}

TEST(Worker, SleepsWhenIdle) {
    std::promise<clockid_t> clock;
    RUV::postToWorker([&] {
        clockid_t id;
        pthread_getcpuclockid(pthread_self(), &id);
        clock.set_value(id);
    });
    auto future = clock.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    clockid_t id = future.get();
    auto cpuNanos = [id] {
        timespec ts{};
        clock_gettime(id, &ts);
        return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    };
    int64_t before = cpuNanos();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LT(cpuNanos() - before, 10'000'000);
}

TEST(Worker, EveryPostedTaskRunsWhileTheWorkerIdles) {
    // Round trips that each find the worker idle: a wake-up lost between its checks would stall one (the
    // run loop's own tests pin that race down deterministically; this is the worker's end of it). Kept to
    // 2 000 so a sanitizer build on a busy machine, where each wake-up waits for a core, stays well inside
    // the time-out.
    for (int i = 0; i < 2000; ++i) {
        std::promise<void> done;
        RUV::postToWorker([&] { done.set_value(); });
        ASSERT_EQ(done.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready) << i;
    }
}

TEST(Worker, ExitRunsTheQueuedWorkAndFoldsTheStoresIntoTheirMainFiles) {
    ASSERT_FALSE(kIsExitChild);
    testsupport::TempDir home;
    EXPECT_EQ(runExitChild(home).status, 0);
    const auto file = home.path() / "Library" / RUVDataStore::kStoreFileName;
    EXPECT_FALSE(std::filesystem::exists(file.string() + "-wal"));
    std::filesystem::copy_file(file, home.path() / "alone.sql");
    EXPECT_EQ(analyticstest::RawDb(home.path() / "alone.sql").scalar("SELECT count(*) FROM RUVHit"),
              std::to_string(kQueuedHits));
}

TEST(Worker, TheLoggerServesUntilTheProcessEnds) {
    testsupport::TempDir home;
    const analyticstest::KilledChild child = runExitChild(home);
    EXPECT_EQ(child.status, 0);
    ASSERT_EQ(child.reported.size(), 1u);
    EXPECT_TRUE(child.reported.begin()->ends_with("): logged at the very end"));
}
