#pragma once
// The director owns the running scene and the scene stack, the frame timing, the scheduler, the action
// manager, the input services, the GL view and its projection, and the frame statistics. Once per display
// frame the display-link caller runs KTDisplayLinkDirector::mainLoop. Main thread only.
#include <cstdint>

#include "kite/base/KTGeometry.h"
#include "kite/base/KTObject.h"
#include "kite/base/KTTime.h"

namespace kite {

class KTScheduler;
class KTActionManager;
class KTTouchDispatcher;
class KTKeypadDispatcher;
class KTAccelerometer;
class KTEGLViewProtocol;
class KTScene;
class KTNode;
class KTArray;
class KTLabelAtlas;

// GL draw calls issued in the current frame; every draw adds 1 and the director resets it every frame.
extern unsigned int g_drawCallCount;

enum ktDirectorProjection {
    kKTDirectorProjection2D = 0,
    kKTDirectorProjection3D = 1,
    kKTDirectorProjectionCustom = 2,
    kKTDirectorProjectionDefault = kKTDirectorProjection3D,
};

// Supplies the matrices of the custom projection.
class KTDirectorDelegate {
  public:
    virtual ~KTDirectorDelegate() = default;
    virtual void updateProjection() = 0;
};

// The interface base through which the director reports its type id.
class KTTypeInfo {
  public:
    virtual ~KTTypeInfo() = default;
    virtual uint32_t getClassTypeInfo() = 0;
};

// h = h × 16777619 XOR the upper-cased character, over the type name, from 0, in 32-bit arithmetic.
uint32_t ktTypeIdOfName(const char* typeName);

class KTDirector : public KTObject, public KTTypeInfo {
  public:
    // Made (as a KTDisplayLinkDirector) and initialised on first use.
    static KTDirector* sharedDirector();
    // True when a director exists (asking sharedDirector() would make one).
    static bool hasSharedDirector();

    ~KTDirector() override;

    virtual bool init();
    uint32_t getClassTypeInfo() override;

    virtual void setAnimationInterval(double interval) = 0;
    virtual void stopAnimation() = 0;
    virtual void startAnimation() = 0;
    virtual void mainLoop() = 0;

    virtual KTScheduler* getScheduler() { return m_pScheduler; }
    virtual void setScheduler(KTScheduler* scheduler);
    virtual KTActionManager* getActionManager() { return m_pActionManager; }
    virtual void setActionManager(KTActionManager* actionManager);
    virtual KTTouchDispatcher* getTouchDispatcher() { return m_pTouchDispatcher; }
    virtual void setTouchDispatcher(KTTouchDispatcher* touchDispatcher);
    virtual KTKeypadDispatcher* getKeypadDispatcher() { return m_pKeypadDispatcher; }
    virtual void setKeypadDispatcher(KTKeypadDispatcher* keypadDispatcher);
    virtual KTAccelerometer* getAccelerometer() { return m_pAccelerometer; }
    // The director owns the accelerometer outright and deletes the one it replaces.
    virtual void setAccelerometer(KTAccelerometer* accelerometer);
    virtual float getDeltaTime() { return m_fDeltaTime; }

    KTScene* getRunningScene() const { return m_pRunningScene; }
    double getAnimationInterval() const { return m_dAnimationInterval; }
    bool isDisplayStats() const { return m_bDisplayStats; }
    void setDisplayStats(bool displayStats) { m_bDisplayStats = displayStats; }
    float getSecondsPerFrame() const { return m_fSecondsPerFrame; }
    bool isPaused() const { return m_bPaused; }
    unsigned int getTotalFrames() const { return m_uTotalFrames; }
    float getFrameRate() const { return m_fFrameRate; }
    bool isNextDeltaTimeZero() const { return m_bNextDeltaTimeZero; }
    void setNextDeltaTimeZero(bool zero) { m_bNextDeltaTimeZero = zero; }
    bool isSendCleanupToScene() const { return m_bSendCleanupToScene; }
    KTNode* getNotificationNode() const { return m_pNotificationNode; }
    void setNotificationNode(KTNode* node);
    KTDirectorDelegate* getDelegate() const { return m_pProjectionDelegate; }
    void setDelegate(KTDirectorDelegate* delegate) { m_pProjectionDelegate = delegate; }

    KTEGLViewProtocol* getOpenGLView() const { return m_pobOpenGLView; }
    // The director does not own the view; the platform binding keeps it for the life of the process.
    void setOpenGLView(KTEGLViewProtocol* view);

    ktDirectorProjection getProjection() const { return m_eProjection; }
    void setProjection(ktDirectorProjection projection);
    void setViewport();
    void setGLDefaultValues();

    // Window size in points (the GL view's design size) and in pixels.
    KTSize getWinSize() const { return m_obWinSizeInPoints; }
    KTSize getWinSizeInPixels() const;
    float getContentScaleFactor() const { return m_fContentScaleFactor; }
    void setContentScaleFactor(float scaleFactor);

    // View coordinates (origin top left, y down, design points) to GL coordinates.
    KTPoint convertToGL(const KTPoint& point);

    void runWithScene(KTScene* scene);
    void pushScene(KTScene* scene);
    void popScene();
    void replaceScene(KTScene* scene);
    // Ends the director: it purges itself on the next main-loop call.
    void end();

    void pause();
    void resume();

    void drawScene();
    void calculateDeltaTime();
    void createStatsLabel();
    void showStats();
    // The texts the statistics labels show, refreshed at most every 0.5 s.
    const char* getFPSText() const { return m_szFPS; }
    const char* getSecondsPerFrameText() const { return m_szSPF; }
    const char* getDrawCallsText() const { return m_szDrawCalls; }
    // The statistics labels: built with the GL view, its design resolution and the content scale; null before
    // that or when the font image cannot be decoded.
    KTLabelAtlas* getFPSLabel() const { return m_pFPSLabel; }
    KTLabelAtlas* getSecondsPerFrameLabel() const { return m_pSPFLabel; }
    KTLabelAtlas* getDrawCallsLabel() const { return m_pDrawsLabel; }

    void purgeDirector();

  protected:
    KTDirector();
    void setDefaultValues();
    void setNextScene();

    // The view sets the window size when its design resolution changes.
    friend class KTEGLViewProtocol;

    KTScheduler* m_pScheduler = nullptr;
    KTActionManager* m_pActionManager = nullptr;
    KTTouchDispatcher* m_pTouchDispatcher = nullptr;
    KTKeypadDispatcher* m_pKeypadDispatcher = nullptr;
    KTAccelerometer* m_pAccelerometer = nullptr;
    float m_fDeltaTime = 0.0f;
    bool m_bPurgeDirecotorInNextLoop = false;
    KTEGLViewProtocol* m_pobOpenGLView = nullptr;
    double m_dAnimationInterval = 0.0;
    double m_dOldAnimationInterval = 0.0;
    bool m_bDisplayStats = false;
    float m_fAccumDt = 0.0f;
    float m_fFrameRate = 0.0f;
    KTLabelAtlas* m_pFPSLabel = nullptr;
    KTLabelAtlas* m_pSPFLabel = nullptr;
    KTLabelAtlas* m_pDrawsLabel = nullptr;
    bool m_bPaused = false;
    unsigned int m_uTotalFrames = 0;
    unsigned int m_uFrames = 0;
    float m_fSecondsPerFrame = 0.0f;
    KTScene* m_pRunningScene = nullptr;
    KTScene* m_pNextScene = nullptr;
    bool m_bSendCleanupToScene = false;
    KTArray* m_pobScenesStack = nullptr;
    kt_timeval* m_pLastUpdate = nullptr;
    bool m_bNextDeltaTimeZero = false;
    ktDirectorProjection m_eProjection = kKTDirectorProjectionDefault;
    KTSize m_obWinSizeInPoints;
    float m_fContentScaleFactor = 1.0f;
    // Sized for any value the formats can produce (a long stall gives a long number).
    char m_szFPS[32] = {};
    char m_szSPF[32] = {};
    char m_szDrawCalls[32] = {};
    KTNode* m_pNotificationNode = nullptr;
    KTDirectorDelegate* m_pProjectionDelegate = nullptr;
};

class KTDisplayLinkDirector : public KTDirector {
  public:
    KTDisplayLinkDirector() = default;

    void mainLoop() override;
    void setAnimationInterval(double interval) override;
    void startAnimation() override;
    void stopAnimation() override;

    bool isInvalid() const { return m_bInvalid; }

  protected:
    bool m_bInvalid = false;
};

}  // namespace kite
