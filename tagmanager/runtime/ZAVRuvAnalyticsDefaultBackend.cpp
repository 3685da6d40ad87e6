// The analytics tag's default way into the analytics SDK: the SDK's shared instance, its trackers and its
// logger slot.
#include "analytics/RUV.h"
#include "analytics/RUVTracker.h"
#include "tagmanager/runtime/ZAVRuvAnalyticsBackend.h"

namespace {

class ZAVRuvSharedTracker final : public ZAVRuvTracker {
  public:
    explicit ZAVRuvSharedTracker(std::shared_ptr<RUVTracker> tracker) : tracker_(std::move(tracker)) {}
    std::string name() const override { return tracker_->name(); }
    void setAllowIDFACollection(bool allow) override { tracker_->setAllowIDFACollection(allow); }
    void send(const RUVHitRecord& parameters) override { tracker_->send(parameters); }

  private:
    std::shared_ptr<RUVTracker> tracker_;
};

class ZAVRuvSharedInstanceBackend final : public ZAVRuvAnalyticsBackend {
  public:
    std::shared_ptr<ZAVRuvTracker> trackerWithTrackingId(const std::string& trackingId) override {
        auto tracker = RUV::sharedInstance()->trackerWithTrackingId(trackingId);
        return tracker ? std::make_shared<ZAVRuvSharedTracker>(std::move(tracker)) : nullptr;
    }
    void removeTrackerByName(const std::string& name) override {
        RUV::sharedInstance()->removeTrackerByName(name);
    }
    void setLogger(std::shared_ptr<RUVLogger> logger) override {
        RUV::sharedInstance()->setLogger(std::move(logger));
    }
};

}  // namespace

std::shared_ptr<ZAVRuvAnalyticsBackend> ZAVRuvAnalyticsBackend::defaultBackend() {
    static const auto backend = std::make_shared<ZAVRuvSharedInstanceBackend>();
    return backend;
}
