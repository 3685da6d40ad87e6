#pragma once
// The ad settings of one placement as the ad server's getinfo answer gives them (ADFRData), and one
// candidate ad network of its "settings" list (ADFRJSAdEntity). Both go into the settings cache as a
// keyed archive.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/storage/KeyedArchive.h"

class ADFRJSAdEntity : public plat::Coding {
  public:
    static constexpr const char* kClassName = "ADFRJSAdEntity";
    static constexpr const char* kErrorDomain = "ZIZManagerErrorDomain";
    static constexpr int kRejectedCode = 4;

    ADFRJSAdEntity() = default;
    // Null when the entry is rejected.
    static std::shared_ptr<ADFRJSAdEntity> initWithObject(const plat::Value& object);
    // Fills the fields; false with `error` (domain kErrorDomain, code 4) for a rejected entry: no
    // "user_ad_id" string, no "weight" dictionary, or no "html" string of Base64 for UTF-8 text.
    bool parseAdObject(const plat::Value& object, plat::Error* error);

    const std::string& htmlString() const { return adString_; }
    // The weight under the current country code ("ja" or "en"); null when there is none.
    const plat::Value* weightForLang(int lang) const;
    std::string description() const;

    bool isValid() const { return valid_; }
    bool valid() const { return valid_; }
    void setValid(bool valid) { valid_ = valid; }
    const std::string& adString() const { return adString_; }
    const std::string& userAdId() const { return userAdId_; }
    const plat::Value::Dictionary& weightList() const { return weightList_; }
    const std::optional<std::string>& adNetworkKey() const { return adNetworkKey_; }
    const std::optional<std::string>& wallType() const { return wallType_; }
    const std::optional<std::string>& placementApid() const { return placementApid_; }
    const std::optional<std::string>& uaId() const { return uaId_; }
    const std::optional<std::string>& siteId() const { return siteId_; }
    const std::optional<std::string>& apiKey() const { return apiKey_; }
    const std::optional<plat::Value::Dictionary>& param() const { return param_; }

    std::string codingClassName() const override { return kClassName; }
    void encodeWithCoder(plat::KeyedArchiver& coder) const override;
    bool initWithCoder(plat::KeyedUnarchiver& coder) override;

    bool operator==(const ADFRJSAdEntity& other) const;

  private:
    bool valid_ = false;
    std::string adString_;
    std::string userAdId_;
    plat::Value::Dictionary weightList_;
    std::optional<std::string> adNetworkKey_;
    std::optional<std::string> wallType_;
    std::optional<std::string> placementApid_;
    std::optional<std::string> uaId_;
    std::optional<std::string> siteId_;
    std::optional<std::string> apiKey_;
    std::optional<plat::Value::Dictionary> param_;
};

class ADFRData : public plat::Coding {
  public:
    static constexpr const char* kClassName = "ADFRData";
    static constexpr const char* kDeviceIdKey = "ZividedirSDK_Device_Id";
    static constexpr float kDefaultCycleTime = 30.0f;

    // The device id from the user defaults, empty background colour, 30 s cycle, no entries.
    ADFRData();

    // Makes both classes known to the unarchiver (once).
    static void registerCodingClasses();

    bool parseJsonData(const void* data, size_t size);
    bool parseJsonData(const plat::Bytes& data) { return parseJsonData(data.data(), data.size()); }
    bool parseJsonObject(const plat::Value& object);
    static bool isRespondsOk(const plat::Value::Dictionary& dictionary);
    void updateDeviceId(const plat::Value::Dictionary& dictionary);
    void updateBgColor(const plat::Value::Dictionary& dictionary);
    void updateCycleTime(const plat::Value::Dictionary& dictionary);
    void updateAdList(const plat::Value::Dictionary& dictionary);
    void ta_off(const plat::Value::Dictionary& dictionary);
    void printJsonErrorMessage(const plat::Value&) {}

    const std::optional<std::string>& deviceID() const { return deviceID_; }
    void setDeviceID(std::optional<std::string> id) { deviceID_ = std::move(id); }
    // None when the answer named no background colour.
    const std::optional<std::string>& bgColor() const { return bgColor_; }
    float updateCycleTime() const { return updateCycleTime_; }
    const std::vector<std::shared_ptr<ADFRJSAdEntity>>& adList() const { return adList_; }
    int32_t ta_off() const { return taOff_; }

    std::string codingClassName() const override { return kClassName; }
    void encodeWithCoder(plat::KeyedArchiver& coder) const override;
    bool initWithCoder(plat::KeyedUnarchiver& coder) override;

  private:
    std::optional<std::string> deviceID_;
    std::optional<std::string> bgColor_ = std::string();
    float updateCycleTime_ = kDefaultCycleTime;
    std::vector<std::shared_ptr<ADFRJSAdEntity>> adList_;
    int32_t taOff_ = 0;
};
