#pragma once
// Shared pieces of the ad SDK's tests: settings answers and a registered advertising-id provider.
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "ads/adapters/ZividedirInterfaceView.h"
#include "ads/base/ADFRAdvertisingIdentifier.h"
#include "ads/base/ADFRBase64Util.h"
#include "ads/settings/ADFRData.h"
#include "platform/base/ClassRegistry.h"
#include "platform/base/Json.h"

namespace adstest {

// Sets an environment variable for its lifetime.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// The locale variables cleared and LANG set, so the country code is the one asked for.
struct ScopedLanguage {
    explicit ScopedLanguage(const char* lang) : lang_("LANG", lang) {}
    ScopedEnv lcAll_{"LC_ALL", nullptr};
    ScopedEnv lcMessages_{"LC_MESSAGES", nullptr};
    ScopedEnv language_{"LANGUAGE", nullptr};
    ScopedEnv lang_;
};

// One "settings" entry with the given weights (JSON text of the "weight" object).
inline std::string entry(const std::string& userAdId, const std::string& weight,
                         const std::string& html = "<p>ad</p>", const std::string& extra = "") {
    return R"({"user_ad_id": ")" + userAdId + R"(", "weight": )" + weight + R"(, "html": ")" +
           ADFRBase64Util::base64StringFromString(html).c_str() + "\"" + extra + "}";
}

inline std::string answer(const std::string& settings,
                          const std::string& extra = R"("bg_color": "#000000", )") {
    return R"({"result": "ok", )" + extra + R"("cycle_time": 30, "ta_off": 1, "settings": [)" + settings +
           "]}";
}

class FixedIdProvider : public ADFRAdvertisingIdentifierProvider {
  public:
    FixedIdProvider(bool enabled, const char* id) : enabled_(enabled), id_(*plat::Uuid::parse(id)) {}
    bool isAdvertisingTrackingEnabled() const override { return enabled_; }
    plat::Uuid advertisingIdentifier() const override { return id_; }

  private:
    bool enabled_;
    plat::Uuid id_;
};

// Registers a provider under the platform's class name for its lifetime.
class ScopedIdProvider {
  public:
    ScopedIdProvider(bool enabled, const char* id)
        : scope_(plat::ClassRegistry::shared(), ADFRAdvertisingIdentifierProvider::kClassName) {
        plat::ClassRegistry::shared().registerProvider<ADFRAdvertisingIdentifierProvider>(
            ADFRAdvertisingIdentifierProvider::kClassName, std::make_shared<FixedIdProvider>(enabled, id));
    }

  private:
    plat::ClassRegistry::Scoped scope_;
};

// An entity parsed from one "settings" entry's JSON text.
inline std::shared_ptr<ADFRJSAdEntity> entity(const std::string& json) {
    auto value = plat::Json::parse(json);
    return value ? ADFRJSAdEntity::initWithObject(*value) : nullptr;
}

// A stand-in adapter that writes down what the placements and the factory do with it, draws itself in
// one colour, and has content when the test says so.
class RecordingAdapter : public ZividedirInterfaceView,
                         public ZividedirLoadReporting,
                         public ZividedirAdSizing {
  public:
    RecordingAdapter(plat::Rect frame, std::string name)
        : ZividedirInterfaceView(frame), name_(std::move(name)) {}
    void setting(const ZividedirAdapterSettings& s) override {
        settings = s;
        ++settingCalls;
    }
    void loadAd() override { ++loads; }
    bool checkDisplayAd() override { return hasContent; }
    bool isLoadingAd() const override { return loading; }
    void postAdDisplayed() override { ++displayed; }
    std::shared_ptr<plat::ImageView> getScreenImageView() override { return snapshotImageView(); }
    void setParentView(const std::shared_ptr<ZividedirBaseView>& p) override {
        parent = p;
        ++parentCalls;
    }
    void setAdSize(int size) override { adSize = size; }
    std::string className() const override { return name_; }

    ZividedirAdapterSettings settings;
    int settingCalls = 0;
    int loads = 0;
    int displayed = 0;
    int parentCalls = 0;
    int adSize = 0;
    bool hasContent = true;
    bool loading = false;
    std::weak_ptr<ZividedirBaseView> parent;

  private:
    std::string name_;
};

// Registers a view class under `name` for its lifetime; `make` gives each new view (null: a
// RecordingAdapter).
class ScopedViewClass {
  public:
    explicit ScopedViewClass(const std::string& name, ZividedirViewClass::Maker make = nullptr)
        : scope_(plat::ClassRegistry::shared(), name) {
        if (!make)
            make = [name](plat::Rect frame) { return std::make_shared<RecordingAdapter>(frame, name); };
        ZividedirViewClass::registerClass(name, std::move(make));
    }

  private:
    plat::ClassRegistry::Scoped scope_;
};

}  // namespace adstest
