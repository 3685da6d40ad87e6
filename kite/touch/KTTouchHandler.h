#pragma once
// A registration with the touch dispatcher: the delegate (retained through its KTObject side) and its
// priority, a lower number served first. Standard handlers get whole sets; targeted handlers get one
// touch at a time, keep the touches they claimed and may swallow them.
#include "kite/base/KTObject.h"
#include "kite/base/KTSet.h"
#include "kite/touch/KTTouchDelegateProtocol.h"

namespace kite {

class KTTouchHandler : public KTObject {
  public:
    ~KTTouchHandler() override;

    // False (logged) for a null delegate or one that is not an engine object.
    virtual bool initWithDelegate(KTTouchDelegate* delegate, int priority);

    KTTouchDelegate* getDelegate() const { return m_pDelegate; }
    void setDelegate(KTTouchDelegate* delegate);
    int getPriority() const { return m_nPriority; }
    void setPriority(int priority) { m_nPriority = priority; }
    int getEnabledSelectors() const { return m_nEnabledSelectors; }
    void setEnalbedSelectors(int selectors) { m_nEnabledSelectors = selectors; }

  protected:
    KTTouchDelegate* m_pDelegate = nullptr;
    int m_nPriority = 0;
    int m_nEnabledSelectors = 0;
};

class KTStandardTouchHandler : public KTTouchHandler {
  public:
    // Autoreleased; null when the delegate cannot be held.
    static KTStandardTouchHandler* handlerWithDelegate(KTTouchDelegate* delegate, int priority);
};

class KTTargetedTouchHandler : public KTTouchHandler {
  public:
    ~KTTargetedTouchHandler() override;

    // Autoreleased; null when the delegate cannot be held.
    static KTTargetedTouchHandler* handlerWithDelegate(KTTouchDelegate* delegate, int priority, bool swallow);
    using KTTouchHandler::initWithDelegate;
    bool initWithDelegate(KTTouchDelegate* delegate, int priority, bool swallow);

    bool isSwallowsTouches() const { return m_bSwallowsTouches; }
    void setSwallowsTouches(bool swallows) { m_bSwallowsTouches = swallows; }
    KTSet* getClaimedTouches() const { return m_pClaimedTouches; }

  protected:
    bool m_bSwallowsTouches = false;
    KTSet* m_pClaimedTouches = nullptr;
};

}  // namespace kite
