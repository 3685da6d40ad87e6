#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <future>
#include <thread>
#include <vector>

#include "platform/base/Clock.h"
#include "platform/base/Descriptors.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/SerialQueue.h"
#include "platform/runloop/Thread.h"
#include "tests/support/TestSupport.h"

using plat::RunLoop;

namespace {
// Runs the main loop until `done` holds; the real-time bound only guards against a hang.
template <typename Pred>
bool runUntil(RunLoop& loop, Pred done) {
    for (int i = 0; i < 2000 && !done(); ++i) loop.runOnce(0.005);
    return done();
}
}  // namespace

TEST(RunLoop, MainLoopIsTheMainThreadsCurrentLoop) {
    EXPECT_EQ(&RunLoop::current(), &RunLoop::main());
    EXPECT_TRUE(RunLoop::main().isCurrent());
    RunLoop* other = nullptr;
    bool mainIsCurrentThere = true;
    std::thread([&] {
        other = &RunLoop::current();
        mainIsCurrentThere = RunLoop::main().isCurrent();
    }).join();
    EXPECT_NE(other, &RunLoop::main());
    EXPECT_FALSE(mainIsCurrentThere);
}

TEST(RunLoop, VirtualTimersFireInDueOrderOnlyWhenTheClockReachesThem) {
    testsupport::VirtualClockScope scope;
    RunLoop loop;
    std::vector<int> fired;
    loop.addTimer(0.2, [&] { fired.push_back(2); });
    loop.addTimer(0.1, [&] { fired.push_back(1); });
    auto cancelled = loop.addTimer(0.15, [&] { fired.push_back(99); });
    loop.cancelTimer(cancelled);

    EXPECT_EQ(loop.runOnce(5.0), 0);  // a virtual clock never waits for a timer
    scope.clock().advance(0.1);
    loop.runOnce();
    EXPECT_EQ(fired, (std::vector<int>{1}));
    scope.clock().advance(1.0);
    loop.runOnce();
    EXPECT_EQ(fired, (std::vector<int>{1, 2}));
    EXPECT_FALSE(loop.nextTimerDueMicros().has_value());
}

TEST(RunLoop, RepeatingTimerAt60HzKeepsExactTicksAndSkipsMissedOnes) {
    testsupport::VirtualClockScope scope;
    RunLoop loop;
    int ticks = 0;
    auto start = scope.clock().monotonicMicros();
    auto id = loop.addTimer(
        1.0 / 60, [&] { ++ticks; }, 1.0 / 60);
    // 600 frames of exactly 1/60 s, rounded to whole microseconds the same way: one tick each, no drift.
    for (int frame = 1; frame <= 600; ++frame) {
        int64_t target = start + std::llround(frame * 1e6 / 60);
        scope.clock().advanceMicros(target - scope.clock().monotonicMicros());
        loop.runOnce();
        ASSERT_EQ(ticks, frame);
    }
    // A long stall fires once, not once per missed tick.
    scope.clock().advance(1.0);
    loop.runOnce();
    EXPECT_EQ(ticks, 601);
    loop.cancelTimer(id);
    EXPECT_FALSE(loop.hasTimer(id));
}

TEST(RunLoop, TimerCancellingItselfOrAnotherDueTimerStopsThem) {
    testsupport::VirtualClockScope scope;
    RunLoop loop;
    int a = 0, b = 0;
    RunLoop::TimerId idA = 0, idB = 0;
    idA = loop.addTimer(
        0.01,
        [&] {
            ++a;
            loop.cancelTimer(idA);
            loop.cancelTimer(idB);
        },
        0.01);
    idB = loop.addTimer(0.01, [&] { ++b; });
    // A zero-delay timer added from a callback waits for the next pass.
    loop.addTimer(0.0, [&] { loop.addTimer(0.0, [&] { ++b; }); });
    scope.clock().advance(0.05);
    loop.runOnce();
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
    loop.runOnce();
    EXPECT_EQ(b, 1);
    scope.clock().advance(0.05);
    EXPECT_EQ(loop.runOnce(), 0);
}

TEST(RunLoop, TimerRunningTheLoopAgainLeavesTheOuterPassIntact) {
    testsupport::VirtualClockScope scope;
    RunLoop loop;
    std::vector<int> fired;
    // The first timer's nested pass sees the two others due and runs them; the outer pass then finds them
    // gone and must neither run them twice nor lose its own place in its list.
    loop.addTimer(0.01, [&] {
        fired.push_back(1);
        loop.runOnce();
        fired.push_back(10);
    });
    loop.addTimer(0.02, [&] { fired.push_back(2); });
    loop.addTimer(0.03, [&] { fired.push_back(3); });
    scope.clock().advance(0.05);
    loop.runOnce();
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 3, 10}));

    // Later passes, nested or not, still fire what is due.
    loop.addTimer(0.01, [&] { fired.push_back(4); });
    scope.clock().advance(0.05);
    loop.runOnce();
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 3, 10, 4}));
}

TEST(RunLoop, RealClockWaitEndsAtTheNextTimer) {
    RunLoop loop;
    bool fired = false;
    loop.addTimer(0.01, [&] { fired = true; });
    for (int i = 0; i < 100 && !fired; ++i) loop.runOnce(10.0);
    EXPECT_TRUE(fired);
}

namespace {
// A real clock that, once armed, posts a task to `loop` the next time the loop reads the steady time:
// that read sits between the loop's look at its posted tasks and its check of the descriptors, the
// window in which a post from another thread can land.
class PostingClock : public plat::Clock {
  public:
    PostingClock(RunLoop& loop, RunLoop::Task task) : loop_(loop), task_(std::move(task)) {}
    int64_t nowMicros() const override { return real_.nowMicros(); }
    int64_t monotonicMicros() const override {
        if (task_) {
            loop_.post(std::move(task_));
            task_ = nullptr;
        }
        return real_.monotonicMicros();
    }
    bool isVirtual() const override { return false; }

  private:
    plat::RealClock real_;
    RunLoop& loop_;
    mutable RunLoop::Task task_;
};
}  // namespace

TEST(RunLoop, PostLandingAfterTheTaskCheckRunsInTheSamePass) {
    RunLoop loop;
    bool ran = false;
    auto previous = plat::Clock::setShared(std::make_shared<PostingClock>(loop, [&] { ran = true; }));
    // Its wake-up is consumed by this pass; a pass that left the task queued would, with a longer wait,
    // sleep with nothing left to wake it.
    int count = loop.runOnce(0);
    plat::Clock::setShared(previous);
    EXPECT_TRUE(ran);
    EXPECT_EQ(count, 1);
    loop.discardAll();
}

TEST(RunLoop, PostsFromOtherThreadsRunInOrderOnTheLoopThread) {
    testsupport::VirtualClockScope scope;  // posts wake the loop whatever the clock
    auto& loop = RunLoop::main();
    std::vector<int> seen;
    std::atomic<int> offThread{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i)
                loop.post([&, t, i] {
                    if (!RunLoop::main().isCurrent()) ++offThread;
                    seen.push_back(t * 1000 + i);
                });
        });
    }
    for (auto& p : posters) p.join();
    ASSERT_TRUE(runUntil(loop, [&] { return seen.size() == 400; }));
    EXPECT_EQ(offThread.load(), 0);
    for (int t = 0; t < 4; ++t) {
        int last = -1;
        for (int v : seen)
            if (v / 1000 == t) {
                EXPECT_GT(v, last);
                last = v;
            }
    }
}

TEST(RunLoop, RunReturnsOnStopAndMovesVirtualTimeToTheNextTimer) {
    testsupport::VirtualClockScope scope;
    auto& loop = RunLoop::main();
    auto before = scope.clock().monotonicMicros();
    int ticks = 0;
    auto id = loop.addTimer(
        10.0,
        [&] {
            if (++ticks == 3) loop.stop();
        },
        10.0);
    loop.run();
    loop.cancelTimer(id);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(scope.clock().monotonicMicros() - before, 30'000'000);

    std::thread([&] { loop.post([&] { loop.stop(); }); }).join();
    loop.run();  // returns once the posted stop runs
    EXPECT_FALSE(loop.isRunning());
}

TEST(RunLoop, FdWatchReportsReadableAndHangUpAndStopsAfterUnwatch) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    RunLoop loop;
    std::string received;
    unsigned lastEvents = 0;
    auto id = loop.watchFd(fds[0], RunLoop::kReadable, [&](int fd, unsigned events) {
        lastEvents = events;
        char buf[16];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) received.append(buf, n);
    });
    EXPECT_EQ(loop.runOnce(0), 0);
    std::thread([&] { ASSERT_EQ(write(fds[1], "ping", 4), 4); }).join();
    ASSERT_TRUE(runUntil(loop, [&] { return received == "ping"; }));
    EXPECT_TRUE(lastEvents & RunLoop::kReadable);

    close(fds[1]);
    ASSERT_TRUE(runUntil(loop, [&] { return (lastEvents & RunLoop::kHangUp) != 0; }));
    loop.unwatchFd(id);
    EXPECT_EQ(loop.runOnce(0), 0);
    close(fds[0]);
    EXPECT_EQ(loop.watchFd(-1, RunLoop::kReadable, [](int, unsigned) {}), 0u);
}

// Out of descriptors, a loop made then has no wake-up: it says so once, and still runs what is posted to
// it and its timers. In a child, since the limit and the note are the process's.
TEST(RunLoop, ALoopMadeWithNoDescriptorLeftStillRuns) {
    const pid_t child = ::fork();
    if (child == 0) {
        // The lowest free descriptor becomes the limit while the loop is made: none can be opened. (The
        // sanitizers need descriptors for their own checks afterwards.)
        struct rlimit old {};
        const int free = ::dup(STDIN_FILENO);
        ::close(free);
        if (free < 0 || ::getrlimit(RLIMIT_NOFILE, &old) != 0) ::_exit(2);
        const struct rlimit none { static_cast<rlim_t>(free), old.rlim_max };
        if (::setrlimit(RLIMIT_NOFILE, &none) != 0) ::_exit(2);
        RunLoop loop;
        ::setrlimit(RLIMIT_NOFILE, &old);
        bool posted = false, timed = false;
        loop.post([&] { posted = true; });
        loop.addTimer(0.01, [&] { timed = true; });
        for (int i = 0; i < 500 && !(posted && timed); ++i) loop.runOnce(10);
        ::_exit(posted && timed && plat::outOfDescriptors() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(Thread, RunsTasksAndTimersOnItsOwnNamedLoop) {
    plat::Thread thread("RUVThread");
    ASSERT_TRUE(thread.start());
    EXPECT_FALSE(thread.start());
    std::atomic<bool> ok{false}, quitsHeldBack{false};
    std::string name;
    thread.post([&] {
        name = plat::Thread::currentName();
        ok = (&RunLoop::current() == &thread.runLoop()) && thread.isCurrent();
        // The process's quits are the main thread's alone.
        sigset_t mask;
        quitsHeldBack = pthread_sigmask(SIG_BLOCK, nullptr, &mask) == 0 && sigismember(&mask, SIGINT) == 1 &&
                        sigismember(&mask, SIGTERM) == 1;
    });
    std::atomic<int> timerRuns{0};
    std::promise<void> fired;
    thread.runLoop().addTimer(0.001, [&] {
        if (++timerRuns == 1) fired.set_value();
    });
    EXPECT_EQ(fired.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    thread.stop();
    EXPECT_TRUE(ok);
    EXPECT_TRUE(quitsHeldBack);
    EXPECT_EQ(name, "RUVThread");
    EXPECT_EQ(timerRuns.load(), 1);
    EXPECT_EQ(plat::Thread::currentName(), "main");
}

TEST(SerialQueue, RunsInOrderAndSyncWaits) {
    plat::SerialQueue queue("queue");
    std::vector<int> order;
    for (int i = 0; i < 50; ++i) queue.async([&, i] { order.push_back(i); });
    bool nestedRanInline = false;
    queue.sync([&] { queue.sync([&] { nestedRanInline = queue.isCurrent(); }); });
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
    EXPECT_TRUE(nestedRanInline);

    bool onMain = false;
    std::thread([&] { plat::mainQueue().async([&] { onMain = RunLoop::main().isCurrent(); }); }).join();
    ASSERT_TRUE(runUntil(RunLoop::main(), [&] { return onMain; }));
}
