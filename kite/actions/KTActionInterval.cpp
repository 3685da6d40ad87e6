#include "kite/actions/KTActionInterval.h"

#include <algorithm>
#include <cfloat>

#include "kite/base/KTMacros.h"
#include "kite/nodes/KTNode.h"

namespace kite {

// ---------------------------------------------------------------------------------------------------------
// KTActionInterval

bool KTActionInterval::initWithDuration(float duration) {
    m_fDuration = duration == 0.0f ? FLT_EPSILON : duration;
    m_fElapsed = 0.0f;
    m_bFirstTick = true;
    return true;
}

KTObject* KTActionInterval::copyWithZone(KTZone*) {
    auto* copy = new KTActionInterval();
    copy->initWithDuration(m_fDuration);
    copy->setTag(m_nTag);
    return copy;
}

bool KTActionInterval::isDone() {
    return m_fElapsed >= m_fDuration;
}

void KTActionInterval::step(float dt) {
    if (m_bFirstTick) {
        // The frame that started the action counts as time zero.
        m_bFirstTick = false;
        m_fElapsed = 0.0f;
    } else {
        m_fElapsed += dt;
    }
    float t = m_fElapsed / std::max(m_fDuration, FLT_EPSILON);
    if (t <= 0.0f) {
        t = 0.0f;
    } else if (t >= 1.0f) {
        t = 1.0f;
    }
    update(t);
}

void KTActionInterval::startWithTarget(KTNode* target) {
    KTAction::startWithTarget(target);
    m_fElapsed = 0.0f;
    m_bFirstTick = true;
}

KTFiniteTimeAction* KTActionInterval::reverse() {
    return nullptr;
}

// ---------------------------------------------------------------------------------------------------------
// ExtraAction

ExtraAction* ExtraAction::create() {
    return ktAutorelease(new ExtraAction());
}

KTObject* ExtraAction::copyWithZone(KTZone*) {
    return new ExtraAction();
}

void ExtraAction::update(float) {}

void ExtraAction::step(float) {}

KTFiniteTimeAction* ExtraAction::reverse() {
    return ExtraAction::create();
}

// ---------------------------------------------------------------------------------------------------------
// KTSequence

KTSequence::KTSequence() = default;

KTSequence::~KTSequence() {
    KT_SAFE_RELEASE(m_pActions[0]);
    KT_SAFE_RELEASE(m_pActions[1]);
}

KTSequence* KTSequence::create(KTFiniteTimeAction* first, ...) {
    va_list args;
    va_start(args, first);
    KTSequence* sequence = createWithVariableList(first, args);
    va_end(args);
    return sequence;
}

KTSequence* KTSequence::createWithVariableList(KTFiniteTimeAction* first, va_list args) {
    if (!first) return nullptr;
    KTFiniteTimeAction* prev = first;
    bool single = true;
    while (KTFiniteTimeAction* next = va_arg(args, KTFiniteTimeAction*)) {
        single = false;
        prev = createWithTwoActions(prev, next);
        if (!prev) return nullptr;
    }
    if (single) prev = createWithTwoActions(first, ExtraAction::create());
    return static_cast<KTSequence*>(prev);
}

KTSequence* KTSequence::createWithTwoActions(KTFiniteTimeAction* first, KTFiniteTimeAction* second) {
    auto* sequence = new KTSequence();
    if (!sequence->initWithTwoActions(first, second)) {
        sequence->release();
        return nullptr;
    }
    return ktAutorelease(sequence);
}

bool KTSequence::initWithTwoActions(KTFiniteTimeAction* first, KTFiniteTimeAction* second) {
    if (!first || !second) return false;
    initWithDuration(first->getDuration() + second->getDuration());
    first->retain();
    second->retain();
    KT_SAFE_RELEASE(m_pActions[0]);
    KT_SAFE_RELEASE(m_pActions[1]);
    m_pActions[0] = first;
    m_pActions[1] = second;
    return true;
}

KTObject* KTSequence::copyWithZone(KTZone*) {
    auto* first = static_cast<KTFiniteTimeAction*>(m_pActions[0]->copy());
    auto* second = static_cast<KTFiniteTimeAction*>(m_pActions[1]->copy());
    auto* copy = new KTSequence();
    copy->initWithTwoActions(first, second);
    copy->setTag(m_nTag);
    first->release();
    second->release();
    return copy;
}

void KTSequence::startWithTarget(KTNode* target) {
    KTActionInterval::startWithTarget(target);
    m_split = m_pActions[0]->getDuration() / m_fDuration;
    m_last = -1;
}

void KTSequence::stop() {
    if (m_last != -1) m_pActions[m_last]->stop();
    KTActionInterval::stop();
}

void KTSequence::update(float t) {
    int found = 0;
    float newT = 0.0f;
    if (t < m_split) {
        found = 0;
        newT = m_split != 0.0f ? t / m_split : 1.0f;
        if (m_last == 1) {
            // Time went back into the first action.
            m_pActions[1]->update(0.0f);
            m_pActions[1]->stop();
        }
    } else {
        found = 1;
        newT = m_split == 1.0f ? 1.0f : (t - m_split) / (1.0f - m_split);
        if (m_last == -1) {
            // The first action was skipped over: run it completely.
            m_pActions[0]->startWithTarget(m_pTarget);
            m_pActions[0]->update(1.0f);
            m_pActions[0]->stop();
        } else if (m_last == 0) {
            m_pActions[0]->update(1.0f);
            m_pActions[0]->stop();
        }
    }
    if (found == m_last && m_pActions[found]->isDone()) return;
    if (found != m_last) m_pActions[found]->startWithTarget(m_pTarget);
    m_pActions[found]->update(newT);
    m_last = found;
}

KTFiniteTimeAction* KTSequence::reverse() {
    KTFiniteTimeAction* second = m_pActions[1]->reverse();
    KTFiniteTimeAction* first = m_pActions[0]->reverse();
    if (!first || !second) return nullptr;
    return createWithTwoActions(second, first);
}

// ---------------------------------------------------------------------------------------------------------
// KTDelayTime

KTDelayTime* KTDelayTime::create(float duration) {
    auto* action = new KTDelayTime();
    action->initWithDuration(duration);
    return ktAutorelease(action);
}

KTObject* KTDelayTime::copyWithZone(KTZone*) {
    auto* copy = new KTDelayTime();
    copy->initWithDuration(m_fDuration);
    copy->setTag(m_nTag);
    return copy;
}

void KTDelayTime::update(float) {}

KTFiniteTimeAction* KTDelayTime::reverse() {
    return KTDelayTime::create(m_fDuration);
}

// ---------------------------------------------------------------------------------------------------------
// KTMoveBy

KTMoveBy* KTMoveBy::create(float duration, const KTPoint& deltaPosition) {
    auto* action = new KTMoveBy();
    action->initWithDuration(duration, deltaPosition);
    return ktAutorelease(action);
}

bool KTMoveBy::initWithDuration(float duration, const KTPoint& deltaPosition) {
    KTActionInterval::initWithDuration(duration);
    m_positionDelta = deltaPosition;
    return true;
}

KTObject* KTMoveBy::copyWithZone(KTZone*) {
    auto* copy = new KTMoveBy();
    copy->initWithDuration(m_fDuration, m_positionDelta);
    copy->setTag(m_nTag);
    return copy;
}

void KTMoveBy::startWithTarget(KTNode* target) {
    KTActionInterval::startWithTarget(target);
    if (target) m_previousPosition = m_startPosition = target->getPosition();
}

KTFiniteTimeAction* KTMoveBy::reverse() {
    return KTMoveBy::create(m_fDuration, KTPoint(-m_positionDelta.x, -m_positionDelta.y));
}

void KTMoveBy::update(float t) {
    if (!m_pTarget) return;
    KTPoint current = m_pTarget->getPosition();
    m_startPosition = m_startPosition + (current - m_previousPosition);
    KTPoint newPosition = m_startPosition + m_positionDelta * t;
    m_pTarget->setPosition(newPosition);
    m_previousPosition = newPosition;
}

// ---------------------------------------------------------------------------------------------------------
// KTMoveTo

KTMoveTo* KTMoveTo::create(float duration, const KTPoint& position) {
    auto* action = new KTMoveTo();
    action->initWithDuration(duration, position);
    return ktAutorelease(action);
}

bool KTMoveTo::initWithDuration(float duration, const KTPoint& position) {
    KTActionInterval::initWithDuration(duration);
    m_endPosition = position;
    return true;
}

KTObject* KTMoveTo::copyWithZone(KTZone*) {
    auto* copy = new KTMoveTo();
    copy->initWithDuration(m_fDuration, m_endPosition);
    copy->m_positionDelta = m_positionDelta;
    copy->setTag(m_nTag);
    return copy;
}

void KTMoveTo::startWithTarget(KTNode* target) {
    KTMoveBy::startWithTarget(target);
    if (target) m_positionDelta = m_endPosition - target->getPosition();
}

}  // namespace kite
