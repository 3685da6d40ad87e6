#include <gtest/gtest.h>

#include <set>

#include "platform/base/Random.h"
#include "platform/storage/Bundle.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/runtime/ZAVMacros.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tests/support/TestSupport.h"
#include "tests/tagmanager/TagManagerTestSupport.h"
#include "wire/ZAVWireString.h"

namespace {

using tmtest::CapturedLog;
using Properties = ZAVFunctionCallImplementation::Properties;

ZAVPValuePtr S(const std::string& s) {
    return ZAVTypes::objectToValue(ZAVObject::text(s));
}
ZAVPValuePtr N(double d) {
    return ZAVTypes::objectToValue(ZAVObject::floating(d));
}
ZAVPValuePtr I(int64_t n) {
    return ZAVTypes::objectToValue(ZAVObject::integer(n));
}
std::string text(const ZAVPValuePtr& v) {
    return v->string()->utf8();
}

template <typename Base>
class WithId : public Base {
  public:
    explicit WithId(std::optional<std::string> id) : id_(std::move(id)) {}
    std::optional<std::string> rawAdvertiserId() override { return id_; }

  private:
    std::optional<std::string> id_;
};

TEST(MacroLibraryTest, AdvertiserIdEmptyIsTheDefault) {
    CapturedLog log;
    EXPECT_EQ(WithId<ZAVAdvertiserId>("").evaluate({}), ZAVTypes::defaultValue());
    EXPECT_EQ(WithId<ZAVAdvertiserIdFixed>(std::nullopt).evaluate({}), ZAVTypes::defaultValue());
    EXPECT_EQ(text(WithId<ZAVMobileAdnetUniqueIdMacro>("abc").evaluate({})), "abc");
    EXPECT_EQ(ZAVAdvertiserIdFixed::functionId(), "_aid");
    // Without a provider: the empty identifier and a false flag.
    EXPECT_EQ(ZAVAdvertiserId().evaluate({}), ZAVTypes::defaultValue());
    auto flag = ZAVAdvertisingTrackingEnabledMacro().evaluate({});
    EXPECT_EQ(flag->type(), ZAVPValue_Type_Boolean);
    EXPECT_FALSE(flag->boolean());
}

class FakeBundle : public ZAVAppName {
  public:
    explicit FakeBundle(plat::Value::Dictionary info) : info_(std::move(info)) {}
    plat::Value::Dictionary infoDictionary() override { return info_; }

  private:
    plat::Value::Dictionary info_;
};

TEST(MacroLibraryTest, AppNameFallsBackToTheIdentifier) {
    CapturedLog log;
    plat::Value::Dictionary info;
    info.set("CFBundleName", plat::Value(std::string("Potemaru")));
    info.set("CFBundleIdentifier", plat::Value(std::string("com.example.potemaru")));
    EXPECT_EQ(text(FakeBundle(info).evaluate({})), "Potemaru");
    info.set("CFBundleName", plat::Value(std::string("")));
    EXPECT_EQ(text(FakeBundle(info).evaluate({})), "com.example.potemaru");
    info.set("CFBundleIdentifier", plat::Value(std::string("")));
    EXPECT_EQ(FakeBundle(info).evaluate({}), ZAVTypes::defaultValue());
    EXPECT_EQ(log->count("error", "Application name cannot be retrieved."), 1u);
    // The app's own bundle answers all three, once the app gave its identity.
    plat::Bundle::resetMainInfoValues();
    plat::Bundle::setMainIdentity("org.example.app", "Example", "2.1");
    EXPECT_EQ(text(ZAVAppId().evaluate({})), "org.example.app");
    EXPECT_EQ(text(ZAVAppVersion().evaluate({})), "2.1");
    plat::Bundle::resetMainInfoValues();
}

TEST(MacroLibraryTest, DataLayerMacro) {
    CapturedLog log;
    auto layer = ZAVDataLayer::create();
    layer->push(ZAVObject::map(
        {{ZAVObject::text("gone"), ZAVObject::nullMarker()},
         {ZAVObject::text("user"), ZAVObject::map({{ZAVObject::text("id"), ZAVObject::text("u1")}})}}));
    ZAVDataLayerMacro macro(layer);
    EXPECT_FALSE(macro.isCacheable());
    auto fallback = S("fallback");
    EXPECT_EQ(text(macro.evaluate({{"name", S("user.id")}, {"default_value", fallback}})), "u1");
    EXPECT_EQ(macro.evaluate({{"name", S("gone")}, {"default_value", fallback}}), ZAVTypes::defaultValue());
    EXPECT_EQ(macro.evaluate({{"name", S("missing")}, {"default_value", fallback}}), fallback);
    EXPECT_EQ(macro.evaluate({{"name", S("missing")}}), ZAVTypes::defaultValue());
    EXPECT_EQ(macro.evaluate({{"name", S("user")}})->type(), ZAVPValue_Type_Map);
}

Properties bounds(ZAVPValuePtr min, ZAVPValuePtr max) {
    Properties p;
    if (min) p["min"] = min;
    if (max) p["max"] = max;
    return p;
}

std::set<int64_t> draws(const Properties& properties, int count = 10000) {
    ZAVRandom macro;
    std::set<int64_t> seen;
    for (int i = 0; i < count; ++i) {
        auto v = macro.evaluate(properties);
        EXPECT_EQ(v->type(), ZAVPValue_Type_Integer);
        seen.insert(v->integer());
    }
    return seen;
}

TEST(MacroLibraryTest, RandomBounds) {
    CapturedLog log;
    EXPECT_EQ(draws(bounds(I(5), I(5))), std::set<int64_t>{5});
    EXPECT_EQ(draws(bounds(I(1), I(3))), (std::set<int64_t>{1, 2}));
    EXPECT_EQ(draws(bounds(N(2.5), N(3.5))), std::set<int64_t>{2});
    for (const auto& p : {bounds(I(3), I(1)), bounds(I(7), nullptr), Properties{}, bounds(S("x"), I(9))}) {
        auto seen = draws(p, 2000);
        EXPECT_GE(*seen.begin(), 0);
        EXPECT_LT(*seen.rbegin(), 2147483647);
        // Spread over the whole default range, not stuck near either bound.
        EXPECT_GT(*seen.rbegin(), 1000000000);
        EXPECT_LT(*seen.begin(), 1000000000);
    }
    // A width past 32 bits draws over all of it.
    auto wide = draws(bounds(I(0), I(int64_t{1} << 40)), 2000);
    EXPECT_GT(*wide.rbegin(), int64_t{1} << 39);
    EXPECT_LE(*wide.rbegin(), int64_t{1} << 40);
}

class FakeDevice : public ZAVResolution {
  public:
    std::tuple<double, double, double> screenSize() override { return {375, 667, 2}; }
};

class Event : public ZAVCurrentEventSource {
  public:
    std::optional<std::string> currentEventName() const override { return name; }
    std::optional<std::string> name;
};

TEST(MacroLibraryTest, FactsVersionsTimeAndEvent) {
    EXPECT_EQ(text(FakeDevice().evaluate({})), "750x1334");
    EXPECT_EQ(text(ZAVResolution().evaluate({})), "640x1136");
    EXPECT_EQ(text(ZAVSdkVersion().evaluate({})), text(ZAVOsVersion().evaluate({})));
    EXPECT_FALSE(text(ZAVDeviceName().evaluate({})).empty());
    EXPECT_EQ(text(ZAVPlatform().evaluate({})), "iOS");
    EXPECT_EQ(text(ZAVVuzVersionMacro().evaluate({})), "3.12");
    EXPECT_EQ(text(ZAVContainerVersionMacro("17").evaluate({})), "17");
    auto rv = ZAVRuntimeVersion().evaluate({});
    EXPECT_EQ(rv->type(), ZAVPValue_Type_Integer);
    EXPECT_EQ(rv->integer(), 92886563);
    auto t = ZAVTime().evaluate({});
    EXPECT_EQ(t->type(), ZAVPValue_Type_Integer);
    EXPECT_GT(t->integer(), 0);

    auto constant = S("c");
    EXPECT_EQ(ZAVConstantMacro().evaluate({{"value", constant}}), constant);

    auto source = std::make_shared<Event>();
    ZAVEventMacro event(source);
    EXPECT_EQ(event.evaluate({}), ZAVTypes::defaultValue());
    source->name = "gameStart";
    EXPECT_EQ(text(event.evaluate({})), "gameStart");
    source.reset();
    EXPECT_EQ(event.evaluate({}), ZAVTypes::defaultValue());
}

class Languages : public ZAVLanguage {
  public:
    std::vector<std::string> preferredLanguages() override { return list; }
    std::vector<std::string> list;
};

TEST(MacroLibraryTest, LanguageAndClickReferrer) {
    Languages l;
    EXPECT_EQ(l.evaluate({}), ZAVTypes::defaultValue());
    l.list = {"JA-jp", "en"};
    EXPECT_EQ(text(l.evaluate({})), "ja-jp");
    testsupport::TempHome home;
    ZAVAdnetClickReferrer referrer;
    EXPECT_EQ(referrer.evaluate({}), ZAVTypes::defaultValue());
    EXPECT_EQ(referrer.evaluate({{"conversion_id", S("never-stored")}}), ZAVTypes::defaultValue());
}

TEST(MacroLibraryTest, UniformBelowCoversTheRange) {
    EXPECT_EQ(plat::Random::uniformBelow(0), 0u);
    EXPECT_EQ(plat::Random::uniformBelow(1), 0u);
    uint64_t high = 0;
    for (int i = 0; i < 1000; ++i) high = std::max(high, plat::Random::uniformBelow(UINT64_MAX));
    EXPECT_GT(high, UINT64_MAX / 2);
}

}  // namespace
