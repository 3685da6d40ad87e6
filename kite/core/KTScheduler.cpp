#include "kite/core/KTScheduler.h"

#include <uthash.h>
#include <utlist.h>

#include <cstdlib>

#include "kite/base/KTMacros.h"
#include "kite/base/KTScriptSupport.h"

namespace kite {

struct KTUpdateListEntry {
    KTUpdateListEntry* prev;
    KTUpdateListEntry* next;
    KTObject* target;  // the reference is held by the hash entry
    int priority;
    bool paused;
    bool markedForDeletion;
};

struct KTUpdateHashEntry {
    KTUpdateListEntry** list;
    KTUpdateListEntry* entry;
    KTObject* target;  // retained
    UT_hash_handle hh;
};

struct KTTimerHashEntry {
    ktArray* timers;
    KTObject* target;  // retained
    unsigned int timerIndex;
    KTTimer* currentTimer;
    bool currentTimerSalvaged;
    bool paused;
    UT_hash_handle hh;
};

// ---------------------------------------------------------------------------------------------------------
// KTTimer

KTTimer::KTTimer() = default;
KTTimer::~KTTimer() = default;

KTTimer* KTTimer::create(KTObject* target, SEL_SCHEDULE selector, float interval, unsigned int repeat,
                         float delay) {
    KTTimer* timer = new KTTimer();
    timer->initWithTarget(target, selector, interval, repeat, delay);
    timer->autorelease();
    return timer;
}

bool KTTimer::initWithTarget(KTObject* target, SEL_SCHEDULE selector, float seconds, unsigned int repeat,
                             float delay) {
    m_pTarget = target;
    m_pfnSelector = selector;
    m_fElapsed = -1.0f;
    m_fInterval = seconds;
    m_fDelay = delay;
    m_bUseDelay = delay > 0.0f;
    m_uRepeat = repeat;
    m_bRunForever = repeat == kKTRepeatForever;
    m_uTimesExecuted = 0;
    m_nScriptHandler = 0;
    return true;
}

void KTTimer::fire() {
    if (m_pTarget && m_pfnSelector) (m_pTarget->*m_pfnSelector)(m_fElapsed);
    if (m_nScriptHandler) {
        if (KTScriptEngine* engine = KTScriptEngineManager::sharedManager()->getScriptEngine()) {
            engine->executeScheduledHandler(m_nScriptHandler, m_fElapsed);
        }
    }
}

void KTTimer::update(float dt) {
    if (m_fElapsed == -1.0f) {
        // The frame that registered the timer only starts its clock.
        m_fElapsed = 0.0f;
        m_uTimesExecuted = 0;
        return;
    }
    m_fElapsed += dt;
    if (m_bRunForever && !m_bUseDelay) {
        if (m_fElapsed >= m_fInterval) {
            fire();
            m_fElapsed = 0.0f;
        }
        return;
    }
    if (m_bUseDelay) {
        if (m_fElapsed >= m_fDelay) {
            fire();
            m_fElapsed -= m_fDelay;
            m_uTimesExecuted += 1;
            m_bUseDelay = false;
        }
    } else if (m_fElapsed >= m_fInterval) {
        fire();
        m_fElapsed = 0.0f;
        m_uTimesExecuted += 1;
    }
    if (!m_bRunForever && m_uTimesExecuted > m_uRepeat && m_pScheduler) {
        m_pScheduler->unscheduleSelector(m_pfnSelector, m_pTarget);
    }
}

// ---------------------------------------------------------------------------------------------------------
// KTScheduler

KTScheduler::KTScheduler() = default;

KTScheduler::~KTScheduler() {
    unscheduleAll();
    KT_SAFE_RELEASE(m_pScriptHandlerEntries);
}

void KTScheduler::removeHashElement(KTTimerHashEntry* element) {
    KTObject* target = element->target;
    ktArrayFree(element->timers);
    HASH_DEL(m_pHashForTimers, element);
    free(element);
    // Last, so that a target destroyed by this release can call back into the scheduler.
    target->release();
}

void KTScheduler::scheduleSelector(SEL_SCHEDULE selector, KTObject* target, float interval, bool paused) {
    scheduleSelector(selector, target, interval, kKTRepeatForever, 0.0f, paused);
}

void KTScheduler::scheduleSelector(SEL_SCHEDULE selector, KTObject* target, float interval,
                                   unsigned int repeat, float delay, bool paused) {
    KTAssert(selector, "Argument selector must be non-NULL");
    KTAssert(target, "Argument target must be non-NULL");

    KTTimerHashEntry* element = nullptr;
    HASH_FIND_PTR(m_pHashForTimers, &target, element);
    if (!element) {
        element = static_cast<KTTimerHashEntry*>(calloc(1, sizeof(KTTimerHashEntry)));
        if (!element) exit(-1);
        element->target = target;
        target->retain();
        HASH_ADD_PTR(m_pHashForTimers, target, element);
        element->paused = paused;
    }

    if (!element->timers) {
        element->timers = ktArrayNew(10);
    } else {
        for (unsigned int i = 0; i < element->timers->num; ++i) {
            KTTimer* timer = static_cast<KTTimer*>(element->timers->arr[i]);
            if (timer->getSelector() == selector) {
                timer->setInterval(interval);
                return;
            }
        }
        ktArrayEnsureExtraCapacity(element->timers, 1);
    }

    KTTimer* timer = new KTTimer();
    timer->initWithTarget(target, selector, interval, repeat, delay);
    timer->setScheduler(this);
    ktArrayAppendObject(element->timers, timer);
    timer->release();
}

void KTScheduler::unscheduleSelector(SEL_SCHEDULE selector, KTObject* target) {
    if (!target || !selector) return;
    KTTimerHashEntry* element = nullptr;
    HASH_FIND_PTR(m_pHashForTimers, &target, element);
    if (!element || !element->timers) return;

    for (unsigned int i = 0; i < element->timers->num; ++i) {
        KTTimer* timer = static_cast<KTTimer*>(element->timers->arr[i]);
        if (timer->getSelector() != selector) continue;

        if (timer == element->currentTimer && !element->currentTimerSalvaged) {
            // Still running its firing: keep it alive until the pass releases it.
            element->currentTimer->retain();
            element->currentTimerSalvaged = true;
        }
        ktArrayRemoveObjectAtIndex(element->timers, i, true);
        // Step back so that the pass continues with the timer that moved into the freed slot; from 0 the
        // index wraps and the pass's increment brings it back.
        if (element->timerIndex >= i) element->timerIndex--;

        if (element->timers->num == 0) {
            if (m_pCurrentTarget == element) {
                m_bCurrentTargetSalvaged = true;
            } else {
                removeHashElement(element);
            }
        }
        return;
    }
}

void KTScheduler::priorityIn(KTUpdateListEntry** list, KTObject* target, int priority, bool paused) {
    auto* listElement = static_cast<KTUpdateListEntry*>(calloc(1, sizeof(KTUpdateListEntry)));
    if (!listElement) exit(-1);
    listElement->target = target;
    listElement->priority = priority;
    listElement->paused = paused;
    listElement->markedForDeletion = false;

    // Before the first entry of strictly greater priority: equal priorities keep their arrival order.
    KTUpdateListEntry* before = nullptr;
    for (KTUpdateListEntry* e = *list; e; e = e->next) {
        if (priority < e->priority) {
            before = e;
            break;
        }
    }
    if (before) {
        if (before == *list) {
            DL_PREPEND(*list, listElement);
        } else {
            listElement->next = before;
            listElement->prev = before->prev;
            before->prev->next = listElement;
            before->prev = listElement;
        }
    } else {
        DL_APPEND(*list, listElement);
    }

    auto* hashElement = static_cast<KTUpdateHashEntry*>(calloc(1, sizeof(KTUpdateHashEntry)));
    if (!hashElement) exit(-1);
    hashElement->target = target;
    target->retain();
    hashElement->list = list;
    hashElement->entry = listElement;
    HASH_ADD_PTR(m_pHashForUpdates, target, hashElement);
}

void KTScheduler::appendIn(KTUpdateListEntry** list, KTObject* target, bool paused) {
    auto* listElement = static_cast<KTUpdateListEntry*>(calloc(1, sizeof(KTUpdateListEntry)));
    if (!listElement) exit(-1);
    listElement->target = target;
    listElement->paused = paused;
    listElement->markedForDeletion = false;
    DL_APPEND(*list, listElement);

    auto* hashElement = static_cast<KTUpdateHashEntry*>(calloc(1, sizeof(KTUpdateHashEntry)));
    if (!hashElement) exit(-1);
    hashElement->target = target;
    target->retain();
    hashElement->list = list;
    hashElement->entry = listElement;
    HASH_ADD_PTR(m_pHashForUpdates, target, hashElement);
}

void KTScheduler::scheduleUpdateForTarget(KTObject* target, int priority, bool paused) {
    if (!target) return;
    KTUpdateHashEntry* hashElement = nullptr;
    HASH_FIND_PTR(m_pHashForUpdates, &target, hashElement);
    if (hashElement) {
        // Already registered: only an unschedule pending in this pass is undone.
        hashElement->entry->markedForDeletion = false;
        return;
    }
    if (priority == 0) {
        appendIn(&m_pUpdates0List, target, paused);
    } else if (priority < 0) {
        priorityIn(&m_pUpdatesNegList, target, priority, paused);
    } else {
        priorityIn(&m_pUpdatesPosList, target, priority, paused);
    }
}

void KTScheduler::removeUpdateFromHash(KTUpdateListEntry* entry) {
    KTUpdateHashEntry* element = nullptr;
    HASH_FIND_PTR(m_pHashForUpdates, &entry->target, element);
    if (!element) return;
    KTAssert((element->entry)->prev != NULL, "removeUpdateFromHash");
    DL_DELETE(*element->list, element->entry);
    free(element->entry);
    KTObject* target = element->target;
    HASH_DEL(m_pHashForUpdates, element);
    free(element);
    // Last, so that a target destroyed by this release can call back into the scheduler.
    target->release();
}

void KTScheduler::unscheduleUpdateForTarget(const KTObject* target) {
    if (!target) return;
    KTUpdateHashEntry* element = nullptr;
    HASH_FIND_PTR(m_pHashForUpdates, &target, element);
    if (!element) return;
    if (m_bUpdateHashLocked) {
        element->entry->markedForDeletion = true;
    } else {
        removeUpdateFromHash(element->entry);
    }
}

void KTScheduler::unscheduleAllForTarget(KTObject* target) {
    if (!target) return;
    KTTimerHashEntry* element = nullptr;
    HASH_FIND_PTR(m_pHashForTimers, &target, element);
    if (element) {
        if (element->timers) {
            if (element->currentTimer && ktArrayContainsObject(element->timers, element->currentTimer) &&
                !element->currentTimerSalvaged) {
                element->currentTimer->retain();
                element->currentTimerSalvaged = true;
            }
            ktArrayRemoveAllObjects(element->timers);
        }
        if (m_pCurrentTarget == element) {
            m_bCurrentTargetSalvaged = true;
        } else {
            removeHashElement(element);
        }
    }
    unscheduleUpdateForTarget(target);
}

void KTScheduler::unscheduleAll() {
    unscheduleAllWithMinPriority(kKTPrioritySystem);
}

void KTScheduler::unscheduleAllWithMinPriority(int minPriority) {
    for (KTTimerHashEntry* element = m_pHashForTimers; element;) {
        KTObject* target = element->target;
        element = static_cast<KTTimerHashEntry*>(element->hh.next);
        unscheduleAllForTarget(target);
    }

    KTUpdateListEntry* entry = nullptr;
    KTUpdateListEntry* tmp = nullptr;
    if (minPriority < 0) {
        DL_FOREACH_SAFE(m_pUpdatesNegList, entry, tmp) {
            if (entry->priority >= minPriority) unscheduleUpdateForTarget(entry->target);
        }
    }
    if (minPriority <= 0) {
        DL_FOREACH_SAFE(m_pUpdates0List, entry, tmp) {
            unscheduleUpdateForTarget(entry->target);
        }
    }
    DL_FOREACH_SAFE(m_pUpdatesPosList, entry, tmp) {
        if (entry->priority >= minPriority) unscheduleUpdateForTarget(entry->target);
    }
    if (m_pScriptHandlerEntries) m_pScriptHandlerEntries->removeAllObjects();
}

void KTScheduler::pauseTarget(KTObject* target) {
    if (!target) return;
    KTTimerHashEntry* element = nullptr;
    HASH_FIND_PTR(m_pHashForTimers, &target, element);
    if (element) element->paused = true;
    KTUpdateHashEntry* update = nullptr;
    HASH_FIND_PTR(m_pHashForUpdates, &target, update);
    if (update) update->entry->paused = true;
}

void KTScheduler::resumeTarget(KTObject* target) {
    if (!target) return;
    KTTimerHashEntry* element = nullptr;
    HASH_FIND_PTR(m_pHashForTimers, &target, element);
    if (element) element->paused = false;
    KTUpdateHashEntry* update = nullptr;
    HASH_FIND_PTR(m_pHashForUpdates, &target, update);
    if (update) update->entry->paused = false;
}

bool KTScheduler::isTargetPaused(KTObject* target) {
    if (!target) return false;
    KTTimerHashEntry* element = nullptr;
    HASH_FIND_PTR(m_pHashForTimers, &target, element);
    if (element) return element->paused;
    KTUpdateHashEntry* update = nullptr;
    HASH_FIND_PTR(m_pHashForUpdates, &target, update);
    return update && update->entry->paused;
}

bool KTScheduler::isScheduled(SEL_SCHEDULE selector, KTObject* target) {
    if (!target || !selector) return false;
    KTTimerHashEntry* element = nullptr;
    HASH_FIND_PTR(m_pHashForTimers, &target, element);
    if (!element || !element->timers) return false;
    for (unsigned int i = 0; i < element->timers->num; ++i) {
        if (static_cast<KTTimer*>(element->timers->arr[i])->getSelector() == selector) return true;
    }
    return false;
}

bool KTScheduler::hasUpdateForTarget(KTObject* target) {
    if (!target) return false;
    KTUpdateHashEntry* update = nullptr;
    HASH_FIND_PTR(m_pHashForUpdates, &target, update);
    return update && !update->entry->markedForDeletion;
}

void KTScheduler::update(float dt) {
    m_bUpdateHashLocked = true;
    if (m_fTimeScale != 1.0f) dt *= m_fTimeScale;

    KTUpdateListEntry* entry = nullptr;
    KTUpdateListEntry* tmp = nullptr;
    DL_FOREACH_SAFE(m_pUpdatesNegList, entry, tmp) {
        if (!entry->paused && !entry->markedForDeletion) entry->target->update(dt);
    }
    DL_FOREACH_SAFE(m_pUpdates0List, entry, tmp) {
        if (!entry->paused && !entry->markedForDeletion) entry->target->update(dt);
    }
    DL_FOREACH_SAFE(m_pUpdatesPosList, entry, tmp) {
        if (!entry->paused && !entry->markedForDeletion) entry->target->update(dt);
    }

    for (KTTimerHashEntry* element = m_pHashForTimers; element;) {
        m_pCurrentTarget = element;
        m_bCurrentTargetSalvaged = false;
        if (!element->paused) {
            // The count is re-read after every firing: timers added during the pass run in it too.
            for (element->timerIndex = 0; element->timerIndex < element->timers->num; ++element->timerIndex) {
                element->currentTimer = static_cast<KTTimer*>(element->timers->arr[element->timerIndex]);
                element->currentTimerSalvaged = false;
                element->currentTimer->update(dt);
                if (element->currentTimerSalvaged) {
                    element->currentTimer->release();
                }
                element->currentTimer = nullptr;
            }
        }
        element = static_cast<KTTimerHashEntry*>(element->hh.next);
        if (m_bCurrentTargetSalvaged && m_pCurrentTarget->timers->num == 0) {
            removeHashElement(m_pCurrentTarget);
        }
    }

    if (m_pScriptHandlerEntries) {
        for (int i = static_cast<int>(m_pScriptHandlerEntries->count()) - 1; i >= 0; --i) {
            auto* entry =
                static_cast<KTSchedulerScriptHandlerEntry*>(m_pScriptHandlerEntries->objectAtIndex(i));
            if (entry->isMarkedForDeletion()) {
                m_pScriptHandlerEntries->removeObjectAtIndex(i);
            } else if (!entry->isPaused()) {
                entry->getTimer()->update(dt);
            }
        }
    }

    DL_FOREACH_SAFE(m_pUpdatesNegList, entry, tmp) {
        if (entry->markedForDeletion) removeUpdateFromHash(entry);
    }
    DL_FOREACH_SAFE(m_pUpdates0List, entry, tmp) {
        if (entry->markedForDeletion) removeUpdateFromHash(entry);
    }
    DL_FOREACH_SAFE(m_pUpdatesPosList, entry, tmp) {
        if (entry->markedForDeletion) removeUpdateFromHash(entry);
    }

    m_bUpdateHashLocked = false;
    m_pCurrentTarget = nullptr;
}

}  // namespace kite
