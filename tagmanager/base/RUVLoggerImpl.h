#pragma once
// The analytics SDK's logger interface routed into the tag manager's facade, so one level setting governs
// both SDKs.
#include <cstdint>

#include "analytics/base/RUVLogger.h"

class RUVLoggerImpl : public RUVLogger {
  public:
    void verbose(const std::string& message) override;
    void info(const std::string& message) override;
    void warning(const std::string& message) override;
    void error(const std::string& message) override;
    // The tag manager's level, in the analytics SDK's terms.
    RUVLogLevel logLevel() const override;
    // The level belongs to the tag manager's logger: this only says so.
    void setLogLevel(RUVLogLevel level) override;
    static RUVLogLevel ruvLogLevelFromVuzLogLevel(uint32_t level);
};
