#include "tagmanager/base/ZAVLog.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/base/Error.h"
#include "platform/base/Lasting.h"
#include "platform/base/Log.h"

namespace {

// The current logger behind a lock: a thread logging while another replaces the logger keeps the one it
// read alive through its own reference.
class LoggerSlot {
  public:
    std::shared_ptr<ZAVLogger> load() {
        std::lock_guard<std::mutex> lock(mutex_);
        return logger_;
    }
    void store(std::shared_ptr<ZAVLogger> logger) {
        std::lock_guard<std::mutex> lock(mutex_);
        logger_.swap(logger);
    }

  private:
    std::mutex mutex_;
    std::shared_ptr<ZAVLogger> logger_ = std::make_shared<ZAVDefaultLogger>();
};

// Threads that outlive main log through it: the analytics worker with its logger routed here, a
// tag-manager worker ending at exit.
LoggerSlot& currentLogger() {
    static plat::Lasting<LoggerSlot> slot;
    return *slot;
}

void printLine(plat::LogLevel platformLevel, const char* word, const std::string& message) {
    plat::log(platformLevel, "%s %s: %s", "ZuruziVarOvozivi", word, message.c_str());
}

}  // namespace

std::string zavFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(length));
    }
    va_end(args);
    return text;
}

void ZAVDefaultLogger::error(const std::string& message) {
    if (logLevel() <= ZAVLoggerLogLevelError) printLine(plat::LogLevel::Error, "error", message);
}

void ZAVDefaultLogger::warning(const std::string& message) {
    if (logLevel() <= ZAVLoggerLogLevelWarning) printLine(plat::LogLevel::Warning, "warning", message);
}

void ZAVDefaultLogger::info(const std::string& message) {
    if (logLevel() <= ZAVLoggerLogLevelInfo) printLine(plat::LogLevel::Info, "info", message);
}

void ZAVDefaultLogger::debug(const std::string& message) {
    if (logLevel() <= ZAVLoggerLogLevelDebug) printLine(plat::LogLevel::Debug, "debug", message);
}

void ZAVDefaultLogger::verbose(const std::string& message) {
    if (logLevel() == ZAVLoggerLogLevelVerbose) printLine(plat::LogLevel::Debug, "verbose", message);
}

void ZAVDefaultLogger::setLogLevel(uint32_t level) {
    logLevel_.store(level, std::memory_order_relaxed);
}

uint32_t ZAVDefaultLogger::logLevel() const {
    return logLevel_.load(std::memory_order_relaxed);
}

void ZAVLog::error(const std::string& message) {
    if (auto logger = currentLogger().load()) logger->error(message);
}

void ZAVLog::warning(const std::string& message) {
    if (auto logger = currentLogger().load()) logger->warning(message);
}

void ZAVLog::info(const std::string& message) {
    if (auto logger = currentLogger().load()) logger->info(message);
}

void ZAVLog::debug(const std::string& message) {
    if (auto logger = currentLogger().load()) logger->debug(message);
}

void ZAVLog::verbose(const std::string& message) {
    if (auto logger = currentLogger().load()) logger->verbose(message);
}

uint32_t ZAVLog::logLevel() {
    auto logger = currentLogger().load();
    return logger ? logger->logLevel() : 0;
}

std::shared_ptr<ZAVLogger> ZAVLog::logger() {
    return currentLogger().load();
}

void ZAVLog::setLogger(std::shared_ptr<ZAVLogger> logger) {
    currentLogger().store(std::move(logger));
}

void ZAVLog::resetToDefault() {
    currentLogger().store(std::make_shared<ZAVDefaultLogger>());
}

std::string zavExceptionReason(std::exception_ptr thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const plat::Exception& e) {
        return e.reason();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

void zavLogCallingException(const std::string& operation) {
    ZAVLog::error("Calling " + operation +
                  " threw an exception: " + zavExceptionReason(std::current_exception()));
}
