#pragma once
// Hooks for an optional script engine. Nothing installs one in this program, so every hook stays inert,
// but objects, nodes, layers and the scheduler still go through these paths.
#include <cstdint>

#include "kite/base/KTObject.h"

namespace kite {

class KTNode;
class KTLayer;
class KTTouch;
class KTSet;
class KTTimer;
class KTCallFunc;
struct KTAcceleration;

enum KTScriptType {
    kKTScriptTypeNone = 0,
    kKTScriptTypeHandlers = 1,
    // An engine of this kind is told about every object that goes away, not only script-referenced ones.
    kKTScriptTypeObjects = 2,
};

class KTScriptEngine {
  public:
    virtual ~KTScriptEngine() = default;
    virtual KTScriptType getScriptKind() = 0;
    virtual void releaseScriptObject(KTObject* obj) = 0;
    virtual void removeScriptHandler(int handler) = 0;
    virtual int executeScheduledHandler(int handler, float dt, KTNode* node = nullptr) = 0;
    // Node events: 0 enter, 1 exit, 2 enter-transition finished, 3 exit-transition started, 4 cleanup.
    virtual int executeNodeEvent(KTNode* node, int event) = 0;
    virtual int executeCallFuncActionEvent(KTCallFunc* action, KTObject* target = nullptr) = 0;
    // A fresh handler id for the same script function, for copied actions.
    virtual int reallocateScriptHandler(int handler) = 0;
    // Touch events: 0 began, 1 moved, 2 ended, 3 cancelled.
    virtual int executeLayerTouchEvent(KTLayer* layer, int event, KTTouch* touch) = 0;
    virtual int executeLayerTouchesEvent(KTLayer* layer, int event, KTSet* touches) = 0;
    virtual int executeAccelerometerEvent(KTLayer* layer, KTAcceleration* acceleration) = 0;
    // Keypad events: 1 back, 2 menu.
    virtual int executeLayerKeypadEvent(KTLayer* layer, int event) = 0;
};

class KTScriptEngineManager {
  public:
    static KTScriptEngineManager* sharedManager();
    static void purgeSharedManager();

    ~KTScriptEngineManager();

    KTScriptEngine* getScriptEngine() const { return m_pScriptEngine; }
    // The manager owns the engine it is given.
    void setScriptEngine(KTScriptEngine* engine);
    void removeScriptEngine();

  private:
    KTScriptEngine* m_pScriptEngine = nullptr;
};

// Ties a script handler to an engine object; the handler leaves the script engine with the entry.
class KTScriptHandlerEntry : public KTObject {
  public:
    static KTScriptHandlerEntry* create(int handler);
    ~KTScriptHandlerEntry() override;

    int getHandler() const { return m_nHandler; }
    int getEntryId() const { return m_nEntryId; }

  protected:
    explicit KTScriptHandlerEntry(int handler);

    int m_nHandler;
    int m_nEntryId;
};

class KTTouchScriptHandlerEntry : public KTScriptHandlerEntry {
  public:
    static KTTouchScriptHandlerEntry* create(int handler, bool isMultiTouches, int priority,
                                             bool swallowsTouches);

    bool isMultiTouches() const { return m_bIsMultiTouches; }
    int getPriority() const { return m_nPriority; }
    bool getSwallowsTouches() const { return m_bSwallowsTouches; }

  private:
    KTTouchScriptHandlerEntry(int handler, bool isMultiTouches, int priority, bool swallowsTouches);

    bool m_bIsMultiTouches;
    int m_nPriority;
    bool m_bSwallowsTouches;
};

// A script timer run by the scheduler. Nothing in this program creates one.
class KTSchedulerScriptHandlerEntry : public KTScriptHandlerEntry {
  public:
    KTTimer* getTimer() const { return m_pTimer; }
    bool isPaused() const { return m_bPaused; }
    void setPaused(bool paused) { m_bPaused = paused; }
    bool isMarkedForDeletion() const { return m_bMarkedForDeletion; }
    void markedForDeletion() { m_bMarkedForDeletion = true; }

  protected:
    // The timer is not retained: the scheduler that would make such an entry keeps it alive.
    KTSchedulerScriptHandlerEntry(int handler, KTTimer* timer, bool paused);

    KTTimer* m_pTimer;
    bool m_bPaused;
    bool m_bMarkedForDeletion = false;
};

}  // namespace kite
