#include "kite/base/KTArray.h"

#include "kite/base/KTMacros.h"

namespace kite {

KTArray::KTArray() : data(ktArrayNew(1)) {}

KTArray::~KTArray() {
    ktArrayFree(data);
}

KTArray* KTArray::create() {
    auto* a = new KTArray();
    a->init();
    return ktAutorelease(a);
}

KTArray* KTArray::createWithCapacity(uint32_t capacity) {
    auto* a = new KTArray();
    a->initWithCapacity(capacity);
    return ktAutorelease(a);
}

bool KTArray::init() {
    return initWithCapacity(1);
}

bool KTArray::initWithCapacity(uint32_t capacity) {
    // Swap before freeing: releasing old items may run code that looks at this array.
    ktArray* old = data;
    data = ktArrayNew(capacity);
    ktArrayFree(old);
    return true;
}

void KTArray::addObject(KTObject* obj) {
    ktArrayAppendObjectWithResize(data, obj);
}

void KTArray::insertObject(KTObject* obj, uint32_t index) {
    ktArrayInsertObjectAtIndex(data, obj, index);
}

void KTArray::addObjectsFromArray(KTArray* other) {
    KTAssert(other != nullptr, "other array must not be null");
    ktArrayAppendArrayWithResize(data, other->data);
}

uint32_t KTArray::indexOfObject(KTObject* obj) const {
    return ktArrayGetIndexOfObject(data, obj);
}

bool KTArray::containsObject(KTObject* obj) const {
    return ktArrayContainsObject(data, obj);
}

void KTArray::removeObject(KTObject* obj, bool releaseObj) {
    ktArrayRemoveObject(data, obj, releaseObj);
}

void KTArray::removeObjectAtIndex(uint32_t index, bool releaseObj) {
    ktArrayRemoveObjectAtIndex(data, index, releaseObj);
}

void KTArray::removeLastObject(bool releaseObj) {
    KTAssert(data->num > 0, "no objects added");
    ktArrayRemoveObjectAtIndex(data, data->num - 1, releaseObj);
}

void KTArray::removeAllObjects() {
    ktArrayRemoveAllObjects(data);
}

KTObject* KTArray::copyWithZone(KTZone*) {
    auto* copy = new KTArray();
    copy->initWithCapacity(data->num > 0 ? data->num : 1);
    for (uint32_t i = 0; i < data->num; ++i) {
        KTObject* item = data->arr[i];
        if (!item) break;
        KTObject* itemCopy = item->copy();
        // Items that cannot be copied are left out rather than stored as null.
        if (!itemCopy) continue;
        copy->addObject(itemCopy);
        itemCopy->release();
    }
    return copy;
}

void KTArray::acceptVisitor(KTDataVisitor& visitor) {
    visitor.visitArray(this);
}

}  // namespace kite
