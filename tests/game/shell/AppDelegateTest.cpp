#include <gtest/gtest.h>

#include <cstdlib>

#include "chime/AudioEngine.h"
#include "chime/Chime.h"
#include "game/AppDelegate.h"
#include "game/GameGlobals.h"
#include "game/SaveDataKeys.h"
#include "kite/core/KTDirector.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/KTEGLView.h"
#include "kite/platform/linux/KTHeadlessDriver.h"
#include "platform/base/Clock.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "tests/support/TestSupport.h"

using kite::KTSize;

namespace {

// The game launched through its application object on the headless screen, in a temporary home.
class LaunchedGame {
  public:
    LaunchedGame() {
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
        setenv("ALSOFT_DRIVERS", "null", 1);
        GameGlobals::reset();
    }
    // The director ends (releasing the play field and its view) and the store goes, so the next test
    // starts from nothing; the sound device is closed before exit, as the program does.
    ~LaunchedGame() {
        if (launched) {
            kite::KTDirector::sharedDirector()->end();
            driver.runFrames(1);
        }
        kite::KTUserDefaultStore::purgeSharedUserDefaultStore();
        ::AudioEngine::end();
    }
    void launch() {
        ASSERT_TRUE(driver.createView());
        launched = true;
        kite::KTApplication::sharedApplication()->run();
    }
    bool launched = false;
    kite::KTUserDefaultStore* store() { return kite::KTUserDefaultStore::sharedUserDefaultStore(); }
    kite::KTApplication* app() { return kite::KTApplication::sharedApplication(); }
    bool musicPlaying() { return ::AudioEngine::sharedEngine()->isBackgroundMusicPlaying(); }

    testsupport::TempHome home;
    testsupport::VirtualClockScope clock;
    kite::KTHeadlessDriver driver;
    AppDelegate delegate;
};

constexpr int kSplashFrames = 125;  // two splash seconds and a little more

}  // namespace

TEST(AppDelegate, TallFramesShowAllAndOthersFitExactly) {
    EXPECT_EQ(AppDelegate::resolutionPolicyForFrame(KTSize(640, 1136)), kite::kResolutionShowAll);
    EXPECT_EQ(AppDelegate::resolutionPolicyForFrame(KTSize(1136, 640)), kite::kResolutionShowAll);
    EXPECT_EQ(AppDelegate::resolutionPolicyForFrame(KTSize(640, 960)), kite::kResolutionExactFit);
    EXPECT_EQ(AppDelegate::resolutionPolicyForFrame(KTSize(1536, 2048)), kite::kResolutionExactFit);
    EXPECT_EQ(AppDelegate::resolutionPolicyForFrame(KTSize(1135.5f, 640)), kite::kResolutionExactFit);
}

TEST(AppDelegate, FirstStartThenBackgroundAndForegroundCarryTheClocks) {
    LaunchedGame game;
    const int64_t start = plat::RealClock().nowMicros() / 1000000;
    game.launch();
    EXPECT_EQ(game.store()->getIntegerForKey(SaveDataKeys::kPassageTime, -1),
              -1);  // nothing at a first launch
    kite::KTDirector* director = kite::KTDirector::sharedDirector();
    EXPECT_FLOAT_EQ(director->getContentScaleFactor(), 2.0f);
    EXPECT_EQ(director->getOpenGLView()->getResolutionPolicy(), kite::kResolutionShowAll);
    EXPECT_EQ(director->getWinSize().width, 320);
    EXPECT_EQ(director->getWinSize().height, 568);
    EXPECT_FALSE(director->isDisplayStats());

    game.driver.runFrames(kSplashFrames);
    EXPECT_FALSE(game.store()->getBoolForKey(SaveDataKeys::kFirstGame, true));
    EXPECT_GE(game.store()->getInteger64ForKey(SaveDataKeys::kSaveTime, 0), start);  // the real date
    EXPECT_TRUE(game.musicPlaying());

    game.app()->applicationDidEnterBackground();
    const float leftAt = GameGlobals::gametimer;
    const float slot3 = GameGlobals::objectcreatetimer[3];
    EXPECT_FALSE(game.musicPlaying());
    EXPECT_EQ(game.store()->getInteger64ForKey(SaveDataKeys::kSaveTime, 0), AppDelegate::nowSeconds());
    EXPECT_FLOAT_EQ(game.store()->getFloatForKey(SaveDataKeys::kGameTimer), leftAt);
    for (int i = 0; i < GameGlobals::kSlotCount; ++i)
        EXPECT_FLOAT_EQ(game.store()->getFloatForKey(SaveDataKeys::objectCreateTimerKey(i), -1),
                        GameGlobals::objectcreatetimer[i]);
    // A fresh store object reads the same from the file: the keys were flushed.
    kite::KTUserDefaultStore::purgeSharedUserDefaultStore();
    EXPECT_FLOAT_EQ(game.store()->getFloatForKey(SaveDataKeys::kGameTimer), leftAt);

    game.clock.clock().jumpWallMicros(3600LL * 1000000);
    game.app()->applicationWillEnterForeground();
    EXPECT_EQ(game.store()->getIntegerForKey(SaveDataKeys::kPassageTime), 3600);
    EXPECT_FLOAT_EQ(GameGlobals::gametimer, leftAt + 3600);
    EXPECT_FLOAT_EQ(GameGlobals::objectcreatetimer[3], slot3 + 3600);
    EXPECT_TRUE(game.musicPlaying());

    // Music the player switched off stays off across the next round trip.
    Chime::AudioEngine::sharedEngine()->stopBackgroundMusic();
    game.app()->applicationDidEnterBackground();
    game.app()->applicationWillEnterForeground();
    EXPECT_FALSE(game.musicPlaying());
    game.driver.runFrames(5);
    EXPECT_FALSE(game.musicPlaying());
}

TEST(AppDelegate, LeavingForTheBackgroundWaitsForTheWritesOfThePlay) {
    LaunchedGame game;
    game.launch();
    game.driver.runFrames(kSplashFrames);
    game.store()->setIntegerForKey(SaveDataKeys::kMyPoints, 15);
    game.store()->flushInBackground();
    game.app()->applicationDidEnterBackground();
    // On disk when the call returns: the app may be stopped right after it.
    auto saved = plat::PropertyList::readFile(plat::Paths::preferences() / "potemaru.plist");
    ASSERT_TRUE(saved);
    EXPECT_EQ((*saved)[SaveDataKeys::kMyPoints].toInt64(), 15);
    EXPECT_EQ((*saved)[SaveDataKeys::kSaveTime].toInt64(), AppDelegate::nowSeconds());
}

TEST(AppDelegate, ALaterStartStoresTheTimeAwayForTheSetUp) {
    LaunchedGame game;
    const int64_t now = AppDelegate::nowSeconds();
    auto* store = game.store();
    store->setBoolForKey(SaveDataKeys::kFirstGame, false);
    store->setInteger64ForKey(SaveDataKeys::kSaveTime, now - 3600);
    store->setFloatForKey(SaveDataKeys::kGameTimer, 100.0f);
    for (int i = 0; i < GameGlobals::kSlotCount; ++i)
        store->setFloatForKey(SaveDataKeys::objectCreateTimerKey(i), 5.0f);
    store->setBoolForKey(SaveDataKeys::kBackground, true);
    store->flush();

    // The dates as a relaunched program carries them, with the clock: settled from the store, a headless
    // start counts no time away.
    AppDelegate::carryStoredDates(0);
    game.launch();
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kPassageTime), 3600);
    EXPECT_FALSE(store->getBoolForKey(SaveDataKeys::kBackground, true));
    EXPECT_EQ(store->getInteger64ForKey(SaveDataKeys::kSaveTime, 0), now - 3600);  // left alone

    // The set-up adds the hour to the spawn timers, so every slot spawns in its first frames.
    game.driver.runFrames(kSplashFrames);
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kObjectCount), GameGlobals::kSlotCount);
    for (int i = 0; i < GameGlobals::kSlotCount; ++i) EXPECT_LT(GameGlobals::objectcreatetimer[i], 1.0f) << i;
}

TEST(AppDelegate, TimeAwayIsWorkedOutIn64BitsAndSaturated) {
    EXPECT_EQ(SaveDataKeys::secondsBetween(100, 40), 60);
    EXPECT_EQ(SaveDataKeys::secondsBetween(40, 100), -60);
    EXPECT_EQ(SaveDataKeys::secondsBetween(1767225600, INT32_MIN), INT32_MAX);
    EXPECT_EQ(SaveDataKeys::secondsBetween(INT64_MAX, INT64_MIN), INT32_MAX);
    EXPECT_EQ(SaveDataKeys::secondsBetween(INT64_MIN, 1), INT32_MIN);
    // Both past 2038: the difference is what counts.
    EXPECT_EQ(SaveDataKeys::secondsBetween(int64_t{3000000000} + 3600, int64_t{3000000000}), 3600);
}

TEST(AppDelegate, ASaveTimeOfIntMinGivesTheLongestTimeAwayNotAWrappedOne) {
    LaunchedGame game;
    auto* store = game.store();
    store->setBoolForKey(SaveDataKeys::kFirstGame, false);
    store->setInteger64ForKey(SaveDataKeys::kSaveTime, INT32_MIN);
    store->flush();
    game.launch();
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kPassageTime), INT32_MAX);
    game.driver.runFrames(kSplashFrames);
    EXPECT_EQ(store->getIntegerForKey(SaveDataKeys::kObjectCount), GameGlobals::kSlotCount);
}

TEST(AppDelegate, TheClockPast2038IsStoredWhole) {
    LaunchedGame game;
    game.launch();
    game.driver.runFrames(kSplashFrames);
    // A billion seconds on from 2026 is past the 32-bit seconds.
    game.clock.clock().jumpWallMicros(int64_t{1000000000} * 1000000);
    const int64_t now = AppDelegate::nowSeconds();
    ASSERT_GT(now, INT32_MAX);
    game.app()->applicationDidEnterBackground();
    EXPECT_EQ(game.store()->getInteger64ForKey(SaveDataKeys::kSaveTime, 0), now);
    game.clock.clock().jumpWallMicros(int64_t{90} * 1000000);
    game.app()->applicationWillEnterForeground();
    EXPECT_EQ(game.store()->getIntegerForKey(SaveDataKeys::kPassageTime), 90);
}

// A home last stored a month before the headless clock's start: the dates the run stores go on from that
// one, not from the virtual clock's.
TEST(AppDelegate, AHeadlessRunOnAHomeStoredBeforeItsClocksStartStoresNoVirtualDate) {
    LaunchedGame game;
    const int64_t start = plat::VirtualClock::kDefaultStartMicros / 1000000, stored = start - 30 * 86400;
    game.store()->setBoolForKey(SaveDataKeys::kFirstGame, false);
    game.store()->setInteger64ForKey(SaveDataKeys::kSaveTime, stored);
    game.launch();
    game.driver.runFrames(kSplashFrames);
    game.app()->applicationDidEnterBackground();
    EXPECT_EQ(game.store()->getInteger64ForKey(SaveDataKeys::kSaveTime, 0),
              stored + game.clock.clock().nowMicros() / 1000000 - start);
}

// Neither a relaunch's carried offset nor a home's date puts the stored dates past the real date (or
// before 1970): a date past it would stay ahead of every later game's clock, with no time away ever again.
TEST(AppDelegate, TheStoredDatesNeverPassTheRealDate) {
    testsupport::VirtualClockScope clock;
    for (auto take : {&AppDelegate::carryStoredDates, &AppDelegate::settleStoredDates}) {
        GameGlobals::reset();
        take(INT64_MAX);
        EXPECT_LE(AppDelegate::nowSeconds(), plat::RealClock().nowMicros() / 1000000);
        GameGlobals::reset();
        take(INT64_MIN);
        EXPECT_EQ(AppDelegate::nowSeconds(), 0);
    }
    GameGlobals::reset();
}

namespace {

// Timers an earlier play stored when it left at `saveTime`.
void storeEarlierPlay(kite::KTUserDefaultStore* store, int64_t saveTime) {
    store->setBoolForKey(SaveDataKeys::kFirstGame, false);
    store->setInteger64ForKey(SaveDataKeys::kSaveTime, saveTime);
    store->setFloatForKey(SaveDataKeys::kGameTimer, 100.5f);
    for (int i = 0; i < GameGlobals::kSlotCount; ++i)
        store->setFloatForKey(SaveDataKeys::objectCreateTimerKey(i), 10.0f + i);
    store->flush();
}

// Launches, leaves 5 frames into the splash, comes back 10 s later and runs past the set-up.
void awayInsideTheSplash(LaunchedGame& game) {
    game.launch();
    game.driver.runFrames(5);
    game.app()->applicationDidEnterBackground();
    game.clock.clock().jumpWallMicros(int64_t{10} * 1000000);
    game.app()->applicationWillEnterForeground();
    game.driver.runFrames(kSplashFrames);
}

}  // namespace

TEST(AppDelegate, LeavingInsideTheSplashKeepsTheStoredTimers) {
    LaunchedGame game;
    const int64_t earlier = AppDelegate::nowSeconds() - 60;
    storeEarlierPlay(game.store(), earlier);
    game.launch();
    game.driver.runFrames(5);
    game.app()->applicationDidEnterBackground();
    auto saved = plat::PropertyList::readFile(plat::Paths::preferences() / "potemaru.plist");
    ASSERT_TRUE(saved);
    EXPECT_EQ((*saved)[SaveDataKeys::kSaveTime].toInt64(), earlier);
    EXPECT_DOUBLE_EQ((*saved)[SaveDataKeys::kGameTimer].toDouble(), 100.5);
    for (int i = 0; i < GameGlobals::kSlotCount; ++i)
        EXPECT_DOUBLE_EQ((*saved)[SaveDataKeys::objectCreateTimerKey(i)].toDouble(), 10.0 + i) << i;
}

TEST(AppDelegate, BackInsideTheSplashTheSetUpAddsTheTimeAwayOnce) {
    LaunchedGame game;
    storeEarlierPlay(game.store(), AppDelegate::nowSeconds());
    awayInsideTheSplash(game);
    EXPECT_NEAR(GameGlobals::gametimer, 110.5f, 0.5f);
    for (int i = 0; i < GameGlobals::kSlotCount; ++i)
        EXPECT_NEAR(GameGlobals::objectcreatetimer[i], 20.0f + i, 0.5f) << i;
}

TEST(AppDelegate, AFirstStartBackInsideTheSplashStartsItsSpawnTimersAt27) {
    LaunchedGame game;
    awayInsideTheSplash(game);
    for (int i = 0; i < GameGlobals::kSlotCount; ++i)
        EXPECT_NEAR(GameGlobals::objectcreatetimer[i], 27.0f, 0.5f) << i;
}
