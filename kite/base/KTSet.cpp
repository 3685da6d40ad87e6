#include "kite/base/KTSet.h"

#include "kite/base/KTMacros.h"

namespace kite {

KTSet::KTSet(const KTSet& other) : KTObject(), m_members(other.m_members) {
    for (KTObject* obj : m_members) obj->retain();
}

KTSet::~KTSet() {
    removeAllObjects();
}

KTSet* KTSet::create() {
    return ktAutorelease(new KTSet());
}

KTSet* KTSet::copy() const {
    return new KTSet(*this);
}

KTSet* KTSet::mutableCopy() const {
    return new KTSet(*this);
}

void KTSet::addObject(KTObject* obj) {
    KTAssert(obj != nullptr, "Invalid Argument!");
    if (m_members.insert(obj).second) obj->retain();
}

void KTSet::removeObject(KTObject* obj) {
    if (m_members.erase(obj) > 0) obj->release();
}

void KTSet::removeAllObjects() {
    // Empty the set first: a member's destructor may look at this set.
    Members members;
    members.swap(m_members);
    for (KTObject* obj : members) obj->release();
}

bool KTSet::containsObject(KTObject* obj) const {
    return m_members.count(obj) > 0;
}

void KTSet::acceptVisitor(KTDataVisitor& visitor) {
    visitor.visitSet(this);
}

}  // namespace kite
