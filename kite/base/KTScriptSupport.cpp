#include "kite/base/KTScriptSupport.h"

#include "kite/base/KTMacros.h"

namespace kite {

namespace {
KTScriptEngineManager* s_sharedManager = nullptr;
int s_entryCount = 0;
}  // namespace

KTScriptEngineManager* KTScriptEngineManager::sharedManager() {
    if (!s_sharedManager) s_sharedManager = new KTScriptEngineManager();
    return s_sharedManager;
}

void KTScriptEngineManager::purgeSharedManager() {
    KT_SAFE_DELETE(s_sharedManager);
}

KTScriptEngineManager::~KTScriptEngineManager() {
    removeScriptEngine();
}

void KTScriptEngineManager::setScriptEngine(KTScriptEngine* engine) {
    if (engine == m_pScriptEngine) return;
    removeScriptEngine();
    m_pScriptEngine = engine;
}

void KTScriptEngineManager::removeScriptEngine() {
    KT_SAFE_DELETE(m_pScriptEngine);
}

KTScriptHandlerEntry::KTScriptHandlerEntry(int handler) : m_nHandler(handler), m_nEntryId(++s_entryCount) {}

KTScriptHandlerEntry* KTScriptHandlerEntry::create(int handler) {
    return ktAutorelease(new KTScriptHandlerEntry(handler));
}

KTScriptHandlerEntry::~KTScriptHandlerEntry() {
    if (m_nHandler != 0) {
        if (KTScriptEngine* engine = KTScriptEngineManager::sharedManager()->getScriptEngine())
            engine->removeScriptHandler(m_nHandler);
        m_nHandler = 0;
    }
}

KTTouchScriptHandlerEntry::KTTouchScriptHandlerEntry(int handler, bool isMultiTouches, int priority,
                                                     bool swallowsTouches)
    : KTScriptHandlerEntry(handler),
      m_bIsMultiTouches(isMultiTouches),
      m_nPriority(priority),
      m_bSwallowsTouches(swallowsTouches) {}

KTTouchScriptHandlerEntry* KTTouchScriptHandlerEntry::create(int handler, bool isMultiTouches, int priority,
                                                             bool swallowsTouches) {
    return ktAutorelease(new KTTouchScriptHandlerEntry(handler, isMultiTouches, priority, swallowsTouches));
}

KTSchedulerScriptHandlerEntry::KTSchedulerScriptHandlerEntry(int handler, KTTimer* timer, bool paused)
    : KTScriptHandlerEntry(handler), m_pTimer(timer), m_bPaused(paused) {}

}  // namespace kite
