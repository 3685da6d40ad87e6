#pragma once
// Hands the GL view's touches to the registered delegates: every touch first to the targeted handlers,
// one at a time (a handler claims a touch when it begins and may swallow it), then what remains, as a set,
// to the standard handlers. Handlers are kept in ascending priority; registrations changed from inside a
// dispatch are queued and applied when it ends. Main thread only.
#include "kite/base/KTArray.h"
#include "kite/base/KTCArray.h"
#include "kite/base/KTObject.h"
#include "kite/touch/KTTouchDelegateProtocol.h"

namespace kite {

class KTTouchHandler;

enum {
    KTTOUCHBEGAN = 0,
    KTTOUCHMOVED = 1,
    KTTOUCHENDED = 2,
    KTTOUCHCANCELLED = 3,
    ktTouchMax = 4,
};

class KTTouchDispatcher : public KTObject, public EGLTouchDelegate {
  public:
    KTTouchDispatcher() = default;
    ~KTTouchDispatcher() override;

    bool init();

    bool isDispatchEvents() const { return m_bDispatchEvents; }
    void setDispatchEvents(bool dispatchEvents) { m_bDispatchEvents = dispatchEvents; }

    // Whole sets, served in priority order after the targeted handlers.
    void addStandardDelegate(KTTouchDelegate* delegate, int priority);
    // One touch at a time; a swallowing handler keeps the touches it claims from everyone after it.
    void addTargetedDelegate(KTTouchDelegate* delegate, int priority, bool swallowsTouches);
    void removeDelegate(KTTouchDelegate* delegate);
    void removeAllDelegates();

    KTTouchHandler* findHandler(KTTouchDelegate* delegate);
    KTTouchHandler* findHandlerInArray(KTArray* array, KTTouchDelegate* delegate);

    void touches(KTSet* touches, KTEvent* event, unsigned int index);
    void touchesBegan(KTSet* touches, KTEvent* event) override;
    void touchesMoved(KTSet* touches, KTEvent* event) override;
    void touchesEnded(KTSet* touches, KTEvent* event) override;
    void touchesCancelled(KTSet* touches, KTEvent* event) override;

    bool isDispatching() const { return m_bLocked; }
    KTArray* getTargetedHandlers() const { return m_pTargetedHandlers; }
    KTArray* getStandardHandlers() const { return m_pStandardHandlers; }

  protected:
    void forceRemoveDelegate(KTTouchDelegate* delegate);
    void forceAddHandler(KTTouchHandler* handler, KTArray* array);
    void forceRemoveAllDelegates();

    KTArray* m_pTargetedHandlers = nullptr;
    KTArray* m_pStandardHandlers = nullptr;
    bool m_bLocked = false;
    bool m_bToAdd = false;
    bool m_bToRemove = false;
    KTArray* m_pHandlersToAdd = nullptr;
    // Not retained: each delegate is still held by its handler until the removal is applied.
    ktCArray* m_pHandlersToRemove = nullptr;
    bool m_bToQuit = false;
    bool m_bDispatchEvents = true;
    int m_sHandlerHelperData[ktTouchMax] = {KTTOUCHBEGAN, KTTOUCHMOVED, KTTOUCHENDED, KTTOUCHCANCELLED};
};

}  // namespace kite
