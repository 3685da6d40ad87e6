// The getinfo answer's model and the settings cache format.
#include <gtest/gtest.h>

#include "AdsTestSupport.h"
#include "ads/settings/ADFRData.h"
#include "ads/settings/ADFRManager.h"
#include "platform/storage/KeyedArchive.h"
#include "platform/storage/UserDefaults.h"
#include "tests/support/TestSupport.h"

using adstest::answer;
using adstest::entry;

namespace {

struct AdDataTest : ::testing::Test {
    std::shared_ptr<ADFRData> parse(const std::string& json) {
        auto data = std::make_shared<ADFRData>();
        parsed = data->parseJsonData(json.data(), json.size());
        return data;
    }
    testsupport::TempHome home;
    bool parsed = false;
};

}  // namespace

TEST_F(AdDataTest, FreshSettingsHoldTheDefaults) {
    ADFRData data;
    EXPECT_FALSE(data.deviceID());
    EXPECT_EQ(data.bgColor(), "");
    EXPECT_FLOAT_EQ(data.updateCycleTime(), 30.0f);
    EXPECT_TRUE(data.adList().empty());
    EXPECT_EQ(data.ta_off(), 0);
}

TEST_F(AdDataTest, ParsesEveryFieldOfAnAnswer) {
    auto data = parse(answer(entry("u1", R"({"ja": 3, "en": 1})", "<b>広告</b>",
                                   R"(, "adnetwork_key": "1035", "wall_type": 2,
                                      "param": {"placement_apid": "p", "u": 123, "site_id": 7, "api_key": "k"})")));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(data->bgColor(), "#000000");
    EXPECT_FLOAT_EQ(data->updateCycleTime(), 30.0f);
    EXPECT_EQ(data->ta_off(), 1);
    ASSERT_EQ(data->adList().size(), 1u);
    const auto& e = *data->adList()[0];
    EXPECT_EQ(e.userAdId(), "u1");
    EXPECT_EQ(e.htmlString(), "<b>広告</b>");
    EXPECT_EQ(e.adNetworkKey(), "1035");
    EXPECT_EQ(e.wallType(), "2");
    EXPECT_EQ(e.placementApid(), "p");
    EXPECT_EQ(e.uaId(), "123");
    EXPECT_EQ(e.siteId(), "7");
    EXPECT_EQ(e.apiKey(), "k");
    ASSERT_TRUE(e.param());
    EXPECT_EQ(e.param()->size(), 4u);
    EXPECT_FALSE(e.valid());
    EXPECT_NE(e.description().find("UserAdId = u1 | AdNetworkKey = 1035"), std::string::npos);
}

TEST_F(AdDataTest, RejectsAnswersThatAreNotOk) {
    parse(R"({"result": "OK", "settings": []})");
    EXPECT_FALSE(parsed);
    parse(R"(["result", "ok"])");
    EXPECT_FALSE(parsed);
    parse("{\"result\": \"ok\"");
    EXPECT_FALSE(parsed);
    parse(R"({"result": "ok"})");
    EXPECT_TRUE(parsed);
}

TEST_F(AdDataTest, NumericStringsAndMissingKeys) {
    auto data = parse(R"({"result": "ok", "cycle_time": "12.5", "ta_off": "3", "settings": []})");
    ASSERT_TRUE(parsed);
    EXPECT_FLOAT_EQ(data->updateCycleTime(), 12.5f);
    EXPECT_EQ(data->ta_off(), 3);
    EXPECT_TRUE(data->adList().empty());
    EXPECT_FALSE(data->bgColor());  // no "bg_color": none, not an empty colour
    data = parse(R"({"result": "ok"})");
    EXPECT_FLOAT_EQ(data->updateCycleTime(), 0.0f);
}

TEST_F(AdDataTest, RejectedEntriesAreLeftOutAndTheRestStay) {
    std::string settings = entry("keep", R"({"ja": 1})") + "," +                             // kept
                           R"({"weight": {"ja": 1}, "html": "QQ=="},)" +                     // no id
                           R"({"user_ad_id": 5, "weight": {"ja": 1}, "html": "QQ=="},)" +    // id no string
                           R"({"user_ad_id": "w", "html": "QQ=="},)" +                       // no weight
                           R"({"user_ad_id": "h", "weight": {"ja": 1}},)" +                  // no html
                           R"({"user_ad_id": "u", "weight": {"ja": 1}, "html": "/w=="},)" +  // not UTF-8
                           R"({"user_ad_id": "b", "weight": {"ja": 1}, "html": "<p>ad</p>"},)" +  // no Base64
                           R"("not an object",)" +
                           entry("nokey", R"({"en": 2})", "x", R"(, "param": [1, 2])");
    auto data = parse(answer(settings));
    ASSERT_TRUE(parsed);
    ASSERT_EQ(data->adList().size(), 2u);
    EXPECT_EQ(data->adList()[0]->userAdId(), "keep");
    EXPECT_EQ(data->adList()[1]->userAdId(), "nokey");
    EXPECT_FALSE(data->adList()[1]->adNetworkKey());
    EXPECT_FALSE(data->adList()[1]->param());
    EXPECT_FALSE(data->adList()[1]->uaId());

    plat::Error error;
    ADFRJSAdEntity entity;
    EXPECT_FALSE(entity.parseAdObject(plat::Value("x"), &error));
    EXPECT_EQ(error.domain(), "ZIZManagerErrorDomain");
    EXPECT_EQ(error.code(), 4);
}

TEST_F(AdDataTest, CacheRoundTripKeepsEveryFieldParamToo) {
    ADFRData::registerCodingClasses();
    auto data = parse(answer(entry("u1", R"({"ja": 3, "en": 1})", "<i>x</i>",
                                   R"(, "adnetwork_key": "1075", "param": {"u": "uu", "extra": {"n": 1}})") +
                             "," + entry("u2", R"({"en": 0})")));
    ASSERT_TRUE(parsed);
    data->setDeviceID("DEV");
    auto path = home.path() / "cache.dat_A";
    ASSERT_TRUE(plat::KeyedArchive::archiveToFile(path, std::shared_ptr<const plat::Coding>(data)));
    auto back = std::dynamic_pointer_cast<ADFRData>(plat::KeyedArchive::unarchiveObjectFromFile(path));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->deviceID(), "DEV");
    EXPECT_EQ(back->bgColor(), "#000000");
    EXPECT_FLOAT_EQ(back->updateCycleTime(), 30.0f);
    EXPECT_EQ(back->ta_off(), 1);
    ASSERT_EQ(back->adList().size(), 2u);
    for (size_t i = 0; i < 2; ++i) EXPECT_TRUE(*back->adList()[i] == *data->adList()[i]) << i;
    ASSERT_TRUE(back->adList()[0]->param());
    EXPECT_EQ(back->adList()[0]->param()->find("extra")->dictionaryIf()->size(), 1u);
    EXPECT_FALSE(back->adList()[0]->valid());
}

// An archive written without "_param" (and with odd scalars) still decodes.
TEST_F(AdDataTest, OlderAndOddArchivesDecode) {
    ADFRData::registerCodingClasses();
    struct OldEntity : plat::Coding {
        std::string codingClassName() const override { return ADFRJSAdEntity::kClassName; }
        void encodeWithCoder(plat::KeyedArchiver& c) const override {
            c.encode("_valid", true);
            c.encode("_userAdId", "old");
            c.encode("_uaId", "u");
        }
        bool initWithCoder(plat::KeyedUnarchiver&) override { return true; }
    };
    struct OldData : plat::Coding {
        std::string codingClassName() const override { return ADFRData::kClassName; }
        void encodeWithCoder(plat::KeyedArchiver& c) const override {
            c.encode("updateCycleTime", "soon");
            c.encode("ta_off", "x");
            c.encode("adList", std::vector<std::shared_ptr<OldEntity>>{std::make_shared<OldEntity>()});
        }
        bool initWithCoder(plat::KeyedUnarchiver&) override { return true; }
    };
    auto bytes =
        plat::KeyedArchive::archive(std::shared_ptr<const plat::Coding>(std::make_shared<OldData>()));
    ASSERT_TRUE(bytes);
    auto back = plat::KeyedArchive::unarchiveObject<ADFRData>(*bytes);
    ASSERT_TRUE(back);
    EXPECT_FLOAT_EQ(back->updateCycleTime(), 30.0f);
    EXPECT_EQ(back->ta_off(), 0);
    EXPECT_FALSE(back->bgColor());
    ASSERT_EQ(back->adList().size(), 1u);
    EXPECT_TRUE(back->adList()[0]->valid());
    EXPECT_EQ(back->adList()[0]->uaId(), "u");
    EXPECT_FALSE(back->adList()[0]->param());
}

TEST_F(AdDataTest, FirstAdvertisingIdSeenStaysForGood) {
    {
        adstest::ScopedIdProvider provider(true, "e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
        auto data = parse(answer(""));
        EXPECT_EQ(data->deviceID(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
        EXPECT_EQ(plat::UserDefaults::standard()->stringForKey(ADFRData::kDeviceIdKey),
                  "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    }
    adstest::ScopedIdProvider other(true, "11111111-2222-3333-4444-555555555555");
    auto data = parse(answer(""));
    EXPECT_EQ(data->deviceID(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(plat::UserDefaults::standard()->stringForKey(ADFRData::kDeviceIdKey),
              "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
}

TEST_F(AdDataTest, NoAdvertisingIdWithoutProviderTrackingOrWithZeros) {
    EXPECT_FALSE(ADFRManager::stringAdvertisingId());
    {
        adstest::ScopedIdProvider off(false, "e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
        EXPECT_FALSE(ADFRManager::stringAdvertisingId());
    }
    {
        adstest::ScopedIdProvider zeros(true, "00000000-0000-0000-0000-000000000000");
        EXPECT_FALSE(ADFRManager::stringAdvertisingId());
        auto data = parse(answer(""));
        EXPECT_FALSE(data->deviceID());
    }
    adstest::ScopedIdProvider on(true, "e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    EXPECT_EQ(ADFRManager::stringAdvertisingId(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
}
