#include "kite/base/KTObject.h"

#include "kite/base/KTAutoreleasePool.h"
#include "kite/base/KTMacros.h"
#include "kite/base/KTScriptSupport.h"

namespace kite {

namespace {
uint32_t g_objectCount = 0;
}

KTObject* KTCopying::copyWithZone(KTZone*) {
    return nullptr;
}

KTObject::KTObject() : m_uID(++g_objectCount) {}

KTObject::~KTObject() {
    // An object destroyed while still pooled (over-released by its owner) must not be touched by a later
    // drain.
    if (m_uAutoReleaseCount > 0) {
        if (KTAutoreleasePoolStack* stack = KTAutoreleasePoolStack::existingPoolStack())
            stack->removeObject(this);
    }

    KTScriptEngine* engine = KTScriptEngineManager::sharedManager()->getScriptEngine();
    if (engine) {
        if (m_nScriptRefId != 0 || engine->getScriptKind() == kKTScriptTypeObjects)
            engine->releaseScriptObject(this);
    }
}

bool KTObject::isEqual(const KTObject* other) {
    return other == this;
}

void KTObject::acceptVisitor(KTDataVisitor& visitor) {
    visitor.visitObject(this);
}

void KTObject::retain() {
    KTAssert(m_uReference > 0, "reference count should be greater than 0");
    ++m_uReference;
}

void KTObject::release() {
    KTAssert(m_uReference > 0, "reference count should be greater than 0");
    if (--m_uReference == 0) delete this;
}

KTObject* KTObject::autorelease() {
    KTAutoreleasePoolStack::sharedPoolStack()->addObject(this);
    return this;
}

KTObject* KTObject::copy() {
    return copyWithZone(nullptr);
}

}  // namespace kite
