#include "analytics/base/RUVWorker.h"

#include <cstring>

void ruvLogLine(RUVLogLevel level, const char* function, const char* file, int line, const char* format,
                ...) {
    if (level == RUVLogLevel::None) return;
    const char* base = file ? std::strrchr(file, '/') : nullptr;
    base = base ? base + 1 : (file ? file : "");
    std::string text = ruvFormat("%s %s %s (%s:%d): ", "ZediveAnalytics", RUVWorker::kVersion,
                                 function ? function : "", base, line);
    va_list args;
    va_start(args, format);
    text += ruvVFormat(format, args);
    va_end(args);
    auto logger = RUVWorker::sharedLogger();
    switch (level) {
        case RUVLogLevel::Error:
            logger->error(text);
            break;
        case RUVLogLevel::Warning:
            logger->warning(text);
            break;
        case RUVLogLevel::Info:
            logger->info(text);
            break;
        case RUVLogLevel::Verbose:
            logger->verbose(text);
            break;
        case RUVLogLevel::None:
            break;
    }
}
