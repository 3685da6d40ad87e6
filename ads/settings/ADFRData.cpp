#include "ads/settings/ADFRData.h"

#include <cstdio>
#include <mutex>

#include "ads/base/ADFRBase64Util.h"
#include "ads/settings/ADFRManager.h"
#include "platform/base/ClassRegistry.h"
#include "platform/base/Json.h"
#include "platform/base/Log.h"
#include "platform/storage/UserDefaults.h"

namespace {

// A string as it is, a number by its decimal text.
std::string stringValue(const plat::Value& v) {
    if (const auto* s = v.stringIf()) return *s;
    return v.toString();
}

std::optional<std::string> optionalString(const plat::Value& v) {
    if (const auto* s = v.stringIf()) return *s;
    return std::nullopt;
}

void encodeOptional(plat::KeyedArchiver& coder, std::string_view key, const std::optional<std::string>& s) {
    if (s) coder.encode(key, *s);
}

std::string dictionaryDescription(const plat::Value::Dictionary& d) {
    auto text = plat::Json::write(plat::Value(d));
    return text ? *text : "{}";
}

}  // namespace

// ---- ADFRJSAdEntity ----

std::shared_ptr<ADFRJSAdEntity> ADFRJSAdEntity::initWithObject(const plat::Value& object) {
    auto entity = std::make_shared<ADFRJSAdEntity>();
    plat::Error error;
    if (!entity->parseAdObject(object, &error)) return nullptr;
    return entity;
}

bool ADFRJSAdEntity::parseAdObject(const plat::Value& object, plat::Error* error) {
    auto reject = [error] {
        if (error) *error = plat::Error(kErrorDomain, kRejectedCode);
        return false;
    };
    const auto* entry = object.dictionaryIf();
    if (!entry) return reject();
    const plat::Value* userAdId = entry->find("user_ad_id");
    // The id goes back to the server in report URLs: only text will do.
    if (!userAdId || !userAdId->isString()) return reject();
    const plat::Value* weight = entry->find("weight");
    if (!weight || !weight->isDictionary()) return reject();
    const plat::Value* html = entry->find("html");
    if (!html || !html->isString()) return reject();
    const std::string& text = *html->stringIf();
    auto decoded = ADFRBase64Util::stringFromBase64String(text, ADFRBase64Util::Encoding::UTF8);
    // The decoder skips what is not Base64, so other text would become a blank ad box: left out instead.
    if (!decoded || !ADFRBase64Util::isBase64Text(text) || (decoded->empty() && !text.empty())) {
        plat::logWarning(
            "ads: the html of settings entry %s is not Base64 of UTF-8 text; the entry is left out",
            userAdId->stringIf()->c_str());
        return reject();
    }

    userAdId_ = *userAdId->stringIf();
    weightList_ = *weight->dictionaryIf();
    adString_ = std::move(*decoded);
    if (const auto* key = entry->find("adnetwork_key")) adNetworkKey_ = stringValue(*key);
    if (const auto* wall = entry->find("wall_type")) wallType_ = stringValue(*wall);
    if (const auto* param = entry->find("param"); param && param->isDictionary()) {
        param_ = *param->dictionaryIf();
        if (const auto* v = param_->find("placement_apid")) placementApid_ = stringValue(*v);
        if (const auto* v = param_->find("u")) uaId_ = stringValue(*v);
        if (const auto* v = param_->find("site_id")) siteId_ = stringValue(*v);
        if (const auto* v = param_->find("api_key")) apiKey_ = stringValue(*v);
    }
    return true;
}

const plat::Value* ADFRJSAdEntity::weightForLang(int) const {
    return weightList_.find(ADFRManager::stringCurrentContryCode());
}

std::string ADFRJSAdEntity::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
    return "\n<" + std::string(kClassName) + " = " + address + " | UserAdId = " + userAdId_ +
           " | AdNetworkKey = " + adNetworkKey_.value_or("(null)") +
           " | WeightList = " + dictionaryDescription(weightList_) + " | HtmlString = " + adString_ + ">\n\n";
}

void ADFRJSAdEntity::encodeWithCoder(plat::KeyedArchiver& coder) const {
    coder.encode("_valid", valid_);
    coder.encode("_adString", adString_);
    coder.encode("_userAdId", userAdId_);
    coder.encode("_weightList", plat::Value(weightList_));
    encodeOptional(coder, "_adNetworkKey", adNetworkKey_);
    encodeOptional(coder, "_wallType", wallType_);
    encodeOptional(coder, "_placementApid", placementApid_);
    encodeOptional(coder, "_uaId", uaId_);
    encodeOptional(coder, "_siteId", siteId_);
    encodeOptional(coder, "_apiKey", apiKey_);
    // Kept too, so that adapters reading their parameters still find them after a fall-back to the cache.
    if (param_) coder.encode("_param", plat::Value(*param_));
}

bool ADFRJSAdEntity::initWithCoder(plat::KeyedUnarchiver& coder) {
    valid_ = coder.decodeBool("_valid");
    adString_ = optionalString(coder.decodeValue("_adString")).value_or("");
    userAdId_ = optionalString(coder.decodeValue("_userAdId")).value_or("");
    plat::Value weights = coder.decodeValue("_weightList");
    if (const auto* d = weights.dictionaryIf()) weightList_ = *d;
    adNetworkKey_ = optionalString(coder.decodeValue("_adNetworkKey"));
    wallType_ = optionalString(coder.decodeValue("_wallType"));
    placementApid_ = optionalString(coder.decodeValue("_placementApid"));
    uaId_ = optionalString(coder.decodeValue("_uaId"));
    siteId_ = optionalString(coder.decodeValue("_siteId"));
    apiKey_ = optionalString(coder.decodeValue("_apiKey"));
    plat::Value param = coder.decodeValue("_param");
    if (const auto* d = param.dictionaryIf()) param_ = *d;
    return true;
}

bool ADFRJSAdEntity::operator==(const ADFRJSAdEntity& o) const {
    return valid_ == o.valid_ && adString_ == o.adString_ && userAdId_ == o.userAdId_ &&
           weightList_ == o.weightList_ && adNetworkKey_ == o.adNetworkKey_ && wallType_ == o.wallType_ &&
           placementApid_ == o.placementApid_ && uaId_ == o.uaId_ && siteId_ == o.siteId_ &&
           apiKey_ == o.apiKey_ && param_ == o.param_;
}

// ---- ADFRData ----

ADFRData::ADFRData() {
    deviceID_ = plat::UserDefaults::standard()->stringForKey(kDeviceIdKey);
}

void ADFRData::registerCodingClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        auto& registry = plat::ClassRegistry::shared();
        registry.registerFactory<plat::Coding>(kClassName, [] { return std::make_shared<ADFRData>(); });
        registry.registerFactory<plat::Coding>(ADFRJSAdEntity::kClassName,
                                               [] { return std::make_shared<ADFRJSAdEntity>(); });
    });
}

bool ADFRData::parseJsonData(const void* data, size_t size) {
    auto json = plat::Json::parse(data, size);
    if (!json) return false;
    return parseJsonObject(*json);
}

bool ADFRData::parseJsonObject(const plat::Value& object) {
    const auto* dictionary = object.dictionaryIf();
    if (!dictionary || !isRespondsOk(*dictionary)) return false;
    updateDeviceId(*dictionary);
    updateBgColor(*dictionary);
    updateCycleTime(*dictionary);
    updateAdList(*dictionary);
    ta_off(*dictionary);
    return true;
}

bool ADFRData::isRespondsOk(const plat::Value::Dictionary& dictionary) {
    const auto* result = dictionary.find("result");
    return result && result->stringIf() && *result->stringIf() == "ok";
}

void ADFRData::updateDeviceId(const plat::Value::Dictionary&) {
    // The first advertising id seen stays for good.
    if (deviceID_ && !deviceID_->empty()) return;
    auto id = ADFRManager::stringAdvertisingId();
    if (!id) return;
    deviceID_ = *id;
    auto defaults = plat::UserDefaults::standard();
    defaults->setString(*id, kDeviceIdKey);
    defaults->synchronizeInBackground();
}

void ADFRData::updateBgColor(const plat::Value::Dictionary& dictionary) {
    const auto* color = dictionary.find("bg_color");
    bgColor_ = color ? optionalString(*color) : std::nullopt;
}

void ADFRData::updateCycleTime(const plat::Value::Dictionary& dictionary) {
    const auto* cycle = dictionary.find("cycle_time");
    updateCycleTime_ = cycle ? cycle->toFloat() : 0.0f;
}

void ADFRData::updateAdList(const plat::Value::Dictionary& dictionary) {
    adList_.clear();
    const auto* settings = dictionary.find("settings");
    if (!settings || !settings->arrayIf()) return;
    for (const auto& element : *settings->arrayIf())
        if (auto entity = ADFRJSAdEntity::initWithObject(element)) adList_.push_back(std::move(entity));
}

void ADFRData::ta_off(const plat::Value::Dictionary& dictionary) {
    const auto* value = dictionary.find("ta_off");
    taOff_ = value ? value->toInt32() : 0;
}

void ADFRData::encodeWithCoder(plat::KeyedArchiver& coder) const {
    encodeOptional(coder, "deviceID", deviceID_);
    encodeOptional(coder, "bgColor", bgColor_);
    coder.encode("updateCycleTime", updateCycleTime_);
    coder.encode("adList", adList_);
    coder.encode("ta_off", taOff_);
}

bool ADFRData::initWithCoder(plat::KeyedUnarchiver& coder) {
    deviceID_ = optionalString(coder.decodeValue("deviceID"));
    bgColor_ = optionalString(coder.decodeValue("bgColor"));
    plat::Value cycle = coder.decodeValue("updateCycleTime");
    updateCycleTime_ = cycle.isNumber() ? cycle.toFloat() : kDefaultCycleTime;
    adList_ = coder.decodeObjects<ADFRJSAdEntity>("adList");
    plat::Value taOff = coder.decodeValue("ta_off");
    taOff_ = taOff.isNumber() ? taOff.toInt32() : 0;
    return true;
}
