#include "game/AppDelegate.h"

#include <algorithm>
#include <cstdint>

#include "chime/AudioEngine.h"
#include "chime/Chime.h"
#include "game/GameGlobals.h"
#include "game/GameLayer.h"
#include "game/SaveDataKeys.h"
#include "kite/core/KTDirector.h"
#include "kite/files/KTFileUtils.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/platform/KTEGLView.h"
#include "platform/base/Clock.h"

using namespace kite;

namespace {

// Whether the music was playing when the app left; only then does it start again on return, so music
// the player switched off stays off.
bool gResumeMusic = false;

// The seconds since the play state was last stored, which the play field adds to the stored timers. A
// "saveTime" after now (a clock set back, a hardware clock kept in local time, a home last played on
// another clock) counts as no time away: the timers never run backwards.
void storeTimeAway(KTUserDefaultStore* store) {
    const int64_t stored = store->getInteger64ForKey(SaveDataKeys::kSaveTime, 0);
    AppDelegate::settleStoredDates(stored);
    const int away = SaveDataKeys::secondsBetween(AppDelegate::nowSeconds(), stored);
    store->setIntegerForKey(SaveDataKeys::kPassageTime, std::max(away, 0));
}

// 64 bits: seconds since 1970 leave the int range in 2038.
int64_t clockSeconds(const plat::Clock::Ref& clock) {
    return clock.nowMicros() / 1000000;
}

// a - b, saturated.
int64_t minus(int64_t a, int64_t b) {
    int64_t difference = 0;
    if (__builtin_sub_overflow(a, b, &difference)) return b < 0 ? INT64_MAX : INT64_MIN;
    return difference;
}

// `ahead` held so that the stored dates at the clock's `now` (seconds) lie between 1970 and the real date.
int64_t boundedAhead(int64_t ahead, int64_t now) {
    const int64_t earliest = minus(0, now);
    const int64_t latest = std::max(earliest, minus(plat::RealClock().nowMicros() / 1000000, now));
    return std::clamp(ahead, earliest, latest);
}

}  // namespace

int64_t AppDelegate::nowSeconds() {
    const int64_t now = clockSeconds(plat::Clock::shared());
    int64_t moved = now;
    if (GameGlobals::storedDatesAhead && __builtin_add_overflow(now, *GameGlobals::storedDatesAhead, &moved))
        return *GameGlobals::storedDatesAhead > 0 ? INT64_MAX : INT64_MIN;
    return moved;
}

void AppDelegate::settleStoredDates(int64_t stored) {
    const auto clock = plat::Clock::shared();
    if (!clock.isVirtual() || GameGlobals::storedDatesAhead) return;
    const int64_t now = clockSeconds(clock);
    GameGlobals::storedDatesAhead = boundedAhead(minus(stored, now), now);
}

void AppDelegate::carryStoredDates(int64_t ahead) {
    GameGlobals::storedDatesAhead = boundedAhead(ahead, plat::VirtualClock::kDefaultStartMicros / 1000000);
}

int64_t AppDelegate::firstStartSeconds() {
    settleStoredDates(plat::RealClock().nowMicros() / 1000000);
    return nowSeconds();
}

ResolutionPolicy AppDelegate::resolutionPolicyForFrame(const KTSize& frame) {
    return frame.width == kTallScreenPixels || frame.height == kTallScreenPixels ? kResolutionShowAll
                                                                                 : kResolutionExactFit;
}

bool AppDelegate::applicationDidFinishLaunching() {
    KTUserDefaultStore* store = KTUserDefaultStore::sharedUserDefaultStore();
    if (!store->getBoolForKey(SaveDataKeys::kFirstGame, true)) {
        storeTimeAway(store);
        store->setBoolForKey(SaveDataKeys::kBackground, false);
        store->flushInBackground();
    }

    KTDirector* director = KTDirector::sharedDirector();
    director->setOpenGLView(KTEGLView::sharedOpenGLView());
    director->setDisplayStats(false);
    director->setAnimationInterval(kAnimationInterval);

    const KTSize frame = director->getOpenGLView()->getFrameSize();
    director->setContentScaleFactor(kContentScale);
    // Phones and tablets take the same road.
    (void)getTargetPlatform();
    director->getOpenGLView()->setDesignResolutionSize(kDesignWidth, kDesignHeight,
                                                       resolutionPolicyForFrame(frame));

    KTFileUtils* files = KTFileUtils::sharedFileUtils();
    files->setSearchPaths({});
    files->setSearchResolutionsOrder({});

    director->runWithScene(GameLayer::scene());
    return true;
}

void AppDelegate::applicationDidEnterBackground() {
    KTUserDefaultStore* store = KTUserDefaultStore::sharedUserDefaultStore();
    // Before the set-up the timers here are not the game's yet: the stored ones, and the time they were
    // stored, stay as they are, so the next set-up goes on from them and counts the time away once.
    if (GameGlobals::playFieldSetUp) {
        store->setInteger64ForKey(SaveDataKeys::kSaveTime, nowSeconds());
        store->setFloatForKey(SaveDataKeys::kGameTimer, GameGlobals::gametimer);
        for (int i = 0; i < GameGlobals::kSlotCount; ++i)
            store->setFloatForKey(SaveDataKeys::objectCreateTimerKey(i), GameGlobals::objectcreatetimer[i]);
    }
    // Every way out (quitting, a signal, a relaunch) passes here: nothing flushed may still be on its
    // way to the disk when the app stops.
    store->flushInBackground();
    store->waitForBackgroundFlush();

    KTDirector::sharedDirector()->stopAnimation();
    gResumeMusic = ::AudioEngine::sharedEngine()->isBackgroundMusicPlaying();
    Chime::AudioEngine::sharedEngine()->pauseBackgroundMusic();
}

void AppDelegate::applicationWillEnterForeground() {
    KTUserDefaultStore* store = KTUserDefaultStore::sharedUserDefaultStore();
    // Back inside the splash, the set-up still to come adds the time away, as after a launch (and a first
    // start has none); the timers it will read are left to it.
    if (GameGlobals::playFieldSetUp || !store->getBoolForKey(SaveDataKeys::kFirstGame, true))
        storeTimeAway(store);
    if (GameGlobals::playFieldSetUp) GameLayer::restoreTimers();
    store->flushInBackground();

    KTDirector::sharedDirector()->startAnimation();
    if (gResumeMusic) Chime::AudioEngine::sharedEngine()->resumeBackgroundMusic();
    gResumeMusic = false;
}
