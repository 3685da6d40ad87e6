#pragma once
// Autorelease pools: each entry gives up one reference at the next drain. The director drains the current
// pool once per frame.
#include "kite/base/KTObject.h"

namespace kite {

class KTArray;

class KTAutoreleasePool : public KTObject {
  public:
    KTAutoreleasePool();
    ~KTAutoreleasePool() override;

    void addObject(KTObject* obj);
    // Takes the object's entries out without releasing them; returns how many were removed (at most the
    // object's autorelease count). The count itself is left to the caller.
    uint32_t removeObject(KTObject* obj);
    // Lowers every entry's autorelease count, then releases the entries, last one first.
    void clear();
    uint32_t count() const;

  private:
    KTArray* m_pManagedObjectArray;
};

class KTAutoreleasePoolStack {
  public:
    static KTAutoreleasePoolStack* sharedPoolStack();
    // The instance if one exists, without creating it.
    static KTAutoreleasePoolStack* existingPoolStack();
    static void purge();

    KTAutoreleasePoolStack();
    ~KTAutoreleasePoolStack();
    KTAutoreleasePoolStack(const KTAutoreleasePoolStack&) = delete;
    KTAutoreleasePoolStack& operator=(const KTAutoreleasePoolStack&) = delete;

    void push();
    // Drains the current pool; with two or more pools the top one is dropped as well.
    void pop();
    void addObject(KTObject* obj);
    // Takes every entry of the object out of every pool of the stack, so a later drain never touches it.
    void removeObject(KTObject* obj);
    // Clears each pool from the bottom up.
    void finalize();

    KTAutoreleasePool* getCurrentPool() const { return m_pCurReleasePool; }
    uint32_t poolCount() const;

  private:
    KTArray* m_pReleasePoolStack;
    KTAutoreleasePool* m_pCurReleasePool = nullptr;
};

}  // namespace kite
