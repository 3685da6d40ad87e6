#pragma once
// The tag manager's logging facade and its default logger. Every diagnostic goes through ZAVLog, which
// forwards to the current logger; the application may replace that logger at any time, from any thread.
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

// Smaller is more verbose; compared as an unsigned number, so anything above None prints nothing.
enum ZAVLoggerLogLevel : uint32_t {
    ZAVLoggerLogLevelVerbose = 0,
    ZAVLoggerLogLevelDebug = 1,
    ZAVLoggerLogLevelInfo = 2,
    ZAVLoggerLogLevelWarning = 3,
    ZAVLoggerLogLevelError = 4,
    ZAVLoggerLogLevelNone = 5,
};

class ZAVLogger {
  public:
    virtual ~ZAVLogger() = default;
    virtual void error(const std::string& message) = 0;
    virtual void warning(const std::string& message) = 0;
    virtual void info(const std::string& message) = 0;
    virtual void debug(const std::string& message) = 0;
    virtual void verbose(const std::string& message) = 0;
    virtual void setLogLevel(uint32_t level) = 0;
    virtual uint32_t logLevel() const = 0;
};

// Writes one platform log line per message that its level lets through:
// "ZuruziVarOvozivi <level>: <message>".
class ZAVDefaultLogger : public ZAVLogger {
  public:
    ZAVDefaultLogger() = default;
    void error(const std::string& message) override;
    void warning(const std::string& message) override;
    void info(const std::string& message) override;
    void debug(const std::string& message) override;
    void verbose(const std::string& message) override;
    void setLogLevel(uint32_t level) override;
    uint32_t logLevel() const override;

  private:
    // Read by every logging thread while the app may change it.
    std::atomic<uint32_t> logLevel_{ZAVLoggerLogLevelWarning};
};

class ZAVLog {
  public:
    ZAVLog() = delete;
    static void error(const std::string& message);
    static void warning(const std::string& message);
    static void info(const std::string& message);
    static void debug(const std::string& message);
    static void verbose(const std::string& message);
    // The current logger's level; 0 when there is no logger.
    static uint32_t logLevel();
    static std::shared_ptr<ZAVLogger> logger();
    // An empty logger drops every message.
    static void setLogger(std::shared_ptr<ZAVLogger> logger);
    // A fresh default logger, as at start-up (tests put the process back with it).
    static void resetToDefault();
};

// printf-style text for log messages.
std::string zavFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The reason of whatever was thrown (a named exception's reason, a standard exception's text).
std::string zavExceptionReason(std::exception_ptr thrown);
// For the public operations that never let anything out: inside a catch, logs at error level
// "Calling <operation> threw an exception: <reason>" for the exception being handled.
void zavLogCallingException(const std::string& operation);
