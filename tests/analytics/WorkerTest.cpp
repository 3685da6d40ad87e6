#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <future>
#include <thread>

#include <pthread.h>

#include "analytics/RUV.h"

TEST(Worker, RunsPostedTasksOnRUVThread) {
    plat::Thread& worker = RUV::thread();
    EXPECT_EQ(&worker, &RUV::thread());
    EXPECT_EQ(worker.name(), "RUVThread");
    std::promise<std::string> name;
    worker.post([&] { name.set_value(plat::Thread::currentName()); });
    auto future = name.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(future.get(), "RUVThread");
}

TEST(Worker, SleepsWhenIdle) {
    std::promise<clockid_t> clock;
    RUV::thread().post([&] {
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
