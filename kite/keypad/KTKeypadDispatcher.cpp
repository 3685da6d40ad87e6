#include "kite/keypad/KTKeypadDispatcher.h"

#include "kite/keypad/KTKeypadHandler.h"

namespace kite {

KTKeypadDispatcher::KTKeypadDispatcher() {
    m_pDelegates = new KTArray();
    m_pDelegates->init();
    m_pHandlersToAdd = ktCArrayNew(8);
    m_pHandlersToRemove = ktCArrayNew(8);
}

KTKeypadDispatcher::~KTKeypadDispatcher() {
    KT_SAFE_RELEASE(m_pDelegates);
    if (m_pHandlersToAdd) ktCArrayFree(m_pHandlersToAdd);
    if (m_pHandlersToRemove) ktCArrayFree(m_pHandlersToRemove);
}

void KTKeypadDispatcher::addDelegate(KTKeypadDelegate* delegate) {
    if (!delegate) return;
    if (m_bLocked) {
        ktCArrayAppendValueWithResize(m_pHandlersToAdd, delegate);
        m_bToAdd = true;
    } else {
        forceAddDelegate(delegate);
    }
}

void KTKeypadDispatcher::removeDelegate(KTKeypadDelegate* delegate) {
    if (!delegate) return;
    if (m_bLocked) {
        ktCArrayAppendValueWithResize(m_pHandlersToRemove, delegate);
        m_bToRemove = true;
    } else {
        forceRemoveDelegate(delegate);
    }
}

void KTKeypadDispatcher::forceAddDelegate(KTKeypadDelegate* delegate) {
    if (KTKeypadHandler* handler = KTKeypadHandler::handlerWithDelegate(delegate))
        m_pDelegates->addObject(handler);
}

void KTKeypadDispatcher::forceRemoveDelegate(KTKeypadDelegate* delegate) {
    for (KTObject* obj : *m_pDelegates) {
        auto* handler = static_cast<KTKeypadHandler*>(obj);
        if (handler->getDelegate() == delegate) {
            m_pDelegates->removeObject(handler);
            return;
        }
    }
}

bool KTKeypadDispatcher::dispatchKeypadMSG(ktKeypadMSGType msgType) {
    if (msgType != kTypeBackClicked && msgType != kTypeMenuClicked) return false;
    // A nested dispatch from inside a callback must not end the outer one's queueing.
    if (m_bLocked) return false;
    m_bLocked = true;
    for (KTObject* obj : *m_pDelegates) {
        KTKeypadDelegate* delegate = static_cast<KTKeypadHandler*>(obj)->getDelegate();
        if (msgType == kTypeBackClicked)
            delegate->backKeyPressed();
        else
            delegate->menuKeyPressed();
    }
    m_bLocked = false;

    if (m_bToRemove) {
        m_bToRemove = false;
        for (uint32_t i = 0; i < m_pHandlersToRemove->num; ++i)
            forceRemoveDelegate(static_cast<KTKeypadDelegate*>(m_pHandlersToRemove->arr[i]));
        ktCArrayRemoveAllValues(m_pHandlersToRemove);
    }
    if (m_bToAdd) {
        m_bToAdd = false;
        for (uint32_t i = 0; i < m_pHandlersToAdd->num; ++i)
            forceAddDelegate(static_cast<KTKeypadDelegate*>(m_pHandlersToAdd->arr[i]));
        ktCArrayRemoveAllValues(m_pHandlersToAdd);
    }
    return true;
}

}  // namespace kite
