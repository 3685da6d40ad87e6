// The engine's singletons back to how the program started: the director (with the services and caches it
// owns), the frame source, and the caches and settings that live without a director.
#include "kite/accelerometer/AccelerometerSimulation.h"
#include "kite/base/KTAutoreleasePool.h"
#include "kite/base/KTScriptSupport.h"
#include "kite/core/KTConfiguration.h"
#include "kite/core/KTDirector.h"
#include "kite/files/KTFileUtils.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/gl/KTShaderCache.h"
#include "kite/layers/KTScrollLayer.h"
#include "kite/platform/KTDirectorCaller.h"
#include "kite/platform/KTEGLView.h"
#include "kite/platform/linux/EAGLView.h"
#include "kite/sprites/KTAnimationCache.h"
#include "kite/sprites/KTSpriteFrameCache.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureCache.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/ProcessState.h"

namespace {

using namespace kite;

const bool registered = testsupport::registerReset(testsupport::ResetLayer::Engine, "kite", [] {
    KTDirectorCaller::destroy();
    AccelerometerSimulation::purgeSharedAccelerometer();
    EAGLView::setTouchReceiver(nullptr);
    if (KTDirector::hasSharedDirector()) {
        // A director the test did not end. Its GL view belonged to the test and is gone: detach it
        // (on the test context, which the detach draws with) before the purge would call into it.
        testsupport::sharedGLContext();
        KTDirector* director = KTDirector::sharedDirector();
        director->setOpenGLView(nullptr);
        director->purgeDirector();
    }
    KTEGLView::purgeSharedOpenGLView();
    KTEGLViewProtocol::forgetAllTouches();
    KTAnimationCache::purgeSharedAnimationCache();
    KTSpriteFrameCache::purgeSharedSpriteFrameCache();
    KTTextureCache::purgeSharedTextureCache();
    KTShaderCache::purgeSharedShaderCache();
    KTFileUtils::purgeFileUtils();
    KTConfiguration::purgeConfiguration();
    KTUserDefaultStore::purgeSharedUserDefaultStore();
    KTScriptEngineManager::purgeSharedManager();
    KTAutoreleasePoolStack::purge();
    KTScrollLayer::setPageMoveDoneFunc(nullptr);
    KTTexture2D::setDefaultAlphaPixelFormat(kKTTexture2DPixelFormat_Default);
    KTTexture2D::PVRImagesHavePremultipliedAlpha(false);
    ktGLInvalidateStateCache();
});

}  // namespace
