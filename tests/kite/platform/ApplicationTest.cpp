#include <gtest/gtest.h>

#include "kite/platform/KTApplication.h"
#include "kite/platform/KTDirectorCaller.h"
#include "kite/platform/linux/KTDisplayLink.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/UserDefaults.h"
#include "tests/support/TestSupport.h"

using namespace kite;

namespace {

class CountingApp : public KTApplication {
  public:
    explicit CountingApp(bool launches) : launches_(launches) {}
    bool applicationDidFinishLaunching() override {
        ++launchCalls;
        return launches_;
    }
    void applicationDidEnterBackground() override {}
    void applicationWillEnterForeground() override {}
    int launchCalls = 0;

  private:
    bool launches_;
};

struct CallerReset {
    ~CallerReset() { KTDirectorCaller::destroy(); }
};

}  // namespace

TEST(KTApplication, LanguageComesFromTheFirstPreferredLocale) {
    EXPECT_EQ(KTApplication::languageFromLocaleIdentifier("zh-Hans"), kLanguageChinese);
    EXPECT_EQ(KTApplication::languageFromLocaleIdentifier("pt-BR"), kLanguagePortuguese);
    EXPECT_EQ(KTApplication::languageFromLocaleIdentifier("ja_JP"), kLanguageJapanese);
    EXPECT_EQ(KTApplication::languageFromLocaleIdentifier("sv"), kLanguageEnglish);
    EXPECT_EQ(KTApplication::languageFromLocaleIdentifier("en-GB"), kLanguageEnglish);
    EXPECT_EQ(KTApplication::languageFromLocaleIdentifier(""), kLanguageEnglish);

    testsupport::TempHome home;
    CountingApp app(true);
    auto defaults = plat::UserDefaults::standard();
    defaults->setObject(plat::Value(plat::Value::Array{plat::Value("ar-EG"), plat::Value("fr")}),
                        plat::UserDefaults::kLanguagesKey);
    EXPECT_EQ(app.getCurrentLanguage(), kLanguageArabic);
    defaults->setObject(plat::Value(plat::Value::Array{}), plat::UserDefaults::kLanguagesKey);
    EXPECT_EQ(app.getCurrentLanguage(), kLanguageEnglish);
    EXPECT_EQ(app.getTargetPlatform(), kTargetPhone);
}

TEST(KTApplication, RunStartsTheFrameSourceOnlyWhenLaunchSucceeds) {
    CallerReset reset;
    {
        CountingApp refusing(false);
        EXPECT_EQ(refusing.run(), 0);
        EXPECT_EQ(refusing.launchCalls, 1);
        EXPECT_EQ(KTDisplayLink::scheduledCount(), 0u);
    }
    CountingApp app(true);
    EXPECT_EQ(KTApplication::sharedApplication(), &app);
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(KTDisplayLink::scheduledCount(), 1u);
    app.run();  // starting again replaces the link
    EXPECT_EQ(KTDisplayLink::scheduledCount(), 1u);
}

TEST(KTApplicationDeathTest, OnlyOneApplicationObjectMayExist) {
    CountingApp app(true);
    EXPECT_DEATH({ CountingApp second(true); }, "sm_pSharedApplication");
}

TEST(KTDirectorCaller, FrameIntervalFromTheAnimationInterval) {
    CallerReset reset;
    auto caller = KTDirectorCaller::sharedDirectorCaller();
    EXPECT_EQ(caller, KTDirectorCaller::sharedDirectorCaller());
    caller->setAnimationInterval(1.0 / 60);
    EXPECT_EQ(caller->interval(), 1);
    caller->setAnimationInterval(1.0 / 30);
    EXPECT_EQ(caller->interval(), 2);
    EXPECT_EQ(caller->displayLink()->frameInterval(), 2);
    caller->setAnimationInterval(0.25);
    EXPECT_EQ(caller->interval(), 15);
    EXPECT_EQ(KTDisplayLink::scheduledCount(), 1u);
    // Shorter than a refresh truncates to 0; the frame source runs at every refresh instead of getting 0.
    caller->setAnimationInterval(1.0 / 61);
    EXPECT_EQ(caller->interval(), 0);
    EXPECT_EQ(caller->displayLink()->frameInterval(), 1);
    caller->setAnimationInterval(-1);
    EXPECT_EQ(caller->displayLink()->frameInterval(), 1);
    caller->setAnimationInterval(1e300);
    EXPECT_EQ(caller->interval(), 2147483647);

    KTDirectorCaller::destroy();
    EXPECT_EQ(KTDisplayLink::scheduledCount(), 0u);
    EXPECT_NE(KTDirectorCaller::sharedDirectorCaller(), caller);
}

TEST(KTDisplayLink, CallsItsTargetEveryIntervalRefreshesOnTheVirtualClock) {
    testsupport::VirtualClockScope scope;
    auto& loop = plat::RunLoop::main();
    int everyFrame = 0, everyThird = 0;
    auto a = KTDisplayLink::displayLinkWithTarget([&] { ++everyFrame; });
    auto b = KTDisplayLink::displayLinkWithTarget([&] { ++everyThird; });
    b->setFrameInterval(3);
    a->addToRunLoop(loop);
    b->addToRunLoop(loop);
    for (int i = 0; i < 9; ++i) {
        int64_t next = KTDisplayLink::nextRefreshMicros();
        ASSERT_GT(next, scope.clock().monotonicMicros());
        EXPECT_EQ(loop.runOnce(0), 0) << "nothing runs before the refresh is due";
        scope.clock().advanceMicros(next - scope.clock().monotonicMicros());
        loop.runOnce(0);
    }
    EXPECT_EQ(everyFrame, 9);
    EXPECT_EQ(everyThird, 3);

    // A target that invalidates its own link is not called again; the refresh timer stops with the last link.
    std::shared_ptr<KTDisplayLink> self;
    int selfCalls = 0;
    self = KTDisplayLink::displayLinkWithTarget([&] {
        ++selfCalls;
        self->invalidate();
    });
    self->addToRunLoop(loop);
    a->invalidate();
    b->invalidate();
    scope.clock().advance(1.0);
    loop.runOnce(0);
    scope.clock().advance(1.0);
    loop.runOnce(0);
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(KTDisplayLink::nextRefreshMicros(), -1);
}
