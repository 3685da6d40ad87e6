#include "analytics/base/RUVLogger.h"

#include <cstdio>
#include <vector>

#include "platform/base/Log.h"

namespace {

void print(RUVLogLevel wanted, RUVLogLevel current, plat::LogLevel platLevel, const char* tag,
           const std::string& message) {
    if (static_cast<unsigned>(current) < static_cast<unsigned>(wanted)) return;
    plat::logLine(platLevel, std::string(tag) + ": " + message);
}

}  // namespace

void RUVDefaultLogger::verbose(const std::string& message) {
    print(RUVLogLevel::Verbose, logLevel(), plat::LogLevel::Debug, "VERBOSE", message);
}
void RUVDefaultLogger::info(const std::string& message) {
    print(RUVLogLevel::Info, logLevel(), plat::LogLevel::Info, "INFO", message);
}
void RUVDefaultLogger::warning(const std::string& message) {
    print(RUVLogLevel::Warning, logLevel(), plat::LogLevel::Warning, "WARNING", message);
}
void RUVDefaultLogger::error(const std::string& message) {
    print(RUVLogLevel::Error, logLevel(), plat::LogLevel::Error, "ERROR", message);
}

std::string ruvVFormat(const char* format, va_list args) {
    if (!format) return {};
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), format, args);
    return std::string(big.data(), static_cast<size_t>(n));
}

std::string ruvFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = ruvVFormat(format, args);
    va_end(args);
    return text;
}
