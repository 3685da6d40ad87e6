#include "kite/core/KTDirector.h"

#include <GLES2/gl2.h>

#include <cctype>
#include <cstdio>

#include "kite/accelerometer/KTAccelerometer.h"
#include "kite/actions/KTActionManager.h"
#include "kite/base/KTArray.h"
#include "kite/base/KTAutoreleasePool.h"
#include "kite/base/KTMacros.h"
#include "kite/core/KTConfiguration.h"
#include "kite/core/KTScheduler.h"
#include "kite/draw/KTDrawingPrimitives.h"
#include "kite/files/KTFileUtils.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/gl/KTShaderCache.h"
#include "kite/image/KTImage.h"
#include "kite/keypad/KTKeypadDispatcher.h"
#include "kite/labels/KTFPSImages.h"
#include "kite/labels/KTLabelAtlas.h"
#include "kite/matrix/KTMatrix.h"
#include "kite/matrix/KTMatrixStack.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/KTEGLViewProtocol.h"
#include "kite/sprites/KTAnimationCache.h"
#include "kite/sprites/KTSpriteFrameCache.h"
#include "kite/text_input/KTPlatformKeyInput.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureCache.h"
#include "kite/touch/KTTouchDispatcher.h"
#include "platform/base/Log.h"

namespace kite {

unsigned int g_drawCallCount = 0;

namespace {

KTDisplayLinkDirector* s_sharedDirector = nullptr;

// Texture cache key of the statistics font.
constexpr const char* kFPSImagesKey = "kt_fps_images";

}  // namespace

uint32_t ktTypeIdOfName(const char* typeName) {
    uint32_t h = 0;
    for (const char* c = typeName; *c; ++c)
        h = (h * 16777619u) ^ static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(*c)));
    return h;
}

KTDirector* KTDirector::sharedDirector() {
    if (!s_sharedDirector) {
        s_sharedDirector = new KTDisplayLinkDirector();
        s_sharedDirector->init();
    }
    return s_sharedDirector;
}

KTDirector::KTDirector() = default;

uint32_t KTDirector::getClassTypeInfo() {
    static const uint32_t id = ktTypeIdOfName("N4kite10KTDirectorE");
    return id;
}

bool KTDirector::init() {
    setDefaultValues();

    m_pRunningScene = nullptr;
    m_pNextScene = nullptr;
    m_pNotificationNode = nullptr;
    m_pobScenesStack = new KTArray();
    m_pobScenesStack->init();
    m_pProjectionDelegate = nullptr;

    m_fAccumDt = 0.0f;
    m_fFrameRate = 0.0f;
    m_pFPSLabel = m_pSPFLabel = m_pDrawsLabel = nullptr;
    m_uTotalFrames = m_uFrames = 0;
    m_szFPS[0] = m_szSPF[0] = m_szDrawCalls[0] = '\0';
    m_pLastUpdate = new kt_timeval();
    m_bPaused = false;
    m_bPurgeDirecotorInNextLoop = false;
    m_bNextDeltaTimeZero = false;
    m_obWinSizeInPoints = KTSize(0, 0);
    m_pobOpenGLView = nullptr;
    m_fContentScaleFactor = 1.0f;

    m_pScheduler = new KTScheduler();
    m_pActionManager = new KTActionManager();
    m_pScheduler->scheduleUpdateForTarget(m_pActionManager, kKTPrioritySystem, false);

    m_pTouchDispatcher = new KTTouchDispatcher();
    m_pTouchDispatcher->init();
    m_pKeypadDispatcher = new KTKeypadDispatcher();
    m_pAccelerometer = new KTAccelerometer();
    // Keys typed on the platform view reach the text-input and keypad dispatchers before the game's updates.
    m_pScheduler->scheduleUpdateForTarget(KTPlatformKeyInput::sharedKeyInput(), kKTPriorityNonSystemMin,
                                          false);

    KTAutoreleasePoolStack::sharedPoolStack()->push();
    return true;
}

bool KTDirector::hasSharedDirector() {
    return s_sharedDirector != nullptr;
}

KTDirector::~KTDirector() {
    KT_SAFE_RELEASE(m_pFPSLabel);
    KT_SAFE_RELEASE(m_pSPFLabel);
    KT_SAFE_RELEASE(m_pDrawsLabel);
    KT_SAFE_RELEASE(m_pRunningScene);
    KT_SAFE_RELEASE(m_pNotificationNode);
    KT_SAFE_RELEASE(m_pobScenesStack);
    KT_SAFE_RELEASE(m_pScheduler);
    KT_SAFE_RELEASE(m_pActionManager);
    KT_SAFE_RELEASE(m_pTouchDispatcher);
    KT_SAFE_RELEASE(m_pKeypadDispatcher);
    KT_SAFE_DELETE(m_pAccelerometer);

    KTAutoreleasePoolStack::sharedPoolStack()->pop();
    KTAutoreleasePoolStack::purge();

    KT_SAFE_DELETE(m_pLastUpdate);
    if (s_sharedDirector == this) s_sharedDirector = nullptr;
}

void KTDirector::setDefaultValues() {
    KTConfiguration* conf = KTConfiguration::sharedConfiguration();

    m_dOldAnimationInterval = m_dAnimationInterval = 1.0 / conf->getNumber("kite.fps", 60);
    m_bDisplayStats = conf->getBool("kite.display_fps", false);

    const std::string projection = conf->getCString("kite.gl.projection", "3d");
    if (projection == "3d")
        m_eProjection = kKTDirectorProjection3D;
    else if (projection == "2d")
        m_eProjection = kKTDirectorProjection2D;
    else if (projection == "custom")
        m_eProjection = kKTDirectorProjectionCustom;

    const std::string pixelFormat = conf->getCString("kite.texture.pixel_format_for_png", "rgba8888");
    if (pixelFormat == "rgba8888")
        KTTexture2D::setDefaultAlphaPixelFormat(kKTTexture2DPixelFormat_RGBA8888);
    else if (pixelFormat == "rgba4444")
        KTTexture2D::setDefaultAlphaPixelFormat(kKTTexture2DPixelFormat_RGBA4444);
    else if (pixelFormat == "rgba5551")
        KTTexture2D::setDefaultAlphaPixelFormat(kKTTexture2DPixelFormat_RGB5A1);

    KTTexture2D::PVRImagesHavePremultipliedAlpha(
        conf->getBool("kite.texture.pvrv2_has_alpha_premultiplied", false));
}

void KTDirector::setScheduler(KTScheduler* scheduler) {
    if (m_pScheduler == scheduler) return;
    KT_SAFE_RETAIN(scheduler);
    KT_SAFE_RELEASE(m_pScheduler);
    m_pScheduler = scheduler;
}

void KTDirector::setActionManager(KTActionManager* actionManager) {
    if (m_pActionManager == actionManager) return;
    KT_SAFE_RETAIN(actionManager);
    KT_SAFE_RELEASE(m_pActionManager);
    m_pActionManager = actionManager;
}

void KTDirector::setTouchDispatcher(KTTouchDispatcher* touchDispatcher) {
    if (m_pTouchDispatcher == touchDispatcher) return;
    KT_SAFE_RETAIN(touchDispatcher);
    KT_SAFE_RELEASE(m_pTouchDispatcher);
    m_pTouchDispatcher = touchDispatcher;
}

void KTDirector::setKeypadDispatcher(KTKeypadDispatcher* keypadDispatcher) {
    KT_SAFE_RETAIN(keypadDispatcher);
    KT_SAFE_RELEASE(m_pKeypadDispatcher);
    m_pKeypadDispatcher = keypadDispatcher;
}

void KTDirector::setAccelerometer(KTAccelerometer* accelerometer) {
    if (m_pAccelerometer == accelerometer) return;
    KT_SAFE_DELETE(m_pAccelerometer);
    m_pAccelerometer = accelerometer;
}

void KTDirector::setNotificationNode(KTNode* node) {
    KT_SAFE_RETAIN(node);
    KT_SAFE_RELEASE(m_pNotificationNode);
    m_pNotificationNode = node;
}

void KTDirector::setOpenGLView(KTEGLViewProtocol* view) {
    if (m_pobOpenGLView == view) return;

    KTConfiguration* conf = KTConfiguration::sharedConfiguration();
    conf->gatherGPUInfo();
    conf->dumpInfo();

    m_pobOpenGLView = view;
    m_obWinSizeInPoints = view ? view->getDesignResolutionSize() : KTSize(0, 0);

    createStatsLabel();
    if (view) setGLDefaultValues();

    if (view) {
        view->setTouchDelegate(m_pTouchDispatcher);
        if (m_pTouchDispatcher) m_pTouchDispatcher->setDispatchEvents(true);
    }
}

KTSize KTDirector::getWinSizeInPixels() const {
    return KTSize(m_obWinSizeInPoints.width * m_fContentScaleFactor,
                  m_obWinSizeInPoints.height * m_fContentScaleFactor);
}

void KTDirector::setContentScaleFactor(float scaleFactor) {
    if (scaleFactor == m_fContentScaleFactor) return;
    m_fContentScaleFactor = scaleFactor;
    createStatsLabel();
}

void KTDirector::setViewport() {
    if (m_pobOpenGLView)
        m_pobOpenGLView->setViewPortInPoints(0, 0, m_obWinSizeInPoints.width, m_obWinSizeInPoints.height);
}

void KTDirector::setProjection(ktDirectorProjection projection) {
    const KTSize size = m_obWinSizeInPoints;
    setViewport();

    switch (projection) {
        case kKTDirectorProjection2D: {
            mxGLMatrixMode(MX_GL_PROJECTION);
            mxGLLoadIdentity();
            mxMat4 ortho;
            mxMat4OrthographicProjection(&ortho, 0, size.width, 0, size.height, -1024, 1024);
            mxGLMultMatrix(&ortho);
            mxGLMatrixMode(MX_GL_MODELVIEW);
            mxGLLoadIdentity();
            break;
        }
        case kKTDirectorProjection3D: {
            const float zEye = size.height / 1.1566f;
            mxGLMatrixMode(MX_GL_PROJECTION);
            mxGLLoadIdentity();
            mxMat4 perspective;
            if (mxMat4PerspectiveProjection(&perspective, 60, size.width / size.height, 0.1f, zEye * 2)) {
                mxGLMultMatrix(&perspective);
            }
            mxGLMatrixMode(MX_GL_MODELVIEW);
            mxGLLoadIdentity();
            mxVec3 eye, center, up;
            mxVec3Fill(&eye, size.width / 2, size.height / 2, zEye);
            mxVec3Fill(&center, size.width / 2, size.height / 2, 0.0f);
            mxVec3Fill(&up, 0.0f, 1.0f, 0.0f);
            mxMat4 lookAt;
            mxMat4LookAt(&lookAt, &eye, &center, &up);
            mxGLMultMatrix(&lookAt);
            break;
        }
        case kKTDirectorProjectionCustom:
            if (m_pProjectionDelegate) m_pProjectionDelegate->updateProjection();
            break;
        default:
            break;
    }

    m_eProjection = projection;
    ktSetProjectionMatrixDirty();
}

void KTDirector::setGLDefaultValues() {
    ktGLBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    setProjection(m_eProjection);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
}

KTPoint KTDirector::convertToGL(const KTPoint& point) {
    mxMat4 projection, modelview, transform, inverse;
    mxGLGetMatrix(MX_GL_PROJECTION, &projection);
    mxGLGetMatrix(MX_GL_MODELVIEW, &modelview);
    mxMat4Multiply(&transform, &projection, &modelview);
    if (!mxMat4Inverse(&inverse, &transform)) return point;

    const float zClip = transform.mat[14] / transform.mat[15];
    const KTSize glSize = m_pobOpenGLView ? m_pobOpenGLView->getDesignResolutionSize() : m_obWinSizeInPoints;
    if (glSize.width == 0.0f || glSize.height == 0.0f) return point;
    mxVec3 clip, glCoord;
    mxVec3Fill(&clip, 2.0f * point.x / glSize.width - 1.0f, 1.0f - 2.0f * point.y / glSize.height, zClip);
    mxVec3TransformCoord(&glCoord, &clip, &inverse);
    return KTPoint(glCoord.x, glCoord.y);
}

void KTDirector::runWithScene(KTScene* scene) {
    if (!scene) {
        plat::logError("KTDirector: runWithScene needs a scene");
        return;
    }
    pushScene(scene);
    startAnimation();
}

void KTDirector::pushScene(KTScene* scene) {
    if (!scene) {
        plat::logError("KTDirector: pushScene needs a scene");
        return;
    }
    m_bSendCleanupToScene = false;
    m_pobScenesStack->addObject(scene);
    m_pNextScene = scene;
}

void KTDirector::popScene() {
    if (m_pobScenesStack->count() == 0) return;
    m_pobScenesStack->removeLastObject();
    const unsigned int count = m_pobScenesStack->count();
    if (count == 0) {
        end();
    } else {
        m_bSendCleanupToScene = true;
        m_pNextScene = static_cast<KTScene*>(m_pobScenesStack->objectAtIndex(count - 1));
    }
}

void KTDirector::replaceScene(KTScene* scene) {
    if (!scene) {
        plat::logError("KTDirector: replaceScene needs a scene");
        return;
    }
    const unsigned int count = m_pobScenesStack->count();
    if (count == 0) {
        runWithScene(scene);
        return;
    }
    m_bSendCleanupToScene = true;
    scene->retain();  // the stack may hold the only other reference to it
    m_pobScenesStack->removeLastObject();
    m_pobScenesStack->addObject(scene);
    scene->release();
    m_pNextScene = scene;
}

void KTDirector::end() {
    m_bPurgeDirecotorInNextLoop = true;
}

void KTDirector::setNextScene() {
    // A push and a pop within one frame leave the running scene pending; switching it to itself would
    // send it exit and cleanup and lose its actions and timers, so the switch is simply dropped.
    if (m_pNextScene == m_pRunningScene) {
        m_pNextScene = nullptr;
        return;
    }

    // No transition scenes exist, so the leaving scene always exits and the new one always enters.
    if (m_pRunningScene) {
        m_pRunningScene->exitTransitionStarted();
        m_pRunningScene->exit();
        if (m_bSendCleanupToScene) m_pRunningScene->cleanup();
        m_pRunningScene->release();
    }
    m_pRunningScene = m_pNextScene;
    m_pNextScene->retain();
    m_pNextScene = nullptr;

    if (m_pRunningScene) {
        m_pRunningScene->enter();
        m_pRunningScene->enterTransitionFinished();
    }
}

void KTDirector::pause() {
    if (m_bPaused) return;
    m_dOldAnimationInterval = m_dAnimationInterval;
    setAnimationInterval(1 / 4.0);
    m_bPaused = true;
}

void KTDirector::resume() {
    if (!m_bPaused) return;
    setAnimationInterval(m_dOldAnimationInterval);
    kt_gettimeofday(m_pLastUpdate);
    m_bPaused = false;
    m_fDeltaTime = 0.0f;
}

void KTDirector::calculateDeltaTime() {
    kt_timeval now;
    if (kt_gettimeofday(&now) != 0) {
        plat::logError("KTDirector: cannot read the time of day");
        m_fDeltaTime = 0.0f;
        return;
    }
    if (m_bNextDeltaTimeZero) {
        m_fDeltaTime = 0.0f;
        m_bNextDeltaTimeZero = false;
    } else {
        const double seconds = static_cast<double>(now.tv_sec - m_pLastUpdate->tv_sec) +
                               static_cast<double>(now.tv_usec - m_pLastUpdate->tv_usec) / 1000000.0;
        m_fDeltaTime = seconds > 0.0 ? static_cast<float>(seconds) : 0.0f;
    }
    *m_pLastUpdate = now;
}

void KTDirector::drawScene() {
    calculateDeltaTime();

    if (!m_bPaused) m_pScheduler->update(m_fDeltaTime);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // Whatever drew between two frames (views composited over the last one) may have aimed the attribute
    // arrays elsewhere; the first sprite of this frame aims them again.
    ktGLForgetVertexPointers();

    if (m_pNextScene) setNextScene();

    mxGLPushMatrix();
    if (m_pRunningScene) m_pRunningScene->visit();
    if (m_pNotificationNode) m_pNotificationNode->visit();
    if (m_bDisplayStats)
        showStats();
    else
        g_drawCallCount = 0;
    mxGLPopMatrix();

    m_uTotalFrames++;

    if (m_pobOpenGLView) m_pobOpenGLView->swapBuffers();

    if (m_bDisplayStats) {
        kt_timeval now;
        kt_gettimeofday(&now);
        m_fSecondsPerFrame =
            static_cast<float>(static_cast<double>(now.tv_sec - m_pLastUpdate->tv_sec) +
                               static_cast<double>(now.tv_usec - m_pLastUpdate->tv_usec) / 1e6);
    }
}

void KTDirector::createStatsLabel() {
    const bool rebuilding = m_pFPSLabel && m_pSPFLabel;
    KT_SAFE_RELEASE_NULL(m_pFPSLabel);
    KT_SAFE_RELEASE_NULL(m_pSPFLabel);
    KT_SAFE_RELEASE_NULL(m_pDrawsLabel);
    if (rebuilding) {
        KTTextureCache::sharedTextureCache()->removeTextureForKey(kFPSImagesKey);
        KTFileUtils::sharedFileUtils()->purgeCachedEntries();
    }

    // The statistics are small and plain: a 16-bit texture is enough.
    const KTTexture2DPixelFormat currentFormat = KTTexture2D::defaultAlphaPixelFormat();
    KTTexture2D::setDefaultAlphaPixelFormat(kKTTexture2DPixelFormat_RGBA4444);

    auto* image = new KTImage();
    if (!image->initWithImageData(kKTFPSImagesPNG, static_cast<long>(kKTFPSImagesPNGLength),
                                  kKTImageFormat_Unknown, 0, 0, 8)) {
        plat::logError("KTDirector: the statistics font image cannot be decoded");
        image->release();
        KTTexture2D::setDefaultAlphaPixelFormat(currentFormat);
        return;
    }
    KTTexture2D* texture = KTTextureCache::sharedTextureCache()->addUIImage(image, kFPSImagesKey);
    image->release();

    const float factor = m_pobOpenGLView ? m_pobOpenGLView->getDesignResolutionSize().height / 320.0f : 1.0f;
    auto makeLabel = [&](const char* text) -> KTLabelAtlas* {
        auto* label = new KTLabelAtlas();
        // The cells are measured in the picture's pixels whatever the screen's scale.
        label->setIgnoreContentScaleFactor(true);
        if (!label->initWithString(text, texture, 12, 32, '.')) {
            label->release();
            return nullptr;
        }
        label->setScale(factor);
        return label;
    };
    m_pFPSLabel = makeLabel("00.0");
    m_pSPFLabel = makeLabel("0.000");
    m_pDrawsLabel = makeLabel("000");

    KTTexture2D::setDefaultAlphaPixelFormat(currentFormat);

    const KTPoint origin = m_pobOpenGLView ? m_pobOpenGLView->getVisibleOrigin() : KTPointZero;
    if (m_pDrawsLabel) m_pDrawsLabel->setPosition(origin + KTPoint(0, 34 * factor));
    if (m_pSPFLabel) m_pSPFLabel->setPosition(origin + KTPoint(0, 17 * factor));
    if (m_pFPSLabel) m_pFPSLabel->setPosition(origin);
}

void KTDirector::showStats() {
    m_uFrames++;
    m_fAccumDt += m_fDeltaTime;

    if (m_bDisplayStats) {
        if (m_fAccumDt > 0.5f) {
            std::snprintf(m_szSPF, sizeof(m_szSPF), "%.3f", m_fSecondsPerFrame);
            m_fFrameRate = static_cast<float>(m_uFrames) / m_fAccumDt;
            m_uFrames = 0;
            m_fAccumDt = 0.0f;
            std::snprintf(m_szFPS, sizeof(m_szFPS), "%.1f", m_fFrameRate);
            std::snprintf(m_szDrawCalls, sizeof(m_szDrawCalls), "%4lu",
                          static_cast<unsigned long>(g_drawCallCount));
            if (m_pFPSLabel && m_pSPFLabel && m_pDrawsLabel) {
                m_pSPFLabel->setString(m_szSPF);
                m_pFPSLabel->setString(m_szFPS);
                m_pDrawsLabel->setString(m_szDrawCalls);
            }
        }
        if (m_pFPSLabel && m_pSPFLabel && m_pDrawsLabel) {
            m_pDrawsLabel->visit();
            m_pFPSLabel->visit();
            m_pSPFLabel->visit();
        }
    }
    g_drawCallCount = 0;
}

void KTDirector::purgeDirector() {
    m_pScheduler->unscheduleAll();
    if (m_pTouchDispatcher) m_pTouchDispatcher->removeAllDelegates();

    if (m_pRunningScene) {
        m_pRunningScene->exitTransitionStarted();
        m_pRunningScene->exit();
        m_pRunningScene->cleanup();
        m_pRunningScene->release();
    }
    m_pRunningScene = nullptr;
    m_pNextScene = nullptr;
    m_pobScenesStack->removeAllObjects();

    stopAnimation();

    KT_SAFE_RELEASE_NULL(m_pFPSLabel);
    KT_SAFE_RELEASE_NULL(m_pSPFLabel);
    KT_SAFE_RELEASE_NULL(m_pDrawsLabel);

    purgeBitmapFontCache();
    ktDrawFree();
    KTAnimationCache::purgeSharedAnimationCache();
    KTSpriteFrameCache::purgeSharedSpriteFrameCache();
    KTTextureCache::purgeSharedTextureCache();
    KTShaderCache::purgeSharedShaderCache();
    KTFileUtils::purgeFileUtils();
    KTConfiguration::purgeConfiguration();
    KTUserDefaultStore::purgeSharedUserDefaultStore();
    ktGLInvalidateStateCache();

    // The GL view outlives the director: it must not keep handing touches to the dispatcher released
    // with the director below.
    if (m_pobOpenGLView) {
        m_pobOpenGLView->setTouchDelegate(nullptr);
        m_pobOpenGLView->end();
    }
    m_pobOpenGLView = nullptr;

    release();
}

void KTDisplayLinkDirector::mainLoop() {
    if (m_bPurgeDirecotorInNextLoop) {
        m_bPurgeDirecotorInNextLoop = false;
        purgeDirector();
    } else if (!m_bInvalid) {
        drawScene();
        KTAutoreleasePoolStack::sharedPoolStack()->pop();
    }
}

void KTDisplayLinkDirector::stopAnimation() {
    m_bInvalid = true;
}

void KTDisplayLinkDirector::startAnimation() {
    kt_gettimeofday(m_pLastUpdate);
    m_bInvalid = false;
    // Without an application object there is no frame source to restart; the caller drives mainLoop.
    if (KTApplication::hasSharedApplication())
        KTApplication::sharedApplication()->setAnimationInterval(m_dAnimationInterval);
}

void KTDisplayLinkDirector::setAnimationInterval(double interval) {
    m_dAnimationInterval = interval;
    if (!m_bInvalid) {
        stopAnimation();
        startAnimation();
    }
}

}  // namespace kite
