#include "kite/layers/KTLayer.h"

#include "kite/accelerometer/KTAccelerometer.h"
#include "kite/core/KTDirector.h"
#include "kite/keypad/KTKeypadDispatcher.h"
#include "kite/touch/KTTouchDispatcher.h"

namespace kite {

namespace {
enum { kTouchBegan = 0, kTouchMoved = 1, kTouchEnded = 2, kTouchCancelled = 3 };
enum { kKeypadBack = 1, kKeypadMenu = 2 };
}  // namespace

KTLayer::KTLayer() {
    m_bIgnoreAnchorPointForPosition = true;
    setAnchorPoint(KTPoint(0.5f, 0.5f));
}

KTLayer::~KTLayer() {
    KT_SAFE_RELEASE(m_pScriptTouchHandlerEntry);
    KT_SAFE_RELEASE(m_pScriptKeypadHandlerEntry);
    KT_SAFE_RELEASE(m_pScriptAccelerateHandlerEntry);
}

KTLayer* KTLayer::create() {
    auto* layer = new KTLayer();
    if (layer->init()) return ktAutorelease(layer);
    layer->release();
    return nullptr;
}

bool KTLayer::init() {
    KTDirector* director = KTDirector::sharedDirector();
    if (!director) return false;
    setContentSize(director->getWinSize());
    m_bTouchEnabled = false;
    m_bAccelerometerEnabled = false;
    return true;
}

KTScriptEngine* KTLayer::scriptEngineForEvents() {
    if (getScriptType() == kKTScriptTypeNone) return nullptr;
    return KTScriptEngineManager::sharedManager()->getScriptEngine();
}

void KTLayer::registerWithTouchDispatcher() {
    KTTouchDispatcher* dispatcher = KTDirector::sharedDirector()->getTouchDispatcher();
    if (!dispatcher) return;
    if (m_pScriptTouchHandlerEntry) {
        if (m_pScriptTouchHandlerEntry->isMultiTouches())
            dispatcher->addStandardDelegate(this, 0);
        else
            dispatcher->addTargetedDelegate(this, m_pScriptTouchHandlerEntry->getPriority(),
                                            m_pScriptTouchHandlerEntry->getSwallowsTouches());
    } else if (m_eTouchMode == kKTTouchesAllAtOnce) {
        dispatcher->addStandardDelegate(this, 0);
    } else {
        dispatcher->addTargetedDelegate(this, m_nTouchPriority, true);
    }
}

void KTLayer::registerScriptTouchHandler(int handler, bool isMultiTouches, int priority,
                                         bool swallowsTouches) {
    unregisterScriptTouchHandler();
    m_pScriptTouchHandlerEntry =
        KTTouchScriptHandlerEntry::create(handler, isMultiTouches, priority, swallowsTouches);
    m_pScriptTouchHandlerEntry->retain();
}

void KTLayer::unregisterScriptTouchHandler() {
    KT_SAFE_RELEASE_NULL(m_pScriptTouchHandlerEntry);
}

void KTLayer::registerScriptKeypadHandler(int handler) {
    unregisterScriptKeypadHandler();
    m_pScriptKeypadHandlerEntry = KTScriptHandlerEntry::create(handler);
    m_pScriptKeypadHandlerEntry->retain();
}

void KTLayer::unregisterScriptKeypadHandler() {
    KT_SAFE_RELEASE_NULL(m_pScriptKeypadHandlerEntry);
}

void KTLayer::registerScriptAccelerateHandler(int handler) {
    unregisterScriptAccelerateHandler();
    m_pScriptAccelerateHandlerEntry = KTScriptHandlerEntry::create(handler);
    m_pScriptAccelerateHandlerEntry->retain();
}

void KTLayer::unregisterScriptAccelerateHandler() {
    KT_SAFE_RELEASE_NULL(m_pScriptAccelerateHandlerEntry);
}

bool KTLayer::isTouchEnabled() {
    return m_bTouchEnabled;
}

void KTLayer::setTouchEnabled(bool enabled) {
    if (m_bTouchEnabled == enabled) return;
    m_bTouchEnabled = enabled;
    if (!isRunning()) return;
    if (enabled) {
        registerWithTouchDispatcher();
    } else if (KTTouchDispatcher* dispatcher = KTDirector::sharedDirector()->getTouchDispatcher()) {
        dispatcher->removeDelegate(this);
    }
}

void KTLayer::setTouchMode(KTTouchesMode mode) {
    if (m_eTouchMode == mode) return;
    m_eTouchMode = mode;
    if (m_bTouchEnabled) {
        setTouchEnabled(false);
        setTouchEnabled(true);
    }
}

int KTLayer::getTouchMode() {
    return m_eTouchMode;
}

void KTLayer::setTouchPriority(int priority) {
    if (m_nTouchPriority == priority) return;
    m_nTouchPriority = priority;
    if (m_bTouchEnabled) {
        setTouchEnabled(false);
        setTouchEnabled(true);
    }
}

int KTLayer::getTouchPriority() {
    return m_nTouchPriority;
}

bool KTLayer::isAccelerometerEnabled() {
    return m_bAccelerometerEnabled;
}

void KTLayer::setAccelerometerEnabled(bool enabled) {
    if (m_bAccelerometerEnabled == enabled) return;
    m_bAccelerometerEnabled = enabled;
    if (!isRunning()) return;
    if (KTAccelerometer* accelerometer = KTDirector::sharedDirector()->getAccelerometer())
        accelerometer->setDelegate(enabled ? this : nullptr);
}

void KTLayer::setAccelerometerInterval(double interval) {
    if (!m_bAccelerometerEnabled || !isRunning()) return;
    if (KTAccelerometer* accelerometer = KTDirector::sharedDirector()->getAccelerometer())
        accelerometer->setAccelerometerInterval(static_cast<float>(interval));
}

bool KTLayer::isKeypadEnabled() {
    return m_bKeypadEnabled;
}

void KTLayer::setKeypadEnabled(bool enabled) {
    if (m_bKeypadEnabled == enabled) return;
    m_bKeypadEnabled = enabled;
    if (!isRunning()) return;
    if (KTKeypadDispatcher* keypad = KTDirector::sharedDirector()->getKeypadDispatcher()) {
        if (enabled)
            keypad->addDelegate(this);
        else
            keypad->removeDelegate(this);
    }
}

void KTLayer::backKeyPressed() {
    if (!m_pScriptKeypadHandlerEntry && getScriptType() != kKTScriptTypeObjects) return;
    if (KTScriptEngine* engine = KTScriptEngineManager::sharedManager()->getScriptEngine())
        engine->executeLayerKeypadEvent(this, kKeypadBack);
}

void KTLayer::menuKeyPressed() {
    if (!m_pScriptKeypadHandlerEntry) return;
    if (KTScriptEngine* engine = KTScriptEngineManager::sharedManager()->getScriptEngine())
        engine->executeLayerKeypadEvent(this, kKeypadMenu);
}

void KTLayer::enter() {
    KTDirector* director = KTDirector::sharedDirector();
    // Before the children enter: among equal priorities the last registered is served first, so children
    // are served before their parent.
    if (m_bTouchEnabled) registerWithTouchDispatcher();
    KTNode::enter();
    if (m_bAccelerometerEnabled)
        if (KTAccelerometer* accelerometer = director->getAccelerometer()) accelerometer->setDelegate(this);
    if (m_bKeypadEnabled)
        if (KTKeypadDispatcher* keypad = director->getKeypadDispatcher()) keypad->addDelegate(this);
}

void KTLayer::exit() {
    KTDirector* director = KTDirector::sharedDirector();
    if (m_bTouchEnabled)
        if (KTTouchDispatcher* dispatcher = director->getTouchDispatcher()) dispatcher->removeDelegate(this);
    if (m_bAccelerometerEnabled)
        if (KTAccelerometer* accelerometer = director->getAccelerometer())
            accelerometer->setDelegate(nullptr);
    if (m_bKeypadEnabled)
        if (KTKeypadDispatcher* keypad = director->getKeypadDispatcher()) keypad->removeDelegate(this);
    KTNode::exit();
}

void KTLayer::enterTransitionFinished() {
    if (m_bAccelerometerEnabled)
        if (KTAccelerometer* accelerometer = KTDirector::sharedDirector()->getAccelerometer())
            accelerometer->setDelegate(this);
    KTNode::enterTransitionFinished();
}

bool KTLayer::touchBegan(KTTouch* touch, KTEvent*) {
    if (KTScriptEngine* engine = scriptEngineForEvents())
        return engine->executeLayerTouchEvent(this, kTouchBegan, touch) != 0;
    return true;
}

void KTLayer::touchMoved(KTTouch* touch, KTEvent*) {
    if (KTScriptEngine* engine = scriptEngineForEvents())
        engine->executeLayerTouchEvent(this, kTouchMoved, touch);
}

void KTLayer::touchEnded(KTTouch* touch, KTEvent*) {
    if (KTScriptEngine* engine = scriptEngineForEvents())
        engine->executeLayerTouchEvent(this, kTouchEnded, touch);
}

void KTLayer::touchCancelled(KTTouch* touch, KTEvent*) {
    if (KTScriptEngine* engine = scriptEngineForEvents())
        engine->executeLayerTouchEvent(this, kTouchCancelled, touch);
}

void KTLayer::touchesBegan(KTSet* touches, KTEvent*) {
    if (KTScriptEngine* engine = scriptEngineForEvents())
        engine->executeLayerTouchesEvent(this, kTouchBegan, touches);
}

void KTLayer::touchesMoved(KTSet* touches, KTEvent*) {
    if (KTScriptEngine* engine = scriptEngineForEvents())
        engine->executeLayerTouchesEvent(this, kTouchMoved, touches);
}

void KTLayer::touchesEnded(KTSet* touches, KTEvent*) {
    if (KTScriptEngine* engine = scriptEngineForEvents())
        engine->executeLayerTouchesEvent(this, kTouchEnded, touches);
}

void KTLayer::touchesCancelled(KTSet* touches, KTEvent*) {
    if (KTScriptEngine* engine = scriptEngineForEvents())
        engine->executeLayerTouchesEvent(this, kTouchCancelled, touches);
}

void KTLayer::didAccelerate(KTAcceleration* acceleration) {
    if (KTScriptEngine* engine = scriptEngineForEvents())
        engine->executeAccelerometerEvent(this, acceleration);
}

}  // namespace kite
