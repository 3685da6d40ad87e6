#pragma once
// The base of every ad-network adapter view: the operations through which the placements drive an
// adapter, each with a harmless default that an adapter overrides as it needs.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ads/base/ZividedirViewDelegate.h"
#include "platform/base/Value.h"
#include "platform/ui/View.h"

class ADFRJSAdEntity;
class ZividedirBaseView;
class ZividedirView;

namespace plat {
class ImageView;
}

// The adapter settings: text values under "appId", "userAdId", "deviceId", "loadHtml", "adnetworkKey"
// and "bgColor", and the ad entity itself (the "entity" key), which is no plain value.
struct ZividedirAdapterSettings {
    ZividedirAdapterSettings() = default;
    ZividedirAdapterSettings(plat::Value::Dictionary values) : values(std::move(values)) {}

    // The text under `key`; none when absent or not text.
    std::optional<std::string> text(std::string_view key) const;
    bool contains(std::string_view key) const {
        return values.contains(key) || (key == "entity" && entity != nullptr);
    }

    plat::Value::Dictionary values;
    std::shared_ptr<ADFRJSAdEntity> entity;
};

// A view class as the SDK looks it up by name (plat::ClassRegistry provider): it makes new views of a
// frame, as the class's initWithFrame: would.
class ZividedirViewClass {
  public:
    using Maker = std::function<std::shared_ptr<plat::View>(plat::Rect frame)>;
    explicit ZividedirViewClass(Maker maker) : maker_(std::move(maker)) {}
    std::shared_ptr<plat::View> initWithFrame(plat::Rect frame) const {
        return maker_ ? maker_(frame) : nullptr;
    }

    // Replaces a class of the same name.
    static void registerClass(const std::string& name, Maker maker);
    // Registers an adapter class under its kClassName.
    template <typename Adapter>
    static void registerAdapter() {
        registerClass(Adapter::kClassName, [](plat::Rect frame) { return std::make_shared<Adapter>(frame); });
    }
    // Null when no class of that name exists.
    static std::shared_ptr<ZividedirViewClass> named(std::string_view name);
    // The name a view's class is registered under, for labels and logs ("(null)" when unknown).
    static std::string nameOf(const plat::View& view);

  private:
    Maker maker_;
};

class ZividedirInterfaceView : public plat::View {
  public:
    explicit ZividedirInterfaceView(plat::Rect frame = {}) : plat::View(frame) {}

    // The adapter settings, right after the adapter was made.
    virtual void setting(const ZividedirAdapterSettings&) {}
    virtual void loadAd() {}
    virtual bool isDisplay() { return true; }
    // True while the ad asked for by loadAd has neither loaded nor failed.
    virtual bool isLoadingAd() const { return false; }
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
    // The name of the adapter's class, as registered.
    virtual std::string className() const { return "ZividedirInterfaceView"; }

  protected:
    // An image view of the adapter's frame size holding its snapshot at scale 1.
    std::shared_ptr<plat::ImageView> snapshotImageView();

  private:
    std::weak_ptr<ZividedirViewDelegate> delegate_;
    std::shared_ptr<ZividedirView> zividedirView_;
};

// Adapters that tell their placement (popup, wall) when their content has loaded or failed.
class ZividedirLoadReporting {
  public:
    virtual ~ZividedirLoadReporting() = default;
    // Not retained.
    virtual void setParentView(const std::shared_ptr<ZividedirBaseView>& parent) = 0;
};

// Adapters whose network has ad sizes of its own (the popup asks for one before the settings).
class ZividedirAdSizing {
  public:
    virtual ~ZividedirAdSizing() = default;
    virtual void setAdSize(int size) = 0;
};
