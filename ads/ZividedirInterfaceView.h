#pragma once
// The base of every ad-network adapter view: the operations through which the placements drive an
// adapter, each with a harmless default that an adapter overrides as it needs.
#include <memory>

#include "ads/ZividedirViewDelegate.h"
#include "platform/base/Value.h"
#include "platform/ui/View.h"

class ZividedirView;

namespace plat {
class ImageView;
}

class ZividedirInterfaceView : public plat::View {
  public:
    explicit ZividedirInterfaceView(plat::Rect frame = {}) : plat::View(frame) {}

    // The adapter settings ("appId", "userAdId", "deviceId", "loadHtml", "adnetworkKey", "entity",
    // "bgColor"), right after the adapter was made.
    virtual void setting(const plat::Value::Dictionary&) {}
    virtual void loadAd() {}
    virtual bool isDisplay() { return true; }
    // True when the ad shows content.
    virtual bool checkDisplayAd() { return true; }
    virtual void postAdDisplayed() {}
    // Tells the delegate of a tap.
    virtual void postAdClicked();
    // A snapshot of the adapter for the banner's transition; none by default.
    virtual std::shared_ptr<plat::ImageView> getScreenImageView() { return nullptr; }

    // Not retained.
    std::shared_ptr<ZividedirViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<ZividedirViewDelegate>& delegate) { delegate_ = delegate; }
    const std::shared_ptr<ZividedirView>& zividedirView() const { return zividedirView_; }
    void setZividedirView(std::shared_ptr<ZividedirView> view) { zividedirView_ = std::move(view); }

  private:
    std::weak_ptr<ZividedirViewDelegate> delegate_;
    std::shared_ptr<ZividedirView> zividedirView_;
};
