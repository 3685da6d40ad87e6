#pragma once
// The base of the placements the app creates (banner, popup, wall): the media id that names the
// placement on the ad server, and a number naming the view for the rest of the process.
#include <cstdint>
#include <string>

#include "platform/ui/View.h"

class ZividedirBaseView : public plat::View {
  public:
    explicit ZividedirBaseView(plat::Rect frame = {});

    const std::string& appID() const { return appID_; }
    void setAppID(const std::string& appID) { appID_ = appID; }
    void setAppId(const std::string& appId) { setAppID(appId); }
    const std::string& getAppId() const { return appID_; }

    // Unique among the views of this process (never reused), so the names made from it never collide.
    int32_t viewIdentity() const { return identity_; }

    // An HTML adapter reports here when its content has loaded or failed.
    virtual void loadFinish() {}
    virtual void loadFailed() {}

  private:
    std::string appID_;
    int32_t identity_;
};
