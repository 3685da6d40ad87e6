#include "tagmanager/runtime/ZAVMacros.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "platform/base/Clock.h"
#include "platform/base/Locale.h"
#include "platform/base/Random.h"
#include "platform/storage/Bundle.h"
#include "platform/ui/Device.h"
#include "platform/ui/Window.h"
#include "tagmanager/base/ZAVAdIdAccess.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/datalayer/ZAVClickReferrerUtil.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/values/ZAVTypes.h"

namespace {

// A text of length greater than 0 as a String value; anything else is no object, hence the default value.
ZAVPValuePtr nonEmptyText(const std::optional<std::string>& text) {
    return ZAVTypes::objectToValue(text && !text->empty() ? ZAVObject::text(*text) : nullptr);
}

}  // namespace

std::optional<std::string> ZAVAdvertiserId::rawAdvertiserId() {
    return ZAVAdIdAccess::retrieveId();
}

ZAVPValuePtr ZAVAdvertiserId::evaluate(const Properties&) {
    return nonEmptyText(rawAdvertiserId());
}

std::optional<std::string> ZAVMobileAdnetUniqueIdMacro::rawAdvertiserId() {
    return ZAVAdIdAccess::retrieveId();
}

ZAVPValuePtr ZAVMobileAdnetUniqueIdMacro::evaluate(const Properties&) {
    return nonEmptyText(rawAdvertiserId());
}

bool ZAVAdvertisingTrackingEnabledMacro::advertisingTrackingEnabled() {
    return ZAVAdIdAccess::retrieveTrackingFlag();
}

ZAVPValuePtr ZAVAdvertisingTrackingEnabledMacro::evaluate(const Properties&) {
    return ZAVTypes::objectToValue(ZAVBoolean::booleanWithBool(advertisingTrackingEnabled()));
}

ZAVPValuePtr ZAVAdnetClickReferrer::evaluate(const Properties& properties) {
    auto id = ZAVFunctionCallImplementation::propertyForKey(properties, conversionIdKey());
    if (!id) return ZAVTypes::defaultValue();
    std::optional<std::string> component;
    if (auto c = ZAVFunctionCallImplementation::propertyForKey(properties, componentKey()))
        component = ZAVTypes::valueToString(c)->textValue();
    auto referrer = ZAVClickReferrerUtil::clickReferrerForConversionId(
        ZAVTypes::valueToString(id)->textValue(), component);
    if (!referrer) return ZAVTypes::defaultValue();
    return ZAVTypes::textToValue(*referrer);
}

plat::Value::Dictionary ZAVBundleMacro::infoDictionary() {
    return plat::Bundle::main().infoDictionary();
}

std::string ZAVBundleMacro::infoText(const std::string& key) {
    auto info = infoDictionary();
    const plat::Value* value = info.find(key);
    const std::string* text = value ? value->stringIf() : nullptr;
    return text ? *text : std::string();
}

ZAVPValuePtr ZAVAppId::evaluate(const Properties&) {
    return nonEmptyText(infoText("CFBundleIdentifier"));
}

ZAVPValuePtr ZAVAppName::evaluate(const Properties&) {
    std::string name = infoText("CFBundleName");
    if (name.empty()) name = infoText("CFBundleIdentifier");
    if (name.empty()) {
        ZAVLog::error("Application name cannot be retrieved.");
        return ZAVTypes::defaultValue();
    }
    return ZAVTypes::textToValue(name);
}

ZAVPValuePtr ZAVAppVersion::evaluate(const Properties&) {
    return nonEmptyText(infoText("CFBundleShortVersionString"));
}

ZAVPValuePtr ZAVConstantMacro::evaluate(const Properties& properties) {
    auto value = ZAVFunctionCallImplementation::propertyForKey(properties, valueKey());
    return value ? value : ZAVTypes::defaultValue();
}

ZAVPValuePtr ZAVContainerVersionMacro::evaluate(const Properties&) {
    return ZAVTypes::textToValue(version_);
}

ZAVPValuePtr ZAVDataLayerMacro::evaluate(const Properties& properties) {
    auto name = ZAVFunctionCallImplementation::propertyForKey(properties, nameKey());
    ZAVObjectPtr found =
        dataLayer_ && name ? dataLayer_->get(ZAVTypes::valueToString(name)->textValue()) : nullptr;
    if (found == ZAVObject::nullMarker()) return ZAVTypes::defaultValue();
    if (found) return ZAVTypes::objectToValue(found);
    auto fallback = ZAVFunctionCallImplementation::propertyForKey(properties, defaultValueKey());
    return fallback ? fallback : ZAVTypes::defaultValue();
}

ZAVPValuePtr ZAVEventMacro::evaluate(const Properties&) {
    auto runtime = runtime_.lock();
    auto name = runtime ? runtime->currentEventName() : std::nullopt;
    return name ? ZAVTypes::textToValue(*name) : ZAVTypes::defaultValue();
}

ZAVPValuePtr ZAVVuzVersionMacro::evaluate(const Properties&) {
    return ZAVTypes::textToValue("3.12");
}

std::vector<std::string> ZAVLanguage::preferredLanguages() {
    return plat::Locale::preferredLanguages();
}

ZAVPValuePtr ZAVLanguage::evaluate(const Properties&) {
    auto languages = preferredLanguages();
    if (languages.empty()) return ZAVTypes::defaultValue();
    std::string first = languages.front();
    for (char& c : first) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ZAVTypes::textToValue(first);
}

std::string ZAVDeviceMacro::deviceModel() {
    return plat::Device::current().model();
}

std::string ZAVDeviceMacro::systemVersion() {
    return plat::Device::current().systemVersion();
}

std::tuple<double, double, double> ZAVDeviceMacro::screenSize() {
    const auto& screen = plat::Screen::main();
    return {screen.bounds().width, screen.bounds().height, screen.scale()};
}

ZAVPValuePtr ZAVDeviceName::evaluate(const Properties&) {
    return nonEmptyText(deviceModel());
}

ZAVPValuePtr ZAVOsVersion::evaluate(const Properties&) {
    return nonEmptyText(systemVersion());
}

ZAVPValuePtr ZAVSdkVersion::evaluate(const Properties&) {
    return nonEmptyText(systemVersion());
}

ZAVPValuePtr ZAVResolution::evaluate(const Properties&) {
    auto [width, height, screenScale] = screenSize();
    const double scale = screenScale;  // a named copy: structured bindings cannot be captured everywhere
    auto pixels = [scale](double points) {
        float product = static_cast<float>(points * scale);
        return static_cast<int>(std::ceil(product));
    };
    char text[48];
    std::snprintf(text, sizeof text, "%dx%d", pixels(width), pixels(height));
    return ZAVTypes::textToValue(text);
}

ZAVPValuePtr ZAVPlatform::evaluate(const Properties&) {
    return ZAVTypes::textToValue("iOS");
}

ZAVPValuePtr ZAVRuntimeVersion::evaluate(const Properties&) {
    return ZAVTypes::objectToValue(ZAVObject::integer(versionNumber()));
}

ZAVPValuePtr ZAVTime::evaluate(const Properties&) {
    double millis = plat::Clock::shared().nowSeconds() * 1000.0;
    return ZAVTypes::objectToValue(ZAVObject::integer(ZAVTypes::saturatingInt64(millis)));
}

ZAVPValuePtr ZAVRandom::evaluate(const Properties& properties) {
    double min = 0, max = 2147483647.0;
    auto minValue = ZAVFunctionCallImplementation::propertyForKey(properties, minKey());
    auto maxValue = ZAVFunctionCallImplementation::propertyForKey(properties, maxKey());
    if (minValue && maxValue && minValue != ZAVTypes::defaultValue() &&
        maxValue != ZAVTypes::defaultValue()) {
        auto lo = ZAVTypes::valueToNumber(minValue);
        auto hi = ZAVTypes::valueToNumber(maxValue);
        if (lo != ZAVTypes::defaultNumber() && hi != ZAVTypes::defaultNumber() &&
            ZAVTypes::getDouble(lo) <= ZAVTypes::getDouble(hi)) {
            min = ZAVTypes::getDouble(lo);
            max = ZAVTypes::getDouble(hi);
        }
    }
    const double span = max - min;
    const int64_t width = ZAVTypes::saturatingInt64(std::round(span));
    double result;
    if (width <= 4294967295LL) {
        uint64_t k = plat::Random::uniformBelow(static_cast<uint64_t>(std::max<int64_t>(width, 0)));
        result = min + static_cast<double>(k);
    } else {
        uint64_t a = plat::Random::uniformBelow(4294967295ULL);
        uint64_t b = plat::Random::uniformBelow(4294967295ULL);
        double fraction = static_cast<double>((a << 32) | b) * 0x1.0p-64;
        result = min + std::round(span * fraction);
    }
    return ZAVTypes::objectToValue(ZAVObject::integer(ZAVTypes::saturatingInt64(result)));
}
