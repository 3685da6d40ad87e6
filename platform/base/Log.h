#pragma once
// Process-wide logging. Lines go to stderr unless a sink is installed (tests capture them with LogCapture).
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace plat {

enum class LogLevel { Debug, Info, Warning, Error };

void log(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logLine(LogLevel level, const std::string& line);

// A sink receives each finished line without its trailing newline. Returns the sink it replaced.
using LogSink = std::function<void(LogLevel, const std::string&)>;
LogSink setLogSink(LogSink sink);

// Collects every line logged (from any thread) while it lives, instead of printing them.
class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(const std::string& fragment) const;
    void clear();

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    LogSink previous_;
};

}  // namespace plat
