#include "ads/adapters/ZividedirViewFactory.h"

#include "ads/adapters/ADFRGamefeatView.h"
#include "ads/adapters/ADFRInMobiAPIView.h"
#include "ads/adapters/ADFRLeadboltAPIView.h"
#include "ads/adapters/ADFRMMediaAPIView.h"
#include "ads/adapters/ADFRScaleoutAPIView.h"
#include "ads/adapters/ADFRTjkAdnetworkView.h"
#include "ads/adapters/ADFRZucksAPIView.h"
#include "ads/adapters/ZIZRadWallWebView.h"
#include "ads/adapters/ZIZRadWebView.h"
#include "ads/adapters/ZIZRiADView.h"
#include "ads/base/ADFRRandom.h"
#include "ads/base/ZividedirBaseView.h"
#include "ads/settings/ADFRData.h"
#include "platform/base/Log.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Label.h"

namespace {

// The network table: key -> the adapter class that shows that network's ads.
constexpr std::pair<const char*, const char*> kNetworkTable[] = {
    {"8888", "ADFRTjkAdnetworkView"}, {"1075", "ADFRScaleoutAPIView"}, {"1065", "ADFRGamefeatView"},
    {"1003", "ADFRInMobiAPIView"},    {"1058", "ADFRLeadboltAPIView"}, {"1061", "ADFRLeadboltAPIView"},
    {"1060", "ADFRMMediaAPIView"},    {"1035", "ADFRZucksAPIView"},
};

void handParentOnNextTurn(const std::shared_ptr<ZividedirInterfaceView>& adapter,
                          const std::shared_ptr<ZividedirBaseView>& parentView) {
    if (!dynamic_cast<ZividedirLoadReporting*>(adapter.get())) return;
    std::weak_ptr<ZividedirInterfaceView> weakAdapter = adapter;
    std::weak_ptr<ZividedirBaseView> weakParent = parentView;
    plat::RunLoop::main().post([weakAdapter, weakParent] {
        auto a = weakAdapter.lock();
        if (auto* reporting = dynamic_cast<ZividedirLoadReporting*>(a.get()))
            reporting->setParentView(weakParent.lock());
    });
}

}  // namespace

ZividedirViewFactory::ZividedirViewFactory() {
    registerAdapterClasses();
    for (const auto& [key, name] : kNetworkTable) adViewList_[key] = name;
}

void ZividedirViewFactory::registerAdapterClasses() {
    if (!ZividedirViewClass::named(ZIZRadWebView::kClassName))
        ZividedirViewClass::registerAdapter<ZIZRadWebView>();
    if (!ZividedirViewClass::named(ZIZRadWebPopupView::kClassName))
        ZividedirViewClass::registerAdapter<ZIZRadWebPopupView>();
    if (!ZividedirViewClass::named(ZIZRiADView::kClassName))
        ZividedirViewClass::registerAdapter<ZIZRiADView>();
    if (!ZividedirViewClass::named(ZIZRadWallAdCrops::kClassName)) ZIZRadWallWebView::registerClasses();
    if (!ZividedirViewClass::named(ADFRTjkAdnetworkView::kClassName))
        ZividedirViewClass::registerAdapter<ADFRTjkAdnetworkView>();
    if (!ZividedirViewClass::named(ADFRScaleoutAPIView::kClassName))
        ZividedirViewClass::registerAdapter<ADFRScaleoutAPIView>();
    if (!ZividedirViewClass::named(ADFRGamefeatView::kClassName))
        ZividedirViewClass::registerAdapter<ADFRGamefeatView>();
    if (!ZividedirViewClass::named(ADFRZucksAPIView::kClassName))
        ZividedirViewClass::registerAdapter<ADFRZucksAPIView>();
    if (!ZividedirViewClass::named(ADFRInMobiAPIView::kClassName))
        ZividedirViewClass::registerAdapter<ADFRInMobiAPIView>();
    if (!ZividedirViewClass::named(ADFRMMediaAPIView::kClassName))
        ZividedirViewClass::registerAdapter<ADFRMMediaAPIView>();
    if (!ZividedirViewClass::named(ADFRLeadboltAPIView::kClassName))
        ZividedirViewClass::registerAdapter<ADFRLeadboltAPIView>();
}

void ZividedirViewFactory::addZividedirInterfaceView(const std::string& viewName, float rate) {
    if (!etcAdViewList_) etcAdViewList_.emplace();
    etcAdViewList_->push_back({viewName, rate});
}

std::shared_ptr<ZividedirInterfaceView> ZividedirViewFactory::make(const std::string& className,
                                                                   plat::Rect frame) const {
    auto viewClass = ZividedirViewClass::named(className);
    if (!viewClass) return nullptr;
    return std::dynamic_pointer_cast<ZividedirInterfaceView>(viewClass->initWithFrame(frame));
}

std::shared_ptr<ZividedirInterfaceView> ZividedirViewFactory::getEtcAdView(plat::Rect frame) {
    if (!etcAdViewList_) return nullptr;
    const float p = static_cast<float>(ADFRRandom::arc4randomUniform(100)) / 100.0f;
    float passed = 0;
    for (const EtcAdView& entry : *etcAdViewList_) {
        auto viewClass = ZividedirViewClass::named(entry.viewName);
        const bool accepted = passed <= p && entry.rate >= p;
        if (!accepted || !viewClass) {
            passed += entry.rate;
            continue;
        }
        // A class that makes no adapter is passed over without its rate.
        if (auto adapter = std::dynamic_pointer_cast<ZividedirInterfaceView>(viewClass->initWithFrame(frame)))
            return adapter;
    }
    return nullptr;
}

ZividedirAdapterSettings ZividedirViewFactory::settingsFor(const ADFRJSAdEntity& entity,
                                                           const ADFRData* adData, bool full,
                                                           bool withBgColor) {
    // A missing id becomes the empty text, here and on the factory.
    if (!appId_) appId_ = std::string();
    if (!deviceId_) deviceId_ = std::string();
    ZividedirAdapterSettings settings;
    settings.values.set("appId", plat::Value(*appId_));
    settings.values.set("userAdId", plat::Value(entity.userAdId()));
    settings.values.set("deviceId", plat::Value(*deviceId_));
    settings.values.set("loadHtml", plat::Value(entity.htmlString()));
    if (entity.adNetworkKey()) settings.values.set("adnetworkKey", plat::Value(*entity.adNetworkKey()));
    if (full && withBgColor && adData && adData->bgColor())
        settings.values.set("bgColor", plat::Value(*adData->bgColor()));
    return settings;
}

void ZividedirViewFactory::label(ZividedirInterfaceView& adapter, const std::string& text) const {
    auto label = std::make_shared<plat::Label>(plat::Rect{0, 0, 100, 20});
    label->setTextAlignment(plat::TextAlignment::Center);
    label->setTextColor(plat::Color::blackColor());
    label->setBackgroundColor(plat::Color::rgba(1, 1, 0));
    label->setFont(plat::ViewFont::boldSystemFont(12));
    label->setText(text);
    adapter.addSubview(label);
}

std::shared_ptr<ZividedirInterfaceView> ZividedirViewFactory::createFromTable(
    const std::shared_ptr<ADFRJSAdEntity>& entity, plat::Rect frame, const std::shared_ptr<ADFRData>& adData,
    Kind kind) {
    if (!entity) return nullptr;
    if (auto registered = getEtcAdView(frame)) {
        registered->loadAd();
        if (testMode_) label(*registered, registered->className());
        return registered;
    }
    const std::string key = entity->adNetworkKey().value_or("");
    auto it = adViewList_.find(key);
    std::shared_ptr<ZividedirInterfaceView> adapter;
    std::string chosen = "(null)";
    if (it != adViewList_.end()) {
        adapter = make(it->second, frame);
        if (adapter)
            chosen = it->second;
        else
            plat::logInfo("ads: no adapter of network key %s (%s) here; its HTML shows in the plain adapter",
                          key.c_str(), it->second.c_str());
    }
    if (kind == Kind::Banner) beforeViewName_ = chosen;
    ZividedirAdapterSettings settings;
    if (adapter) {
        settings = settingsFor(*entity, adData.get(), true, true);
        settings.entity = entity;
        if (kind == Kind::Popup && key == "1003") {
            const auto* data = settingData_.dictionaryIf();
            const plat::Value* adType = data ? data->find("adType") : nullptr;
            if (auto* sizing = dynamic_cast<ZividedirAdSizing*>(adapter.get()); sizing && adType)
                sizing->setAdSize(adType->toInt64() == 1 ? 14 : 10);
        }
    } else {
        adapter = kind == Kind::Banner ? make(ZIZRadWebView::kClassName, frame)
                                       : make(ZIZRadWebPopupView::kClassName, frame);
        if (!adapter) return nullptr;
        settings = settingsFor(*entity, adData.get(), false, false);
    }
    adapter->setting(settings);
    adapter->loadAd();
    if (testMode_)
        label(*adapter, kind == Kind::Banner && beforeViewName_ == ZIZRiADView::kClassName ? "iad" : key);
    return adapter;
}

std::shared_ptr<ZividedirInterfaceView> ZividedirViewFactory::create(
    const std::shared_ptr<ADFRJSAdEntity>& entity, plat::Rect frame,
    const std::shared_ptr<ADFRData>& adData) {
    return createFromTable(entity, frame, adData, Kind::Banner);
}

std::shared_ptr<ZividedirInterfaceView> ZividedirViewFactory::create(
    const std::shared_ptr<ADFRJSAdEntity>& entity, plat::Rect frame, const std::shared_ptr<ADFRData>& adData,
    const std::shared_ptr<ZividedirBaseView>& parentView) {
    auto adapter = createFromTable(entity, frame, adData, Kind::Popup);
    if (adapter) handParentOnNextTurn(adapter, parentView);
    return adapter;
}

std::shared_ptr<ZividedirInterfaceView> ZividedirViewFactory::createWall(
    const std::shared_ptr<ADFRJSAdEntity>& entity, plat::Rect frame, const std::shared_ptr<ADFRData>&,
    const std::shared_ptr<ZividedirBaseView>& parentView) {
    if (!entity) return nullptr;
    if (auto registered = getEtcAdView(frame)) {
        registered->loadAd();
        if (testMode_) label(*registered, registered->className());
        return registered;
    }
    ZividedirAdapterSettings settings = settingsFor(*entity, nullptr, false, false);
    settings.entity = entity;
    const std::string wallType = entity->wallType().value_or("");
    const std::string key = entity->adNetworkKey().value_or("");
    const char* className = wallType == "2"   ? (key == "1043" ? "ZIZRadWallAdCrops" : "ZIZRadWallWebView")
                            : wallType == "1" ? "ZIZRadWallRequest"
                                              : "ZIZRadWallHTMView";
    auto adapter = make(className, frame);
    if (!adapter) {
        plat::logInfo("ads: no wall adapter %s here; the wall shows nothing for this entry", className);
        return nullptr;
    }
    adapter->setting(settings);
    adapter->loadAd();
    handParentOnNextTurn(adapter, parentView);
    if (testMode_) label(*adapter, key);
    return adapter;
}
