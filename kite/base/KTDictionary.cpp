#include "kite/base/KTDictionary.h"

#include "kite/base/KTMacros.h"
#include "platform/base/Log.h"

namespace kite {

KTDictionary::~KTDictionary() {
    removeAllObjects();
}

KTDictionary* KTDictionary::create() {
    return ktAutorelease(new KTDictionary());
}

bool KTDictionary::acceptKind(KeyKind kind) {
    if (m_eKeyKind == kKeyKindNone) m_eKeyKind = kind;
    if (m_eKeyKind == kind) return true;
        // Mixed kinds would make copies and lookups silently lose entries.
#ifndef NDEBUG
    KTAssert(m_eKeyKind == kind, "dictionary keys must all be strings or all integers");
#endif
    plat::logError("KTDictionary: ignored %s key in a dictionary of %s keys",
                   kind == kKeyKindString ? "a string" : "an integer",
                   m_eKeyKind == kKeyKindString ? "string" : "integer");
    return false;
}

KTDictionaryEntry* KTDictionary::find(const std::string& key) const {
    if (m_eKeyKind != kKeyKindString || !m_pElements) return nullptr;
    KTDictionaryEntry* e = nullptr;
    HASH_FIND(hh, m_pElements, key.data(), static_cast<unsigned>(key.size()), e);
    return e;
}

KTDictionaryEntry* KTDictionary::find(int64_t key) const {
    if (m_eKeyKind != kKeyKindInt || !m_pElements) return nullptr;
    KTDictionaryEntry* e = nullptr;
    HASH_FIND(hh, m_pElements, &key, sizeof(key), e);
    return e;
}

void KTDictionary::addEntry(KTDictionaryEntry* e) {
    e->m_pObject->retain();
    if (m_eKeyKind == kKeyKindString)
        HASH_ADD_KEYPTR(hh, m_pElements, e->m_sKey.data(), static_cast<unsigned>(e->m_sKey.size()), e);
    else
        HASH_ADD(hh, m_pElements, m_nKey, sizeof(e->m_nKey), e);
}

void KTDictionary::removeEntry(KTDictionaryEntry* e) {
    HASH_DEL(m_pElements, e);
    KTObject* obj = e->m_pObject;
    delete e;
    obj->release();
}

void KTDictionary::setObject(KTObject* obj, const std::string& key) {
    KTAssert(obj != nullptr, "Invalid Argument!");
    if (!acceptKind(kKeyKindString)) return;
    KTDictionaryEntry* old = find(key);
    if (old && old->m_pObject == obj) return;
    if (old) {
        // Keep the old value alive across the swap: the new value may depend on it.
        KTObject* oldObj = old->m_pObject;
        oldObj->retain();
        // The caller's key may be the old entry's own text, which goes away with it.
        auto* entry = new KTDictionaryEntry(key, obj);
        removeEntry(old);
        addEntry(entry);
        oldObj->release();
        return;
    }
    addEntry(new KTDictionaryEntry(key, obj));
}

void KTDictionary::setObject(KTObject* obj, int64_t key) {
    KTAssert(obj != nullptr, "Invalid Argument!");
    if (!acceptKind(kKeyKindInt)) return;
    KTDictionaryEntry* old = find(key);
    if (old && old->m_pObject == obj) return;
    if (old) {
        KTObject* oldObj = old->m_pObject;
        oldObj->retain();
        removeEntry(old);
        addEntry(new KTDictionaryEntry(key, obj));
        oldObj->release();
        return;
    }
    addEntry(new KTDictionaryEntry(key, obj));
}

KTObject* KTDictionary::objectForKey(const std::string& key) const {
    KTDictionaryEntry* e = find(key);
    return e ? e->m_pObject : nullptr;
}

KTObject* KTDictionary::objectForKey(int64_t key) const {
    KTDictionaryEntry* e = find(key);
    return e ? e->m_pObject : nullptr;
}

void KTDictionary::removeObjectForKey(const std::string& key) {
    if (KTDictionaryEntry* e = find(key)) removeEntry(e);
}

void KTDictionary::removeObjectForKey(int64_t key) {
    if (KTDictionaryEntry* e = find(key)) removeEntry(e);
}

void KTDictionary::removeAllObjects() {
    while (m_pElements) removeEntry(m_pElements);
}

uint32_t KTDictionary::count() const {
    return m_pElements ? HASH_COUNT(m_pElements) : 0;
}

KTObject* KTDictionary::copyWithZone(KTZone*) {
    auto* copy = new KTDictionary();
    for (KTDictionaryEntry* e : *this) {
        KTObject* value = e->m_pObject->copy();
        // Values that cannot be copied are left out rather than stored as null.
        if (!value) continue;
        if (m_eKeyKind == kKeyKindString)
            copy->setObject(value, e->m_sKey);
        else
            copy->setObject(value, e->m_nKey);
        value->release();
    }
    return copy;
}

void KTDictionary::acceptVisitor(KTDataVisitor& visitor) {
    visitor.visitDictionary(this);
}

}  // namespace kite
