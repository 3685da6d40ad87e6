#include "kite/touch/KTTouchHandler.h"

#include "platform/base/Log.h"

namespace kite {

namespace {
KTObject* asObject(KTTouchDelegate* delegate) {
    return dynamic_cast<KTObject*>(delegate);
}
}  // namespace

KTTouchHandler::~KTTouchHandler() {
    if (KTObject* obj = asObject(m_pDelegate)) obj->release();
}

bool KTTouchHandler::initWithDelegate(KTTouchDelegate* delegate, int priority) {
    KTObject* obj = asObject(delegate);
    if (!obj) {
        plat::logError("KTTouchHandler: a touch delegate must be a non-null engine object");
        return false;
    }
    obj->retain();
    m_pDelegate = delegate;
    m_nPriority = priority;
    m_nEnabledSelectors = 0;
    return true;
}

void KTTouchHandler::setDelegate(KTTouchDelegate* delegate) {
    if (KTObject* obj = asObject(delegate)) obj->retain();
    if (KTObject* old = asObject(m_pDelegate)) old->release();
    m_pDelegate = delegate;
}

KTStandardTouchHandler* KTStandardTouchHandler::handlerWithDelegate(KTTouchDelegate* delegate, int priority) {
    auto* handler = new KTStandardTouchHandler();
    if (handler->initWithDelegate(delegate, priority)) return ktAutorelease(handler);
    handler->release();
    return nullptr;
}

KTTargetedTouchHandler::~KTTargetedTouchHandler() {
    KT_SAFE_RELEASE(m_pClaimedTouches);
}

KTTargetedTouchHandler* KTTargetedTouchHandler::handlerWithDelegate(KTTouchDelegate* delegate, int priority,
                                                                    bool swallow) {
    auto* handler = new KTTargetedTouchHandler();
    if (handler->initWithDelegate(delegate, priority, swallow)) return ktAutorelease(handler);
    handler->release();
    return nullptr;
}

bool KTTargetedTouchHandler::initWithDelegate(KTTouchDelegate* delegate, int priority, bool swallow) {
    if (!KTTouchHandler::initWithDelegate(delegate, priority)) return false;
    m_bSwallowsTouches = swallow;
    m_pClaimedTouches = new KTSet();
    return true;
}

}  // namespace kite
