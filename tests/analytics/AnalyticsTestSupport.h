#pragma once
// Shared by the analytics tests: a logger that keeps every line, installed for a scope.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "analytics/RUV.h"
#include "analytics/base/RUVLogger.h"
#include "platform/net/URLLoader.h"

namespace analyticstest {

class RecordingLogger : public RUVLogger {
  public:
    void verbose(const std::string& m) override { add("V " + m); }
    void info(const std::string& m) override { add("I " + m); }
    void warning(const std::string& m) override { add("W " + m); }
    void error(const std::string& m) override { add("E " + m); }
    RUVLogLevel logLevel() const override { return RUVLogLevel::Verbose; }
    void setLogLevel(RUVLogLevel) override {}

    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    // Lines that contain `fragment`.
    size_t count(const std::string& fragment) const {
        std::lock_guard lock(mutex_);
        size_t n = 0;
        for (const auto& l : lines_) n += l.find(fragment) != std::string::npos;
        return n;
    }
    bool contains(const std::string& fragment) const { return count(fragment) > 0; }

  private:
    void add(std::string line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Installs a RecordingLogger in the SDK's slot and puts the previous logger back afterwards.
class LoggerScope {
  public:
    LoggerScope()
        : logger_(std::make_shared<RecordingLogger>()), previous_(RUV::exchangeSharedLogger(logger_)) {}
    ~LoggerScope() { RUV::exchangeSharedLogger(previous_); }
    LoggerScope(const LoggerScope&) = delete;
    LoggerScope& operator=(const LoggerScope&) = delete;
    RecordingLogger& operator*() const { return *logger_; }
    RecordingLogger* operator->() const { return logger_.get(); }

  private:
    std::shared_ptr<RecordingLogger> logger_;
    std::shared_ptr<RUVLogger> previous_;
};

}  // namespace analyticstest

#include <future>
#include <type_traits>
#include <utility>

namespace analyticstest {

// Runs `f` on "RUVThread" and waits for its result.
template <typename F>
auto onWorker(F&& f) -> std::invoke_result_t<F&> {
    using R = std::invoke_result_t<F&>;
    std::packaged_task<R()> task(std::forward<F>(f));
    auto result = task.get_future();
    RUV::postToWorker([&task] { task(); });
    return result.get();
}

// Waits until everything queued on the worker so far has run.
inline void drainWorker() {
    onWorker([] {});
}

// Waits for the worker, then frees its idle URL loader, so no kept-alive connection outlives the test (a
// socket closing later would wake the worker while the process may be ending).
inline void releaseWorkerConnections() {
    onWorker([] { plat::URLLoader::releaseIdle(); });
}

}  // namespace analyticstest
