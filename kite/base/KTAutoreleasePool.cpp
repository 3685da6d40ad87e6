#include "kite/base/KTAutoreleasePool.h"

#include "kite/base/KTArray.h"
#include "kite/base/KTMacros.h"

namespace kite {

namespace {
KTAutoreleasePoolStack* s_sharedPoolStack = nullptr;
}

KTAutoreleasePool::KTAutoreleasePool() : m_pManagedObjectArray(new KTArray()) {}

KTAutoreleasePool::~KTAutoreleasePool() {
    KT_SAFE_DELETE(m_pManagedObjectArray);
}

void KTAutoreleasePool::addObject(KTObject* obj) {
    m_pManagedObjectArray->addObject(obj);
    ++obj->m_uAutoReleaseCount;
    obj->release();
}

uint32_t KTAutoreleasePool::removeObject(KTObject* obj) {
    uint32_t removed = 0;
    for (uint32_t i = 0; i < obj->m_uAutoReleaseCount; ++i) {
        if (!m_pManagedObjectArray->containsObject(obj)) break;
        m_pManagedObjectArray->removeObject(obj, false);
        ++removed;
    }
    return removed;
}

void KTAutoreleasePool::clear() {
    ktArray* arr = m_pManagedObjectArray->data;
    if (arr->num == 0) return;
    for (uint32_t i = arr->num; i > 0; --i) {
        KTObject* obj = arr->arr[i - 1];
        if (!obj) break;
        --obj->m_uAutoReleaseCount;
    }
    m_pManagedObjectArray->removeAllObjects();
}

uint32_t KTAutoreleasePool::count() const {
    return m_pManagedObjectArray->count();
}

KTAutoreleasePoolStack* KTAutoreleasePoolStack::sharedPoolStack() {
    if (!s_sharedPoolStack) s_sharedPoolStack = new KTAutoreleasePoolStack();
    return s_sharedPoolStack;
}

KTAutoreleasePoolStack* KTAutoreleasePoolStack::existingPoolStack() {
    return s_sharedPoolStack;
}

void KTAutoreleasePoolStack::purge() {
    // Forget the instance before deleting it: objects destroyed while the pools empty must not reach it.
    KTAutoreleasePoolStack* stack = s_sharedPoolStack;
    s_sharedPoolStack = nullptr;
    delete stack;
}

KTAutoreleasePoolStack::KTAutoreleasePoolStack() : m_pReleasePoolStack(new KTArray()) {}

KTAutoreleasePoolStack::~KTAutoreleasePoolStack() {
    finalize();
    m_pCurReleasePool = nullptr;
    if (m_pReleasePoolStack->count() > 0) m_pReleasePoolStack->removeObjectAtIndex(0, true);
    KT_SAFE_DELETE(m_pReleasePoolStack);
}

void KTAutoreleasePoolStack::push() {
    auto* pool = new KTAutoreleasePool();
    m_pCurReleasePool = pool;
    m_pReleasePoolStack->addObject(pool);
    pool->release();
}

void KTAutoreleasePoolStack::pop() {
    if (!m_pCurReleasePool) return;
    uint32_t n = m_pReleasePoolStack->count();
    m_pCurReleasePool->clear();
    if (n > 1) {
        m_pReleasePoolStack->removeObjectAtIndex(n - 1, true);
        m_pCurReleasePool = static_cast<KTAutoreleasePool*>(m_pReleasePoolStack->objectAtIndex(n - 2));
    }
}

void KTAutoreleasePoolStack::addObject(KTObject* obj) {
    if (!m_pCurReleasePool) push();
    m_pCurReleasePool->addObject(obj);
}

void KTAutoreleasePoolStack::removeObject(KTObject* obj) {
    uint32_t left = obj->m_uAutoReleaseCount;
    ktArray* pools = m_pReleasePoolStack->data;
    for (uint32_t i = pools->num; i > 0 && left > 0; --i) {
        auto* pool = static_cast<KTAutoreleasePool*>(pools->arr[i - 1]);
        if (!pool) continue;
        uint32_t removed = pool->removeObject(obj);
        left = removed < left ? left - removed : 0;
    }
}

void KTAutoreleasePoolStack::finalize() {
    ktArray* pools = m_pReleasePoolStack->data;
    for (uint32_t i = 0; i < pools->num; ++i) {
        auto* pool = static_cast<KTAutoreleasePool*>(pools->arr[i]);
        if (!pool) break;
        pool->clear();
    }
}

uint32_t KTAutoreleasePoolStack::poolCount() const {
    return m_pReleasePoolStack->count();
}

}  // namespace kite
