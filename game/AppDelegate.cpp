#include "game/AppDelegate.h"

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

}  // namespace

int64_t AppDelegate::nowSeconds() {
    // 64 bits: seconds since 1970 leave the int range in 2038.
    return plat::Clock::shared().nowMicros() / 1000000;
}

ResolutionPolicy AppDelegate::resolutionPolicyForFrame(const KTSize& frame) {
    return frame.width == kTallScreenPixels || frame.height == kTallScreenPixels ? kResolutionShowAll
                                                                                 : kResolutionExactFit;
}

bool AppDelegate::applicationDidFinishLaunching() {
    KTUserDefaultStore* store = KTUserDefaultStore::sharedUserDefaultStore();
    if (!store->getBoolForKey(SaveDataKeys::kFirstGame, true)) {
        store->setIntegerForKey(SaveDataKeys::kPassageTime,
                                SaveDataKeys::secondsBetween(
                                    nowSeconds(), store->getInteger64ForKey(SaveDataKeys::kSaveTime, 0)));
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
    store->setInteger64ForKey(SaveDataKeys::kSaveTime, nowSeconds());
    store->setFloatForKey(SaveDataKeys::kGameTimer, GameGlobals::gametimer);
    for (int i = 0; i < GameGlobals::kSlotCount; ++i)
        store->setFloatForKey(SaveDataKeys::objectCreateTimerKey(i), GameGlobals::objectcreatetimer[i]);
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
    store->setIntegerForKey(
        SaveDataKeys::kPassageTime,
        SaveDataKeys::secondsBetween(nowSeconds(), store->getInteger64ForKey(SaveDataKeys::kSaveTime, 0)));
    GameLayer::restoreTimers();
    store->flushInBackground();

    KTDirector::sharedDirector()->startAnimation();
    if (gResumeMusic) Chime::AudioEngine::sharedEngine()->resumeBackgroundMusic();
    gResumeMusic = false;
}
