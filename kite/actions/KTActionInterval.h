#pragma once
// Actions that run over a duration: waits, moves and the two-action sequence that longer sequences nest.
#include <cstdarg>

#include "kite/actions/KTAction.h"
#include "kite/base/KTGeometry.h"

namespace kite {

class KTActionInterval : public KTFiniteTimeAction {
  public:
    // A duration of 0 is stored as FLT_EPSILON so that the step never divides by zero.
    bool initWithDuration(float duration);

    float getElapsed() const { return m_fElapsed; }

    KTObject* copyWithZone(KTZone* zone) override;
    bool isDone() override;
    void step(float dt) override;
    void startWithTarget(KTNode* target) override;
    KTFiniteTimeAction* reverse() override;

  protected:
    float m_fElapsed = 0.0f;
    bool m_bFirstTick = true;
};

// The no-op second half of a sequence made from a single action.
class ExtraAction : public KTFiniteTimeAction {
  public:
    static ExtraAction* create();
    KTObject* copyWithZone(KTZone* zone) override;
    void update(float t) override;
    void step(float dt) override;
    KTFiniteTimeAction* reverse() override;
};

// Runs one action and then the other.
class KTSequence : public KTActionInterval {
  public:
    KTSequence();
    ~KTSequence() override;

    // Null-terminated list of actions, nested to the left; null when the first is null.
    static KTSequence* create(KTFiniteTimeAction* first, ...);
    static KTSequence* createWithVariableList(KTFiniteTimeAction* first, va_list args);
    static KTSequence* createWithTwoActions(KTFiniteTimeAction* first, KTFiniteTimeAction* second);

    bool initWithTwoActions(KTFiniteTimeAction* first, KTFiniteTimeAction* second);

    KTObject* copyWithZone(KTZone* zone) override;
    void startWithTarget(KTNode* target) override;
    void stop() override;
    void update(float t) override;
    // Null when either inner action has no reverse.
    KTFiniteTimeAction* reverse() override;

  protected:
    KTFiniteTimeAction* m_pActions[2] = {nullptr, nullptr};
    float m_split = 0.0f;
    int m_last = -1;
};

class KTDelayTime : public KTActionInterval {
  public:
    static KTDelayTime* create(float duration);
    KTObject* copyWithZone(KTZone* zone) override;
    void update(float t) override;
    KTFiniteTimeAction* reverse() override;
};

// Moves by a delta; moves made by others meanwhile carry over, so two moves on one node add up.
class KTMoveBy : public KTActionInterval {
  public:
    static KTMoveBy* create(float duration, const KTPoint& deltaPosition);
    bool initWithDuration(float duration, const KTPoint& deltaPosition);

    KTObject* copyWithZone(KTZone* zone) override;
    void startWithTarget(KTNode* target) override;
    KTFiniteTimeAction* reverse() override;
    void update(float t) override;

  protected:
    KTPoint m_positionDelta;
    KTPoint m_startPosition;
    KTPoint m_previousPosition;
};

// Moves to an end position; the delta is taken from the target's position when the move starts.
class KTMoveTo : public KTMoveBy {
  public:
    static KTMoveTo* create(float duration, const KTPoint& position);
    bool initWithDuration(float duration, const KTPoint& position);

    KTObject* copyWithZone(KTZone* zone) override;
    void startWithTarget(KTNode* target) override;

  protected:
    KTPoint m_endPosition;
};

}  // namespace kite
