#pragma once
// The base of every timed change of a node. The action manager starts an action on its target, steps it
// once per frame and stops it when it is done.
#include "kite/base/KTObject.h"

namespace kite {

class KTNode;

constexpr int kKTActionTagInvalid = -1;

class KTAction : public KTObject {
  public:
    KTAction();
    ~KTAction() override;

    KTObject* copyWithZone(KTZone* zone) override;

    // t runs from 0 to 1 over the action's duration.
    void update(float t) override;
    virtual bool isDone();
    virtual void startWithTarget(KTNode* target);
    virtual void stop();
    virtual void step(float dt);

    KTNode* getTarget() const { return m_pTarget; }
    void setTarget(KTNode* target) { m_pTarget = target; }
    // The node the action was started on; kept after stop.
    KTNode* getOriginalTarget() const { return m_pOriginalTarget; }
    void setOriginalTarget(KTNode* target) { m_pOriginalTarget = target; }
    int getTag() const { return m_nTag; }
    void setTag(int tag) { m_nTag = tag; }

  protected:
    KTNode* m_pOriginalTarget = nullptr;  // not retained
    KTNode* m_pTarget = nullptr;          // not retained
    int m_nTag = kKTActionTagInvalid;
};

// An action with a known duration in seconds.
class KTFiniteTimeAction : public KTAction {
  public:
    float getDuration() const { return m_fDuration; }
    void setDuration(float duration) { m_fDuration = duration; }

    // An autoreleased action that undoes this one, or null when there is none.
    virtual KTFiniteTimeAction* reverse();

  protected:
    float m_fDuration = 0.0f;
};

}  // namespace kite
