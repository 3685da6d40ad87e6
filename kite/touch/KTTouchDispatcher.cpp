#include "kite/touch/KTTouchDispatcher.h"

#include "kite/touch/KTTouchHandler.h"

namespace kite {

KTTouchDispatcher::~KTTouchDispatcher() {
    KT_SAFE_RELEASE(m_pTargetedHandlers);
    KT_SAFE_RELEASE(m_pStandardHandlers);
    KT_SAFE_RELEASE(m_pHandlersToAdd);
    if (m_pHandlersToRemove) ktCArrayFree(m_pHandlersToRemove);
    m_pHandlersToRemove = nullptr;
}

bool KTTouchDispatcher::init() {
    m_bDispatchEvents = true;
    m_pTargetedHandlers = new KTArray();
    m_pTargetedHandlers->initWithCapacity(8);
    m_pStandardHandlers = new KTArray();
    m_pStandardHandlers->initWithCapacity(4);
    m_pHandlersToAdd = new KTArray();
    m_pHandlersToAdd->initWithCapacity(8);
    m_pHandlersToRemove = ktCArrayNew(8);
    m_bToRemove = m_bToAdd = m_bToQuit = m_bLocked = false;
    for (int i = 0; i < ktTouchMax; ++i) m_sHandlerHelperData[i] = i;
    return true;
}

void KTTouchDispatcher::forceAddHandler(KTTouchHandler* handler, KTArray* array) {
    uint32_t index = 0;
    for (KTObject* obj : *array) {
        auto* existing = static_cast<KTTouchHandler*>(obj);
        if (existing->getPriority() < handler->getPriority()) ++index;
        if (existing->getDelegate() == handler->getDelegate()) return;
    }
    array->insertObject(handler, index);
}

void KTTouchDispatcher::addStandardDelegate(KTTouchDelegate* delegate, int priority) {
    KTTouchHandler* handler = KTStandardTouchHandler::handlerWithDelegate(delegate, priority);
    if (!handler) return;
    if (!m_bLocked) {
        forceAddHandler(handler, m_pStandardHandlers);
    } else if (ktCArrayContainsValue(m_pHandlersToRemove, delegate)) {
        // Removed and added again within one dispatch: the handler it has stays as it is.
        ktCArrayRemoveValue(m_pHandlersToRemove, delegate);
    } else {
        m_pHandlersToAdd->addObject(handler);
        m_bToAdd = true;
    }
}

void KTTouchDispatcher::addTargetedDelegate(KTTouchDelegate* delegate, int priority, bool swallowsTouches) {
    KTTouchHandler* handler =
        KTTargetedTouchHandler::handlerWithDelegate(delegate, priority, swallowsTouches);
    if (!handler) return;
    if (!m_bLocked) {
        forceAddHandler(handler, m_pTargetedHandlers);
    } else if (ktCArrayContainsValue(m_pHandlersToRemove, delegate)) {
        ktCArrayRemoveValue(m_pHandlersToRemove, delegate);
    } else {
        m_pHandlersToAdd->addObject(handler);
        m_bToAdd = true;
    }
}

void KTTouchDispatcher::forceRemoveDelegate(KTTouchDelegate* delegate) {
    if (KTTouchHandler* handler = findHandlerInArray(m_pStandardHandlers, delegate))
        m_pStandardHandlers->removeObject(handler);
    if (KTTouchHandler* handler = findHandlerInArray(m_pTargetedHandlers, delegate))
        m_pTargetedHandlers->removeObject(handler);
}

void KTTouchDispatcher::removeDelegate(KTTouchDelegate* delegate) {
    if (!delegate) return;
    if (!m_bLocked) {
        forceRemoveDelegate(delegate);
        return;
    }
    // Added and removed within one dispatch: the queued addition is simply dropped.
    if (KTTouchHandler* handler = findHandlerInArray(m_pHandlersToAdd, delegate)) {
        m_pHandlersToAdd->removeObject(handler);
        return;
    }
    ktCArrayAppendValueWithResize(m_pHandlersToRemove, delegate);
    m_bToRemove = true;
}

void KTTouchDispatcher::forceRemoveAllDelegates() {
    m_pStandardHandlers->removeAllObjects();
    m_pTargetedHandlers->removeAllObjects();
}

void KTTouchDispatcher::removeAllDelegates() {
    if (!m_bLocked)
        forceRemoveAllDelegates();
    else
        m_bToQuit = true;
}

KTTouchHandler* KTTouchDispatcher::findHandler(KTTouchDelegate* delegate) {
    if (KTTouchHandler* handler = findHandlerInArray(m_pTargetedHandlers, delegate)) return handler;
    return findHandlerInArray(m_pStandardHandlers, delegate);
}

KTTouchHandler* KTTouchDispatcher::findHandlerInArray(KTArray* array, KTTouchDelegate* delegate) {
    for (KTObject* obj : *array) {
        auto* handler = static_cast<KTTouchHandler*>(obj);
        if (handler->getDelegate() == delegate) return handler;
    }
    return nullptr;
}

void KTTouchDispatcher::touches(KTSet* pTouches, KTEvent* event, unsigned int index) {
    if (!pTouches || index >= ktTouchMax) return;
    m_bLocked = true;

    const uint32_t targetedCount = m_pTargetedHandlers->count();
    const uint32_t standardCount = m_pStandardHandlers->count();
    // A working copy is needed only when swallowed touches must be kept from the standard handlers.
    const bool needsMutableSet = targetedCount > 0 && standardCount > 0;
    KTSet* mutableTouches = needsMutableSet ? pTouches->mutableCopy() : pTouches;

    const int kind = m_sHandlerHelperData[index];

    if (targetedCount > 0) {
        for (KTObject* touchObj : *pTouches) {
            auto* touch = static_cast<KTTouch*>(touchObj);
            for (KTObject* obj : *m_pTargetedHandlers) {
                auto* handler = static_cast<KTTargetedTouchHandler*>(obj);
                KTTouchDelegate* delegate = handler->getDelegate();
                bool claimed = false;
                if (index == KTTOUCHBEGAN) {
                    claimed = delegate->touchBegan(touch, event);
                    if (claimed) handler->getClaimedTouches()->addObject(touch);
                } else if (handler->getClaimedTouches()->containsObject(touch)) {
                    claimed = true;
                    switch (kind) {
                        case KTTOUCHMOVED:
                            delegate->touchMoved(touch, event);
                            break;
                        case KTTOUCHENDED:
                            delegate->touchEnded(touch, event);
                            handler->getClaimedTouches()->removeObject(touch);
                            break;
                        case KTTOUCHCANCELLED:
                            delegate->touchCancelled(touch, event);
                            handler->getClaimedTouches()->removeObject(touch);
                            break;
                    }
                }
                if (claimed && handler->isSwallowsTouches()) {
                    if (needsMutableSet) mutableTouches->removeObject(touch);
                    break;
                }
            }
        }
    }

    if (standardCount > 0 && mutableTouches->count() > 0) {
        for (KTObject* obj : *m_pStandardHandlers) {
            KTTouchDelegate* delegate = static_cast<KTStandardTouchHandler*>(obj)->getDelegate();
            switch (kind) {
                case KTTOUCHBEGAN:
                    delegate->touchesBegan(mutableTouches, event);
                    break;
                case KTTOUCHMOVED:
                    delegate->touchesMoved(mutableTouches, event);
                    break;
                case KTTOUCHENDED:
                    delegate->touchesEnded(mutableTouches, event);
                    break;
                case KTTOUCHCANCELLED:
                    delegate->touchesCancelled(mutableTouches, event);
                    break;
            }
        }
    }

    if (needsMutableSet) mutableTouches->release();

    m_bLocked = false;
    if (m_bToRemove) {
        m_bToRemove = false;
        for (uint32_t i = 0; i < m_pHandlersToRemove->num; ++i)
            forceRemoveDelegate(static_cast<KTTouchDelegate*>(m_pHandlersToRemove->arr[i]));
        ktCArrayRemoveAllValues(m_pHandlersToRemove);
    }
    if (m_bToAdd) {
        m_bToAdd = false;
        for (KTObject* obj : *m_pHandlersToAdd) {
            auto* handler = static_cast<KTTouchHandler*>(obj);
            if (dynamic_cast<KTTargetedTouchHandler*>(handler))
                forceAddHandler(handler, m_pTargetedHandlers);
            else
                forceAddHandler(handler, m_pStandardHandlers);
        }
        m_pHandlersToAdd->removeAllObjects();
    }
    if (m_bToQuit) {
        m_bToQuit = false;
        forceRemoveAllDelegates();
    }
}

void KTTouchDispatcher::touchesBegan(KTSet* pTouches, KTEvent* event) {
    if (m_bDispatchEvents) touches(pTouches, event, KTTOUCHBEGAN);
}
void KTTouchDispatcher::touchesMoved(KTSet* pTouches, KTEvent* event) {
    if (m_bDispatchEvents) touches(pTouches, event, KTTOUCHMOVED);
}
void KTTouchDispatcher::touchesEnded(KTSet* pTouches, KTEvent* event) {
    if (m_bDispatchEvents) touches(pTouches, event, KTTOUCHENDED);
}
void KTTouchDispatcher::touchesCancelled(KTSet* pTouches, KTEvent* event) {
    if (m_bDispatchEvents) touches(pTouches, event, KTTOUCHCANCELLED);
}

}  // namespace kite
