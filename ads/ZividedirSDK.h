#pragma once
// The SDK's entry object for apps that would rather ask for a banner than make one: it makes banner
// placements and holds no state. One instance for the process.
#include <memory>

#include "platform/ui/Geometry.h"

class ZividedirView;
class ZividedirViewDelegate;

class ZividedirSDK {
  public:
    static std::shared_ptr<ZividedirSDK> sharedManager();

    // A new banner with the delegate (not retained), not started: the caller sets the media id, adds it
    // to its views and sends startShowAd.
    std::shared_ptr<ZividedirView> adViewWithFrame(
        plat::Rect frame, const std::shared_ptr<ZividedirViewDelegate>& delegate) const;

  private:
    ZividedirSDK() = default;
};
