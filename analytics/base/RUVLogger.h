#pragma once
// The SDK's logger protocol and its default implementation.
#include <atomic>
#include <cstdarg>
#include <string>

enum class RUVLogLevel : unsigned { None = 0, Error = 1, Warning = 2, Info = 3, Verbose = 4 };

class RUVLogger {
  public:
    virtual ~RUVLogger() = default;
    virtual void verbose(const std::string& message) = 0;
    virtual void info(const std::string& message) = 0;
    virtual void warning(const std::string& message) = 0;
    virtual void error(const std::string& message) = 0;
    virtual RUVLogLevel logLevel() const = 0;
    virtual void setLogLevel(RUVLogLevel level) = 0;
};

// Prints through the platform log as "<LEVEL>: <message>" when the message's level is at most logLevel.
// The level is read by whichever thread logs, so it is atomic.
class RUVDefaultLogger : public RUVLogger {
  public:
    RUVDefaultLogger() = default;
    void verbose(const std::string& message) override;
    void info(const std::string& message) override;
    void warning(const std::string& message) override;
    void error(const std::string& message) override;
    RUVLogLevel logLevel() const override { return level_.load(std::memory_order_relaxed); }
    void setLogLevel(RUVLogLevel level) override { level_.store(level, std::memory_order_relaxed); }

  private:
    std::atomic<RUVLogLevel> level_{RUVLogLevel::Warning};
};

// printf-style formatting into a string.
std::string ruvFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string ruvVFormat(const char* format, va_list args);
