#include "kite/actions/KTActionManager.h"

#include <uthash.h>

#include <cstdlib>

#include "kite/actions/KTAction.h"
#include "kite/base/KTCArray.h"
#include "kite/base/KTMacros.h"
#include "kite/nodes/KTNode.h"

namespace kite {

struct KTActionHashEntry {
    ktArray* actions;
    KTObject* target;  // retained while the entry exists
    unsigned int actionIndex;
    KTAction* currentAction;
    bool currentActionSalvaged;
    bool paused;
    UT_hash_handle hh;
};

KTActionManager::KTActionManager() = default;

KTActionManager::~KTActionManager() {
    removeAllActions();
}

void KTActionManager::deleteHashElement(KTActionHashEntry* element) {
    KTObject* target = element->target;
    ktArrayFree(element->actions);
    HASH_DEL(m_pTargets, element);
    free(element);
    target->release();
}

void KTActionManager::removeActionAtIndex(unsigned int index, KTActionHashEntry* element) {
    KTAction* action = static_cast<KTAction*>(element->actions->arr[index]);
    if (action == element->currentAction && !element->currentActionSalvaged) {
        // Removed during its own step: it must outlive the step.
        element->currentAction->retain();
        element->currentActionSalvaged = true;
    }
    ktArrayRemoveObjectAtIndex(element->actions, index, true);
    // Step back so that the loop does not skip the action that moved into the gap (0 wraps and the
    // loop's increment brings it back).
    if (element->actionIndex >= index) element->actionIndex--;
    if (element->actions->num == 0) {
        if (m_pCurrentTarget == element) {
            m_bCurrentTargetSalvaged = true;
        } else {
            deleteHashElement(element);
        }
    }
}

void KTActionManager::pauseTarget(KTObject* target) {
    KTActionHashEntry* element = nullptr;
    HASH_FIND_PTR(m_pTargets, &target, element);
    if (element) element->paused = true;
}

void KTActionManager::resumeTarget(KTObject* target) {
    KTActionHashEntry* element = nullptr;
    HASH_FIND_PTR(m_pTargets, &target, element);
    if (element) element->paused = false;
}

void KTActionManager::addAction(KTAction* action, KTNode* target, bool paused) {
    KTAssert(action != nullptr, "addAction needs an action");
    KTAssert(target != nullptr, "addAction needs a target");

    KTObject* key = target;
    KTActionHashEntry* element = nullptr;
    HASH_FIND_PTR(m_pTargets, &key, element);
    if (!element) {
        element = static_cast<KTActionHashEntry*>(calloc(1, sizeof(KTActionHashEntry)));
        if (!element) exit(-1);
        element->paused = paused;
        target->retain();
        element->target = key;
        HASH_ADD_PTR(m_pTargets, target, element);
    }
    if (!element->actions) {
        element->actions = ktArrayNew(4);
    } else if (element->actions->num == element->actions->max) {
        ktArrayDoubleCapacity(element->actions);
    }
    ktArrayAppendObject(element->actions, action);
    action->startWithTarget(target);
}

void KTActionManager::removeAllActions() {
    for (KTActionHashEntry* element = m_pTargets; element;) {
        KTObject* target = element->target;
        element = static_cast<KTActionHashEntry*>(element->hh.next);
        removeAllActionsFromTarget(target);
    }
}

void KTActionManager::removeAllActionsFromTarget(KTObject* target) {
    if (!target) return;
    KTActionHashEntry* element = nullptr;
    HASH_FIND_PTR(m_pTargets, &target, element);
    if (!element) return;
    if (element->actions) {
        if (element->currentAction && ktArrayContainsObject(element->actions, element->currentAction) &&
            !element->currentActionSalvaged) {
            element->currentAction->retain();
            element->currentActionSalvaged = true;
        }
        ktArrayRemoveAllObjects(element->actions);
    }
    if (m_pCurrentTarget == element) {
        m_bCurrentTargetSalvaged = true;
    } else {
        deleteHashElement(element);
    }
}

void KTActionManager::removeAction(KTAction* action) {
    if (!action) return;
    KTObject* target = action->getOriginalTarget();
    KTActionHashEntry* element = nullptr;
    HASH_FIND_PTR(m_pTargets, &target, element);
    if (!element || !element->actions) return;
    unsigned int index = ktArrayGetIndexOfObject(element->actions, action);
    if (index != KT_INVALID_INDEX) removeActionAtIndex(index, element);
}

void KTActionManager::update(float dt) {
    for (KTActionHashEntry* element = m_pTargets; element;) {
        m_pCurrentTarget = element;
        m_bCurrentTargetSalvaged = false;
        if (!element->paused) {
            // The count is re-read before each action: actions added during a step run in this frame.
            for (element->actionIndex = 0; element->actions && element->actionIndex < element->actions->num;
                 element->actionIndex++) {
                element->currentAction = static_cast<KTAction*>(element->actions->arr[element->actionIndex]);
                if (!element->currentAction) continue;
                element->currentActionSalvaged = false;
                element->currentAction->step(dt);
                if (element->currentActionSalvaged) {
                    element->currentAction->release();
                } else if (element->currentAction->isDone()) {
                    element->currentAction->stop();
                    KTAction* action = element->currentAction;
                    element->currentAction = nullptr;
                    removeAction(action);
                }
                element->currentAction = nullptr;
            }
        }
        element = static_cast<KTActionHashEntry*>(element->hh.next);
        if (m_bCurrentTargetSalvaged && m_pCurrentTarget->actions->num == 0) {
            deleteHashElement(m_pCurrentTarget);
        }
    }
    m_pCurrentTarget = nullptr;
}

}  // namespace kite
