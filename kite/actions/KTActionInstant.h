#pragma once
// Actions that complete on their first step.
#include "kite/actions/KTAction.h"

namespace kite {

// A member function of the call-back's target that takes no arguments.
typedef void (KTObject::*SEL_CallFunc)();
#define callfunc_selector(_SELECTOR) static_cast<kite::SEL_CallFunc>(&_SELECTOR)

class KTActionInstant : public KTFiniteTimeAction {
  public:
    KTObject* copyWithZone(KTZone* zone) override;
    bool isDone() override;
    void step(float dt) override;
    void update(float t) override;
    KTFiniteTimeAction* reverse() override;
};

// Calls a member function of its selector target on its first step.
class KTCallFunc : public KTActionInstant {
  public:
    KTCallFunc();
    ~KTCallFunc() override;

    // Null only if initialisation failed.
    static KTCallFunc* create(KTObject* selectorTarget, SEL_CallFunc selector);

    KTObject* copyWithZone(KTZone* zone) override;
    void update(float t) override;

    // Retains the selector target.
    virtual bool initWithTarget(KTObject* selectorTarget);
    virtual void execute();

    KTObject* getTargetCallback() const { return m_pSelectorTarget; }
    SEL_CallFunc getCallFunc() const { return m_pCallFunc; }
    void setCallFunc(SEL_CallFunc selector) { m_pCallFunc = selector; }
    int getScriptHandler() const { return m_nScriptHandler; }

  protected:
    KTObject* m_pSelectorTarget = nullptr;
    int m_nScriptHandler = 0;
    SEL_CallFunc m_pCallFunc = nullptr;
};

}  // namespace kite
