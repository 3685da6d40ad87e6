#pragma once
// The objects that want the back and menu keys, in registration order. Changes made while a key is
// being dispatched are queued and applied when the dispatch ends. Main thread only.
#include "kite/base/KTArray.h"
#include "kite/base/KTCArray.h"
#include "kite/base/KTObject.h"
#include "kite/keypad/KTKeypadDelegate.h"

namespace kite {

// Based on int: a message of a type this engine does not know is a valid value, which dispatch ignores.
enum ktKeypadMSGType : int {
    kTypeBackClicked = 1,
    kTypeMenuClicked = 2,
};

class KTKeypadDispatcher : public KTObject {
  public:
    KTKeypadDispatcher();
    ~KTKeypadDispatcher() override;

    void addDelegate(KTKeypadDelegate* delegate);
    void removeDelegate(KTKeypadDelegate* delegate);
    // A delegate added twice gets two handlers.
    void forceAddDelegate(KTKeypadDelegate* delegate);
    // Removes the first handler of the delegate.
    void forceRemoveDelegate(KTKeypadDelegate* delegate);

    // Calls backKeyPressed or menuKeyPressed on every registered delegate; false for any other message.
    bool dispatchKeypadMSG(ktKeypadMSGType msgType);

    KTArray* getHandlers() const { return m_pDelegates; }

  protected:
    KTArray* m_pDelegates = nullptr;
    bool m_bLocked = false;
    bool m_bToAdd = false;
    bool m_bToRemove = false;
    ktCArray* m_pHandlersToAdd = nullptr;
    ktCArray* m_pHandlersToRemove = nullptr;
};

}  // namespace kite
