#include "kite/actions/KTAction.h"

namespace kite {

KTAction::KTAction() = default;
KTAction::~KTAction() = default;

KTObject* KTAction::copyWithZone(KTZone*) {
    auto* copy = new KTAction();
    copy->m_nTag = m_nTag;
    return copy;
}

void KTAction::update(float) {}

bool KTAction::isDone() {
    return true;
}

void KTAction::startWithTarget(KTNode* target) {
    m_pOriginalTarget = target;
    m_pTarget = target;
}

void KTAction::stop() {
    m_pTarget = nullptr;
}

void KTAction::step(float) {}

KTFiniteTimeAction* KTFiniteTimeAction::reverse() {
    return nullptr;
}

}  // namespace kite
