#include "kite/actions/KTActionInstant.h"

#include "kite/base/KTMacros.h"
#include "kite/base/KTScriptSupport.h"

namespace kite {

KTObject* KTActionInstant::copyWithZone(KTZone*) {
    auto* copy = new KTActionInstant();
    copy->setTag(m_nTag);
    return copy;
}

bool KTActionInstant::isDone() {
    return true;
}

void KTActionInstant::step(float) {
    update(1.0f);
}

void KTActionInstant::update(float) {}

KTFiniteTimeAction* KTActionInstant::reverse() {
    return static_cast<KTFiniteTimeAction*>(copy()->autorelease());
}

KTCallFunc::KTCallFunc() = default;

KTCallFunc::~KTCallFunc() {
    if (m_nScriptHandler) {
        if (KTScriptEngine* engine = KTScriptEngineManager::sharedManager()->getScriptEngine()) {
            engine->removeScriptHandler(m_nScriptHandler);
        }
    }
    KT_SAFE_RELEASE(m_pSelectorTarget);
}

KTCallFunc* KTCallFunc::create(KTObject* selectorTarget, SEL_CallFunc selector) {
    auto* action = new KTCallFunc();
    if (action->initWithTarget(selectorTarget)) {
        action->m_pCallFunc = selector;
        action->autorelease();
        return action;
    }
    action->release();
    return nullptr;
}

bool KTCallFunc::initWithTarget(KTObject* selectorTarget) {
    KT_SAFE_RETAIN(selectorTarget);
    KT_SAFE_RELEASE(m_pSelectorTarget);
    m_pSelectorTarget = selectorTarget;
    return true;
}

KTObject* KTCallFunc::copyWithZone(KTZone*) {
    auto* copy = new KTCallFunc();
    copy->setTag(m_nTag);
    copy->initWithTarget(m_pSelectorTarget);
    copy->m_pCallFunc = m_pCallFunc;
    if (m_nScriptHandler > 0) {
        if (KTScriptEngine* engine = KTScriptEngineManager::sharedManager()->getScriptEngine()) {
            copy->m_nScriptHandler = engine->reallocateScriptHandler(m_nScriptHandler);
        }
    }
    return copy;
}

void KTCallFunc::update(float) {
    execute();
}

void KTCallFunc::execute() {
    if (m_pCallFunc && m_pSelectorTarget) (m_pSelectorTarget->*m_pCallFunc)();
    if (m_nScriptHandler) {
        if (KTScriptEngine* engine = KTScriptEngineManager::sharedManager()->getScriptEngine()) {
            engine->executeCallFuncActionEvent(this);
        }
    }
}

}  // namespace kite
