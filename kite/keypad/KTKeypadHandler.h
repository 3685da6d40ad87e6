#pragma once
// One registration with the keypad dispatcher; holds a reference to its delegate's object side.
#include "kite/base/KTObject.h"
#include "kite/keypad/KTKeypadDelegate.h"

namespace kite {

class KTKeypadHandler : public KTObject {
  public:
    ~KTKeypadHandler() override;

    // Autoreleased; null when the delegate is null or not an engine object.
    static KTKeypadHandler* handlerWithDelegate(KTKeypadDelegate* delegate);
    virtual bool initWithDelegate(KTKeypadDelegate* delegate);

    KTKeypadDelegate* getDelegate() const { return m_pDelegate; }
    void setDelegate(KTKeypadDelegate* delegate);

  protected:
    KTKeypadDelegate* m_pDelegate = nullptr;
};

}  // namespace kite
