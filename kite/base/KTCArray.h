#pragma once
// Growable C arrays under KTArray and the engine's internal lists. The object array holds one reference
// per item; the value array holds plain pointers and retains nothing. Capacity is always at least 1.
#include <cstdint>

namespace kite {

class KTObject;

inline constexpr uint32_t KT_INVALID_INDEX = 0xFFFFFFFF;

struct ktArray {
    uint32_t num;
    uint32_t max;
    KTObject** arr;
};

struct ktCArray {
    uint32_t num;
    uint32_t max;
    void** arr;
};

ktArray* ktArrayNew(uint32_t capacity);
void ktArrayFree(ktArray*& arr);
void ktArrayDoubleCapacity(ktArray* arr);
void ktArrayEnsureExtraCapacity(ktArray* arr, uint32_t extra);
void ktArrayShrink(ktArray* arr);
uint32_t ktArrayGetIndexOfObject(ktArray* arr, KTObject* object);
bool ktArrayContainsObject(ktArray* arr, KTObject* object);
// The capacity must already suffice.
void ktArrayAppendObject(ktArray* arr, KTObject* object);
void ktArrayAppendObjectWithResize(ktArray* arr, KTObject* object);
// The capacity must already suffice.
void ktArrayAppendArray(ktArray* arr, ktArray* plus);
void ktArrayAppendArrayWithResize(ktArray* arr, ktArray* plus);
void ktArrayInsertObjectAtIndex(ktArray* arr, KTObject* object, uint32_t index);
void ktArrayRemoveObjectAtIndex(ktArray* arr, uint32_t index, bool releaseObj = true);
// First occurrence only.
void ktArrayRemoveObject(ktArray* arr, KTObject* object, bool releaseObj = true);
// Releases the last item first.
void ktArrayRemoveAllObjects(ktArray* arr);

ktCArray* ktCArrayNew(uint32_t capacity);
void ktCArrayFree(ktCArray* arr);
void ktCArrayDoubleCapacity(ktCArray* arr);
void ktCArrayEnsureExtraCapacity(ktCArray* arr, uint32_t extra);
uint32_t ktCArrayGetIndexOfValue(ktCArray* arr, void* value);
bool ktCArrayContainsValue(ktCArray* arr, void* value);
void ktCArrayInsertValueAtIndex(ktCArray* arr, void* value, uint32_t index);
// Stores the value, then grows when full, so a free slot always remains.
void ktCArrayAppendValueWithResize(ktCArray* arr, void* value);
void ktCArrayRemoveAllValues(ktCArray* arr);
void ktCArrayRemoveValueAtIndex(ktCArray* arr, uint32_t index);
// First occurrence only.
void ktCArrayRemoveValue(ktCArray* arr, void* value);

}  // namespace kite
