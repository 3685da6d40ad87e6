#pragma once
// A growable array of engine objects that retains what it holds.
#include "kite/base/KTCArray.h"
#include "kite/base/KTObject.h"

namespace kite {

class KTArray : public KTObject {
  public:
    KTArray();
    ~KTArray() override;

    static KTArray* create();
    // Capacity 0 becomes 1.
    static KTArray* createWithCapacity(uint32_t capacity);
    // An array read from a property-list file through the file utilities (kite/files): the first form
    // returns it owned by the caller, the second autoreleased; empty when the file cannot be read.
    static KTArray* createWithContentsOfFileThreadSafe(const char* pFileName);
    static KTArray* createWithContentsOfFile(const char* pFileName);

    // Replaces the storage with an empty one of capacity 1, releasing what was held.
    bool init();
    bool initWithCapacity(uint32_t capacity);

    void addObject(KTObject* obj);
    void insertObject(KTObject* obj, uint32_t index);
    void addObjectsFromArray(KTArray* other);

    uint32_t count() const { return data->num; }
    uint32_t capacity() const { return data->max; }
    // KT_INVALID_INDEX when absent.
    uint32_t indexOfObject(KTObject* obj) const;
    bool containsObject(KTObject* obj) const;
    // No bounds check: the caller keeps index < count().
    KTObject* objectAtIndex(uint32_t index) const { return data->arr[index]; }
    // Null when empty.
    KTObject* lastObject() const { return data->num > 0 ? data->arr[data->num - 1] : nullptr; }

    void removeObject(KTObject* obj, bool releaseObj = true);
    void removeObjectAtIndex(uint32_t index, bool releaseObj = true);
    // The array must not be empty.
    void removeLastObject(bool releaseObj = true);
    void removeAllObjects();

    // Range-for over the items. The array must not change while iterating.
    KTObject** begin() const { return data->arr; }
    KTObject** end() const { return data->arr + data->num; }

    KTObject* copyWithZone(KTZone* zone) override;
    void acceptVisitor(KTDataVisitor& visitor) override;

    ktArray* data;
};

}  // namespace kite
