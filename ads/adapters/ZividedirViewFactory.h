#pragma once
// Turns one ad entity of the settings into a configured, loading adapter view: the class comes from the
// network table by the entity's network key (or by its wall type for the offer wall), or from the
// adapters the app registered, each with a rate. Each placement owns one factory. Main thread only.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/adapters/ZividedirInterfaceView.h"
#include "platform/base/Value.h"
#include "platform/ui/Geometry.h"

class ADFRData;
class ADFRJSAdEntity;
class ZividedirBaseView;

class ZividedirViewFactory {
  public:
    struct EtcAdView {
        std::string viewName;
        float rate = 0;
    };

    // The network table (key -> adapter class name); the SDK's own adapter classes are registered
    // under their names.
    ZividedirViewFactory();

    // The SDK's adapter classes under their names in plat::ClassRegistry (once; again after a reset).
    static void registerAdapterClasses();

    void setting(plat::Value data) { settingData_ = std::move(data); }
    void setSettingData(plat::Value data) { settingData_ = std::move(data); }
    void addZividedirInterfaceView(const std::string& viewName, float rate);
    std::shared_ptr<ZividedirInterfaceView> getEtcAdView(plat::Rect frame);

    // Banner.
    std::shared_ptr<ZividedirInterfaceView> create(const std::shared_ptr<ADFRJSAdEntity>& entity,
                                                   plat::Rect frame, const std::shared_ptr<ADFRData>& adData);
    // Popup: the parent is handed to the adapter on the next run-loop turn.
    std::shared_ptr<ZividedirInterfaceView> create(const std::shared_ptr<ADFRJSAdEntity>& entity,
                                                   plat::Rect frame, const std::shared_ptr<ADFRData>& adData,
                                                   const std::shared_ptr<ZividedirBaseView>& parentView);
    // Offer wall; the settings data is not read. Null when the wall's adapter class does not exist.
    std::shared_ptr<ZividedirInterfaceView> createWall(const std::shared_ptr<ADFRJSAdEntity>& entity,
                                                       plat::Rect frame,
                                                       const std::shared_ptr<ADFRData>& adData,
                                                       const std::shared_ptr<ZividedirBaseView>& parentView);

    bool testMode() const { return testMode_; }
    void setTestMode(bool on) { testMode_ = on; }
    const std::map<std::string, std::string>& adViewList() const { return adViewList_; }
    const std::optional<std::string>& appId() const { return appId_; }
    void setAppId(std::optional<std::string> id) { appId_ = std::move(id); }
    const std::optional<std::string>& deviceId() const { return deviceId_; }
    void setDeviceId(std::optional<std::string> id) { deviceId_ = std::move(id); }
    const plat::Value& settingData() const { return settingData_; }
    // None until the first registration.
    const std::optional<std::vector<EtcAdView>>& etcAdViewList() const { return etcAdViewList_; }
    const std::string& beforeViewName() const { return beforeViewName_; }

  private:
    enum class Kind { Banner, Popup, Wall };
    // The five plain keys, with "entity" and "bgColor" for a table adapter.
    ZividedirAdapterSettings settingsFor(const ADFRJSAdEntity& entity, const ADFRData* adData, bool full,
                                         bool withBgColor);
    std::shared_ptr<ZividedirInterfaceView> make(const std::string& className, plat::Rect frame) const;
    std::shared_ptr<ZividedirInterfaceView> createFromTable(const std::shared_ptr<ADFRJSAdEntity>& entity,
                                                            plat::Rect frame,
                                                            const std::shared_ptr<ADFRData>& adData,
                                                            Kind kind);
    void label(ZividedirInterfaceView& adapter, const std::string& text) const;

    bool testMode_ = false;
    std::map<std::string, std::string> adViewList_;
    std::optional<std::string> appId_;
    std::optional<std::string> deviceId_;
    plat::Value settingData_;
    std::optional<std::vector<EtcAdView>> etcAdViewList_;
    std::string beforeViewName_;
};
