#pragma once
// The root of every engine object: identity, manual reference counting, autorelease and the copy and
// visitor hooks. Main thread only.
#include <cstdint>

#include "kite/base/KTMacros.h"

namespace kite {

class KTObject;
class KTBool;
class KTInteger;
class KTDouble;
class KTString;
class KTArray;
class KTDictionary;
class KTSet;

// Copy operations take a zone and ignore it; every copy is a new object.
struct KTZone {
    explicit KTZone(KTObject* obj = nullptr) : m_pCopyObject(obj) {}
    KTObject* m_pCopyObject;
};

class KTCopying {
  public:
    virtual ~KTCopying() = default;
    virtual KTObject* copyWithZone(KTZone* zone);
};

// Float boxes are never built; visitFloat stays for completeness of the visitor set.
class KTDataVisitor {
  public:
    virtual ~KTDataVisitor() = default;
    virtual void visitObject(const KTObject* p) = 0;
    virtual void visitBool(const KTBool* p) = 0;
    virtual void visitInteger(const KTInteger* p) = 0;
    virtual void visitFloat(float value) = 0;
    virtual void visitDouble(const KTDouble* p) = 0;
    virtual void visitString(const KTString* p) = 0;
    virtual void visitArray(const KTArray* p) = 0;
    virtual void visitDictionary(const KTDictionary* p) = 0;
    virtual void visitSet(const KTSet* p) = 0;
};

class KTObject : public KTCopying {
  public:
    KTObject();
    ~KTObject() override;
    KTObject(const KTObject&) = delete;
    KTObject& operator=(const KTObject&) = delete;

    virtual bool isEqual(const KTObject* other);
    virtual void acceptVisitor(KTDataVisitor& visitor);
    virtual void update(float dt) { (void)dt; }

    void retain();
    // Destroys the object when the count drops to zero.
    void release();
    // Hands one of the caller's references to the current autorelease pool; returns this.
    KTObject* autorelease();
    // A new object owned by the caller (count 1), or null for classes that cannot be copied.
    KTObject* copy();

    uint32_t retainCount() const { return m_uReference; }
    bool isSingleReference() const { return m_uReference == 1; }
    uint32_t autoreleaseCount() const { return m_uAutoReleaseCount; }
    uint32_t objectId() const { return m_uID; }
    int32_t scriptRefId() const { return m_nScriptRefId; }
    void setScriptRefId(int32_t id) { m_nScriptRefId = id; }

  private:
    friend class KTAutoreleasePool;
    friend class KTAutoreleasePoolStack;

    uint32_t m_uID;
    int32_t m_nScriptRefId = 0;
    uint32_t m_uReference = 1;
    uint32_t m_uAutoReleaseCount = 0;
};

// Returns the autoreleased object typed as the caller's class, for create functions.
template <typename T>
T* ktAutorelease(T* obj) {
    if (obj) obj->autorelease();
    return obj;
}

}  // namespace kite
