#include "platform/runloop/Thread.h"

#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/runloop/QuitSignals.h"

namespace plat {
namespace {
thread_local std::string tThreadName;
}

Thread::Thread(std::string name) : name_(std::move(name)), loop_(std::make_unique<RunLoop>()) {}

Thread::~Thread() {
    stop();
}

bool Thread::start() {
    if (worker_.joinable()) return false;
    worker_ = std::thread([this] {
        holdQuitsBack();
        tThreadName = name_;
        // The kernel keeps at most 15 characters of a thread name.
        pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
        RunLoop::adoptForCurrentThread(loop_.get());
        loop_->run();
        RunLoop::adoptForCurrentThread(nullptr);
    });
    return true;
}

void Thread::stop() {
    if (!worker_.joinable()) return;
    loop_->stop();
    if (isCurrent()) return;
    worker_.join();
}

std::string Thread::currentName() {
    if (!tThreadName.empty()) return tThreadName;
    if (static_cast<pid_t>(syscall(SYS_gettid)) == getpid()) return "main";
    return {};
}

void Thread::holdQuitsBack() {
    const sigset_t quits = QuitSignals::set();
    pthread_sigmask(SIG_BLOCK, &quits, nullptr);
}

}  // namespace plat
