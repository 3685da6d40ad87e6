// The analytics tag's default way into the analytics SDK. The SDK's process-wide logger slot is real; its
// tracker table is not part of the SDK yet, so no tracker can be opened and each attempt says so.
#include "analytics/RUV.h"
#include "tagmanager/ZAVLog.h"
#include "tagmanager/ZAVRuvAnalyticsBackend.h"

namespace {

class ZAVRuvSharedInstanceBackend final : public ZAVRuvAnalyticsBackend {
  public:
    std::shared_ptr<ZAVRuvTracker> trackerWithTrackingId(const std::string& trackingId) override {
        ZAVLog::warning("Analytics tag: no analytics tracker is available for " + trackingId +
                        "; nothing is sent");
        return nullptr;
    }
    void removeTrackerByName(const std::string&) override {}
    void setLogger(std::shared_ptr<RUVLogger> logger) override {
        RUV::exchangeSharedLogger(std::move(logger));
    }
};

}  // namespace

std::shared_ptr<ZAVRuvAnalyticsBackend> ZAVRuvAnalyticsBackend::defaultBackend() {
    static const auto backend = std::make_shared<ZAVRuvSharedInstanceBackend>();
    return backend;
}
