#include "platform/base/Log.h"

#include <cstdarg>
#include <cstdio>

#include "platform/base/Lasting.h"

namespace plat {
namespace {

std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}

LogSink& sinkSlot() {
    static Lasting<LogSink> sink;
    return *sink;
}

const char* levelTag(LogLevel level) {
    switch (level) {
        case LogLevel::Debug:
            return "debug";
        case LogLevel::Info:
            return "info";
        case LogLevel::Warning:
            return "warning";
        case LogLevel::Error:
            return "error";
    }
    return "";
}

void vlog(LogLevel level, const char* format, va_list args) {
    char small[512];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    std::string line;
    if (n < 0) {
        line = format;
    } else if (static_cast<size_t>(n) < sizeof small) {
        line.assign(small, static_cast<size_t>(n));
    } else {
        line.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(line.data(), line.size(), format, args);
        line.resize(static_cast<size_t>(n));
    }
    while (!line.empty() && line.back() == '\n') line.pop_back();
    logLine(level, line);
}

}  // namespace

void logLine(LogLevel level, const std::string& line) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    if (sinkSlot()) {
        sinkSlot()(level, line);
        return;
    }
    std::fprintf(stderr, "[%s] %s\n", levelTag(level), line.c_str());
}

void log(LogLevel level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vlog(level, format, args);
    va_end(args);
}

#define PLAT_LOG_AT(name, level)         \
    void name(const char* format, ...) { \
        va_list args;                    \
        va_start(args, format);          \
        vlog(level, format, args);       \
        va_end(args);                    \
    }
PLAT_LOG_AT(logInfo, LogLevel::Info)
PLAT_LOG_AT(logWarning, LogLevel::Warning)
PLAT_LOG_AT(logError, LogLevel::Error)
#undef PLAT_LOG_AT

LogSink setLogSink(LogSink sink) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    LogSink previous = std::move(sinkSlot());
    sinkSlot() = std::move(sink);
    return previous;
}

LogCapture::LogCapture() {
    previous_ = setLogSink([this](LogLevel, const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
    });
}

LogCapture::~LogCapture() {
    setLogSink(std::move(previous_));
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

bool LogCapture::contains(const std::string& fragment) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& line : lines_)
        if (line.find(fragment) != std::string::npos) return true;
    return false;
}

void LogCapture::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

}  // namespace plat
