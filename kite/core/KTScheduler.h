#pragma once
// Timers and per-frame updates. The director owns one scheduler and calls update(dt) once per frame.
#include <climits>
#include <cstdint>

#include "kite/base/KTArray.h"
#include "kite/base/KTObject.h"

namespace kite {

class KTScheduler;

// A member function of the target that takes the elapsed seconds.
typedef void (KTObject::*SEL_SCHEDULE)(float);
#define schedule_selector(_SELECTOR) static_cast<kite::SEL_SCHEDULE>(&_SELECTOR)

// Repeat value that keeps a timer firing until it is unscheduled.
constexpr unsigned int kKTRepeatForever = UINT_MAX - 1;
// Priority of the action manager's update: before every other per-frame update.
constexpr int kKTPrioritySystem = INT_MIN;
constexpr int kKTPriorityNonSystemMin = kKTPrioritySystem + 1;

class KTTimer : public KTObject {
  public:
    KTTimer();
    ~KTTimer() override;

    static KTTimer* create(KTObject* target, SEL_SCHEDULE selector, float interval = 0.0f,
                           unsigned int repeat = kKTRepeatForever, float delay = 0.0f);

    bool initWithTarget(KTObject* target, SEL_SCHEDULE selector, float seconds, unsigned int repeat,
                        float delay);

    void update(float dt) override;

    float getInterval() const { return m_fInterval; }
    void setInterval(float interval) { m_fInterval = interval; }
    SEL_SCHEDULE getSelector() const { return m_pfnSelector; }
    KTObject* getTarget() const { return m_pTarget; }
    int getScriptHandler() const { return m_nScriptHandler; }

    // The scheduler that owns the timer; a finished limited timer unschedules itself there.
    void setScheduler(KTScheduler* scheduler) { m_pScheduler = scheduler; }

  private:
    void fire();

    KTObject* m_pTarget = nullptr;
    float m_fElapsed = -1.0f;
    bool m_bRunForever = false;
    bool m_bUseDelay = false;
    unsigned int m_uTimesExecuted = 0;
    unsigned int m_uRepeat = 0;
    float m_fDelay = 0.0f;
    float m_fInterval = 0.0f;
    SEL_SCHEDULE m_pfnSelector = nullptr;
    int m_nScriptHandler = 0;
    KTScheduler* m_pScheduler = nullptr;
};

struct KTUpdateListEntry;
struct KTUpdateHashEntry;
struct KTTimerHashEntry;

class KTScheduler : public KTObject {
  public:
    KTScheduler();
    ~KTScheduler() override;

    float getTimeScale() const { return m_fTimeScale; }
    void setTimeScale(float timeScale) { m_fTimeScale = timeScale; }

    void update(float dt) override;

    // repeat counts the firings after the first; delay comes before the first firing.
    void scheduleSelector(SEL_SCHEDULE selector, KTObject* target, float interval, unsigned int repeat,
                          float delay, bool paused);
    void scheduleSelector(SEL_SCHEDULE selector, KTObject* target, float interval, bool paused);
    void scheduleUpdateForTarget(KTObject* target, int priority, bool paused);

    void unscheduleSelector(SEL_SCHEDULE selector, KTObject* target);
    void unscheduleUpdateForTarget(const KTObject* target);
    void unscheduleAllForTarget(KTObject* target);
    void unscheduleAll();
    void unscheduleAllWithMinPriority(int minPriority);

    void pauseTarget(KTObject* target);
    void resumeTarget(KTObject* target);
    bool isTargetPaused(KTObject* target);

    // Introspection for callers that need to know what is registered.
    bool isScheduled(SEL_SCHEDULE selector, KTObject* target);
    bool hasUpdateForTarget(KTObject* target);

  private:
    void removeHashElement(KTTimerHashEntry* element);
    void removeUpdateFromHash(KTUpdateListEntry* entry);
    void priorityIn(KTUpdateListEntry** list, KTObject* target, int priority, bool paused);
    void appendIn(KTUpdateListEntry** list, KTObject* target, bool paused);

    float m_fTimeScale = 1.0f;
    KTUpdateListEntry* m_pUpdatesNegList = nullptr;
    KTUpdateListEntry* m_pUpdates0List = nullptr;
    KTUpdateListEntry* m_pUpdatesPosList = nullptr;
    KTUpdateHashEntry* m_pHashForUpdates = nullptr;
    KTTimerHashEntry* m_pHashForTimers = nullptr;
    KTTimerHashEntry* m_pCurrentTarget = nullptr;
    bool m_bCurrentTargetSalvaged = false;
    bool m_bUpdateHashLocked = false;
    KTArray* m_pScriptHandlerEntries = nullptr;
};

}  // namespace kite
