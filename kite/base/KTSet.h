#pragma once
// A set of engine objects ordered by address; one reference per member.
#include <set>

#include "kite/base/KTObject.h"

namespace kite {

class KTSet : public KTObject {
  public:
    using Members = std::set<KTObject*>;
    using const_iterator = Members::const_iterator;

    KTSet() = default;
    // The same members, each retained once more.
    KTSet(const KTSet& other);
    ~KTSet() override;

    static KTSet* create();

    // New sets owned by the caller.
    KTSet* copy() const;
    KTSet* mutableCopy() const;

    // A member stays a member with its one reference.
    void addObject(KTObject* obj);
    void removeObject(KTObject* obj);
    void removeAllObjects();
    bool containsObject(KTObject* obj) const;
    uint32_t count() const { return static_cast<uint32_t>(m_members.size()); }
    // The lowest-addressed member, or null when empty.
    KTObject* anyObject() const { return m_members.empty() ? nullptr : *m_members.begin(); }

    const_iterator begin() const { return m_members.begin(); }
    const_iterator end() const { return m_members.end(); }

    void acceptVisitor(KTDataVisitor& visitor) override;

  private:
    Members m_members;
};

}  // namespace kite
