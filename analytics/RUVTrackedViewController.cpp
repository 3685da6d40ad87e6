#include "analytics/RUVTrackedViewController.h"

#include "analytics/RUV.h"
#include "analytics/RUVTrackerImpl.h"
#include "analytics/base/RUVFields.h"
#include "analytics/base/RUVLogger.h"

void RUVTrackedViewController::viewDidAppear(bool animated) {
    plat::ViewController::viewDidAppear(animated);
    if (!screenName_) {
        RUV_LOG(RUVLogLevel::Info, "Tracked view controller missing view name.");
        return;
    }
    std::shared_ptr<RUVTracker> target = tracker_.lock();
    if (!target) target = RUV::sharedInstance()->defaultTracker();
    if (!target) return;
    const RUVHitRecord screenView{{RUVFieldHitType, "screenview"}};
    // The SDK's own calls record no usage codes; another tracker kind only has the recorded ones.
    if (auto* impl = dynamic_cast<RUVTrackerImpl*>(target.get())) {
        impl->ruv_set(RUVFieldScreenName, screenName_);
        impl->ruv_send(screenView);
    } else {
        target->set(RUVFieldScreenName, screenName_);
        target->send(screenView);
    }
}
