#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/base/ClassRegistry.h"
#include "platform/base/Error.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/KeyedArchive.h"
#include "platform/storage/PropertyList.h"
#include "tagmanager/values/ZAVAsyncUtil.h"
#include "tagmanager/values/ZAVBoolean.h"
#include "tagmanager/values/ZAVFunctionCallImplementation.h"
#include "tagmanager/values/ZAVPropertyListUtil.h"
#include "tagmanager/values/ZAVTypeOrFailure.h"
#include "tests/support/TestSupport.h"
#include "tests/tagmanager/TagManagerTestSupport.h"

namespace {

// Runs the main loop until `done` or a generous bound of rounds.
template <typename Done>
bool pumpUntil(Done done) {
    for (int i = 0; i < 2000 && !done(); ++i) plat::RunLoop::main().runOnce(0.01);
    return done();
}

TEST(ZAVBooleanTest, FromStringEqualityAndHash) {
    EXPECT_TRUE(ZAVBoolean::booleanWithString("TRUE")->boolValue());
    EXPECT_TRUE(ZAVBoolean::booleanWithString("True")->boolValue());
    EXPECT_FALSE(ZAVBoolean::booleanWithString("fAlSe")->boolValue());
    for (const char* text : {"yes", "1", "", "true "})
        EXPECT_FALSE(ZAVBoolean::booleanWithString(text)) << text;
    auto a = ZAVBoolean::booleanWithBool(true);
    auto b = ZAVBoolean::booleanWithBool(true);
    EXPECT_NE(a, b);
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_EQ(a->hash(), 123u);
    EXPECT_EQ(ZAVBoolean::no()->hash(), 838u);
    EXPECT_FALSE(a->isEqual(*ZAVObject::integer(1)));
    EXPECT_FALSE(ZAVObject::integer(1)->isEqual(*a));
    EXPECT_EQ(a->description(), "true");
    EXPECT_TRUE(a->copy()->boolValue());
}

TEST(ZAVBooleanTest, ArchiveRoundTrip) {
    ZAVBoolean::registerCoding();
    plat::ClassRegistry::Scoped scope(plat::ClassRegistry::shared(), "ZAVBoolean");
    for (bool value : {true, false}) {
        auto archived = plat::KeyedArchive::archive(
            std::shared_ptr<const plat::Coding>(ZAVBoolean::booleanWithBool(value)));
        ASSERT_TRUE(archived);
        auto back = plat::KeyedArchive::unarchiveObject<ZAVBoolean>(*archived);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->boolValue(), value);
    }
}

TEST(TypeOrFailureTest, HoldsOneOrTheOther) {
    ZAVTypeOrFailure<> value(ZAVObject::text("x"));
    EXPECT_EQ(value.failure(), 0);
    EXPECT_EQ(value.type()->textValue(), "x");
    ZAVTypeOrFailure<> failure(int64_t{2});
    EXPECT_EQ(failure.failure(), 2);
    EXPECT_FALSE(failure.type());
}

TEST(PropertyListUtilTest, MissingFileLogsAtDebugOnly) {
    testsupport::TempHome home;
    tmtest::CapturedLog log;
    EXPECT_FALSE(ZAVPropertyListUtil::readPropertyList("nothing-here"));
    ASSERT_EQ(log->lines().size(), 1u);
    EXPECT_EQ(log->count("debug", "No plist file: "), 1u);
    EXPECT_FALSE(ZAVPropertyListUtil::removePropertyList("nothing-here"));
    EXPECT_EQ(log->lines().size(), 1u);
}

TEST(PropertyListUtilTest, WriteReadRemove) {
    testsupport::TempHome home;
    auto map = ZAVObject::map({{ZAVObject::text("a"), ZAVObject::integer(1)},
                               {ZAVObject::text("b"), ZAVObject::list({ZAVObject::floating(1.5)})}});
    ASSERT_TRUE(ZAVPropertyListUtil::writePropertyList("ClickReferrer", map));
    auto back = ZAVPropertyListUtil::readPropertyList("ClickReferrer");
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(*map));
    EXPECT_TRUE(ZAVPropertyListUtil::removePropertyList("ClickReferrer"));
    EXPECT_FALSE(std::filesystem::exists(ZAVPropertyListUtil::plistFilePath("ClickReferrer")));
}

TEST(PropertyListUtilTest, UnwritableObjectOrCorruptFile) {
    testsupport::TempHome home;
    tmtest::CapturedLog log;
    EXPECT_FALSE(ZAVPropertyListUtil::writePropertyList("x", ZAVObject::notPresent()));
    EXPECT_EQ(log->count("warning", "Failed to Write property list x"), 1u);
    testsupport::writeFile(ZAVPropertyListUtil::plistFilePath("bad"), "bplist00garbage");
    EXPECT_FALSE(ZAVPropertyListUtil::readPropertyList("bad"));
    EXPECT_EQ(log->count("info", "Error reading plist: "), 1u);
}

TEST(AsyncUtilTest, ResultRunsOnMainLoop) {
    bool done = false;
    ZAVAsyncUtil::invokeAsync([] { return ZAVObject::text("r"); },
                              [&](ZAVObjectPtr result) {
                                  EXPECT_TRUE(plat::RunLoop::main().isCurrent());
                                  EXPECT_EQ(result->textValue(), "r");
                                  done = true;
                              });
    EXPECT_TRUE(pumpUntil([&] { return done; }));
}

TEST(AsyncUtilTest, ThrowingWorkLogsOneErrorAndSkipsTheResult) {
    tmtest::CapturedLog log;
    int results = 0;
    ZAVAsyncUtil::invokeAsync([]() -> ZAVObjectPtr { throw plat::Exception("Named", "why"); },
                              [&](ZAVObjectPtr) { ++results; });
    ZAVAsyncUtil::invokeAsync([]() -> ZAVObjectPtr { throw std::runtime_error("plain"); },
                              [&](ZAVObjectPtr) { ++results; });
    bool marker = false;
    ZAVAsyncUtil::invokeAsync([] { return ZAVObjectPtr(); }, [&](ZAVObjectPtr) { marker = true; });
    ASSERT_TRUE(pumpUntil([&] { return marker; }));
    EXPECT_EQ(results, 0);
    EXPECT_EQ(log->count("error", "Caught exception: "), 2u);
    EXPECT_EQ(log->count("error", "why"), 1u);
    EXPECT_EQ(log->count("error", "plain"), 1u);
}

TEST(AsyncUtilTest, AsyncWritesOfOneFileLandInCallOrder) {
    testsupport::TempHome home;
    for (int i = 1; i <= 50; ++i)
        ZAVPropertyListUtil::writePropertyListAsync(
            "vuz_img_unrepeatable", ZAVObject::map({{ZAVObject::text("n"), ZAVObject::integer(i)}}));
    ZAVAsyncUtil::waitUntilIdle();
    auto back = ZAVPropertyListUtil::readPropertyList("vuz_img_unrepeatable");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->objectForKey("n")->int64Value(), 50);
}

class Probe : public ZAVFunctionCallImplementation {
  public:
    Probe() : ZAVFunctionCallImplementation("_probe", {"arg0", "arg1"}) {}
    bool isCacheable() const override { return true; }
    ZAVPValuePtr evaluate(const Properties&) override { return nullptr; }
};

TEST(FunctionCallTest, RequiredKeysAndPairs) {
    static_assert(!std::is_default_constructible_v<ZAVFunctionCallImplementation>);
    static_assert(std::is_abstract_v<ZAVFunctionCallImplementation>);
    Probe probe;
    EXPECT_EQ(probe.instanceFunctionId(), "_probe");
    EXPECT_TRUE(probe.hasRequiredKeys({"arg0", "arg1", "extra"}));
    EXPECT_FALSE(probe.hasRequiredKeys({"arg0"}));
    EXPECT_EQ(ZAVFunctionCallImplementation::functionKey(), "function");
    EXPECT_EQ(ZAVFunctionCallImplementation::instanceNameKey(), "instance_name");
    EXPECT_EQ(ZAVFunctionCallImplementation::notDefaultMacroKey(), "not_default_macro");
    EXPECT_FALSE(ZAVBooleanAndStatic(nullptr, true).boolValue());
    EXPECT_TRUE(ZAVBooleanAndStatic::booleanWithBool(true, false)->boolValue());
    EXPECT_FALSE(ZAVBooleanAndStatic::booleanWithBool(true, false)->isStatic());
}

}  // namespace
