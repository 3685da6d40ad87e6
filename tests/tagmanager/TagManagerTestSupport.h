#pragma once
// A ZAVLogger that keeps every message (level word and text), a scope that installs one as the current
// logger and puts the previous one back, and short makers of plain objects.
#include <mutex>
#include <string>
#include <vector>

#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/values/ZAVObject.h"

namespace tmtest {

inline ZAVObjectPtr T(const std::string& s) {
    return ZAVObject::text(s);
}
inline ZAVObjectPtr I(int64_t n) {
    return ZAVObject::integer(n);
}
inline ZAVObjectPtr M(const ZAVObject::Entries& entries) {
    return ZAVObject::map(entries);
}
inline ZAVObjectPtr L(ZAVObject::List items) {
    return ZAVObject::list(std::move(items));
}

class CapturingLogger : public ZAVLogger {
  public:
    struct Line {
        std::string level;
        std::string message;
    };
    void error(const std::string& m) override { add("error", m); }
    void warning(const std::string& m) override { add("warning", m); }
    void info(const std::string& m) override { add("info", m); }
    void debug(const std::string& m) override { add("debug", m); }
    void verbose(const std::string& m) override { add("verbose", m); }
    void setLogLevel(uint32_t level) override { level_ = level; }
    uint32_t logLevel() const override { return level_; }

    std::vector<Line> lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    // Messages at that level containing the fragment.
    size_t count(const std::string& level, const std::string& fragment = "") const {
        size_t n = 0;
        for (const auto& line : lines())
            if (line.level == level && line.message.find(fragment) != std::string::npos) ++n;
        return n;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
    }

  private:
    void add(const char* level, const std::string& message) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back({level, message});
    }
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
    std::atomic<uint32_t> level_{0};
};

class CapturedLog {
  public:
    CapturedLog() : logger_(std::make_shared<CapturingLogger>()), previous_(ZAVLog::logger()) {
        ZAVLog::setLogger(logger_);
    }
    ~CapturedLog() { ZAVLog::setLogger(previous_); }
    CapturingLogger& operator*() { return *logger_; }
    CapturingLogger* operator->() { return logger_.get(); }

  private:
    std::shared_ptr<CapturingLogger> logger_;
    std::shared_ptr<ZAVLogger> previous_;
};

}  // namespace tmtest
