#include "tagmanager/base/RUVLoggerImpl.h"

#include "tagmanager/base/ZAVLog.h"

void RUVLoggerImpl::verbose(const std::string& message) {
    ZAVLog::verbose(message);
}

void RUVLoggerImpl::info(const std::string& message) {
    ZAVLog::info(message);
}

void RUVLoggerImpl::warning(const std::string& message) {
    ZAVLog::warning(message);
}

void RUVLoggerImpl::error(const std::string& message) {
    ZAVLog::error(message);
}

RUVLogLevel RUVLoggerImpl::logLevel() const {
    return ruvLogLevelFromVuzLogLevel(ZAVLog::logLevel());
}

void RUVLoggerImpl::setLogLevel(RUVLogLevel) {
    ZAVLog::warning("GA uses VUZ logger. Please use ZODAruzivu.logger.logLevel instead.");
}

RUVLogLevel RUVLoggerImpl::ruvLogLevelFromVuzLogLevel(uint32_t level) {
    switch (level) {
        case ZAVLoggerLogLevelVerbose:
        case ZAVLoggerLogLevelDebug:
            return RUVLogLevel::Verbose;
        case ZAVLoggerLogLevelInfo:
            return RUVLogLevel::Info;
        case ZAVLoggerLogLevelWarning:
            return RUVLogLevel::Warning;
        case ZAVLoggerLogLevelError:
            return RUVLogLevel::Error;
        default:
            return RUVLogLevel::None;
    }
}
