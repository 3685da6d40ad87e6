#include "kite/base/KTCArray.h"

#include <cstdlib>
#include <cstring>

#include "kite/base/KTMacros.h"
#include "kite/base/KTObject.h"

namespace kite {

namespace {

// Growth failing means the process is out of memory; there is no sane way to continue.
template <typename T>
T* allocItems(uint32_t capacity, bool zero) {
    void* p = zero ? std::calloc(capacity, sizeof(T)) : std::malloc(sizeof(T) * capacity);
    KTAssert(p != nullptr, "out of memory");
    return static_cast<T*>(p);
}

template <typename T>
T* growItems(T* items, uint32_t capacity) {
    KTAssert(capacity < 0x80000000u, "array too large");
    void* p = std::realloc(items, sizeof(T) * capacity);
    KTAssert(p != nullptr, "out of memory");
    return static_cast<T*>(p);
}

}  // namespace

ktArray* ktArrayNew(uint32_t capacity) {
    if (capacity == 0) capacity = 1;
    auto* a = static_cast<ktArray*>(std::malloc(sizeof(ktArray)));
    KTAssert(a != nullptr, "out of memory");
    a->num = 0;
    a->max = capacity;
    a->arr = allocItems<KTObject*>(capacity, true);
    return a;
}

void ktArrayFree(ktArray*& arr) {
    if (!arr) return;
    ktArrayRemoveAllObjects(arr);
    std::free(arr->arr);
    std::free(arr);
    arr = nullptr;
}

void ktArrayDoubleCapacity(ktArray* arr) {
    arr->max *= 2;
    arr->arr = growItems(arr->arr, arr->max);
}

void ktArrayEnsureExtraCapacity(ktArray* arr, uint32_t extra) {
    while (arr->max < arr->num + extra) ktArrayDoubleCapacity(arr);
}

void ktArrayShrink(ktArray* arr) {
    uint32_t capacity = arr->num ? arr->num : 1;
    if (capacity == arr->max) return;
    arr->max = capacity;
    arr->arr = growItems(arr->arr, capacity);
}

uint32_t ktArrayGetIndexOfObject(ktArray* arr, KTObject* object) {
    for (uint32_t i = 0; i < arr->num; ++i)
        if (arr->arr[i] == object) return i;
    return KT_INVALID_INDEX;
}

bool ktArrayContainsObject(ktArray* arr, KTObject* object) {
    return ktArrayGetIndexOfObject(arr, object) != KT_INVALID_INDEX;
}

void ktArrayAppendObject(ktArray* arr, KTObject* object) {
    KTAssert(object != nullptr, "Invalid parameter!");
    KTAssert(arr->num < arr->max, "array has no room");
    object->retain();
    arr->arr[arr->num++] = object;
}

void ktArrayAppendObjectWithResize(ktArray* arr, KTObject* object) {
    ktArrayEnsureExtraCapacity(arr, 1);
    ktArrayAppendObject(arr, object);
}

void ktArrayAppendArray(ktArray* arr, ktArray* plus) {
    // Read the count first: appending an array to itself must not chase its own growth.
    uint32_t n = plus->num;
    for (uint32_t i = 0; i < n; ++i) ktArrayAppendObject(arr, plus->arr[i]);
}

void ktArrayAppendArrayWithResize(ktArray* arr, ktArray* plus) {
    ktArrayEnsureExtraCapacity(arr, plus->num);
    ktArrayAppendArray(arr, plus);
}

void ktArrayInsertObjectAtIndex(ktArray* arr, KTObject* object, uint32_t index) {
    KTAssert(index <= arr->num, "Invalid index. Out of bounds");
    KTAssert(object != nullptr, "Invalid parameter!");
    ktArrayEnsureExtraCapacity(arr, 1);
    if (index < arr->num)
        std::memmove(arr->arr + index + 1, arr->arr + index, sizeof(KTObject*) * (arr->num - index));
    object->retain();
    arr->arr[index] = object;
    ++arr->num;
}

void ktArrayRemoveObjectAtIndex(ktArray* arr, uint32_t index, bool releaseObj) {
    KTAssert(arr && arr->num > 0 && index < arr->num, "Invalid index. Out of bounds");
    KTObject* obj = arr->arr[index];
    // Take the item out before releasing it: its destructor may look at this array.
    --arr->num;
    uint32_t remaining = arr->num - index;
    if (remaining > 0) std::memmove(arr->arr + index, arr->arr + index + 1, sizeof(KTObject*) * remaining);
    if (releaseObj && obj) obj->release();
}

void ktArrayRemoveObject(ktArray* arr, KTObject* object, bool releaseObj) {
    uint32_t index = ktArrayGetIndexOfObject(arr, object);
    if (index != KT_INVALID_INDEX) ktArrayRemoveObjectAtIndex(arr, index, releaseObj);
}

void ktArrayRemoveAllObjects(ktArray* arr) {
    while (arr->num > 0) {
        KTObject* obj = arr->arr[--arr->num];
        if (obj) obj->release();
    }
}

ktCArray* ktCArrayNew(uint32_t capacity) {
    if (capacity == 0) capacity = 1;
    auto* a = static_cast<ktCArray*>(std::malloc(sizeof(ktCArray)));
    KTAssert(a != nullptr, "out of memory");
    a->num = 0;
    a->max = capacity;
    a->arr = allocItems<void*>(capacity, false);
    return a;
}

void ktCArrayFree(ktCArray* arr) {
    if (!arr) return;
    ktCArrayRemoveAllValues(arr);
    std::free(arr->arr);
    std::free(arr);
}

void ktCArrayDoubleCapacity(ktCArray* arr) {
    arr->max *= 2;
    arr->arr = growItems(arr->arr, arr->max);
}

void ktCArrayEnsureExtraCapacity(ktCArray* arr, uint32_t extra) {
    while (arr->max < arr->num + extra) ktCArrayDoubleCapacity(arr);
}

uint32_t ktCArrayGetIndexOfValue(ktCArray* arr, void* value) {
    for (uint32_t i = 0; i < arr->num; ++i)
        if (arr->arr[i] == value) return i;
    return KT_INVALID_INDEX;
}

bool ktCArrayContainsValue(ktCArray* arr, void* value) {
    return ktCArrayGetIndexOfValue(arr, value) != KT_INVALID_INDEX;
}

void ktCArrayInsertValueAtIndex(ktCArray* arr, void* value, uint32_t index) {
    KTAssert(index <= arr->num, "Invalid index. Out of bounds");
    ktCArrayEnsureExtraCapacity(arr, 1);
    if (index < arr->num)
        std::memmove(arr->arr + index + 1, arr->arr + index, sizeof(void*) * (arr->num - index));
    arr->arr[index] = value;
    ++arr->num;
}

void ktCArrayAppendValueWithResize(ktCArray* arr, void* value) {
    arr->arr[arr->num++] = value;
    if (arr->num >= arr->max) ktCArrayDoubleCapacity(arr);
}

void ktCArrayRemoveAllValues(ktCArray* arr) {
    arr->num = 0;
}

void ktCArrayRemoveValueAtIndex(ktCArray* arr, uint32_t index) {
    KTAssert(index < arr->num, "Invalid index. Out of bounds");
    --arr->num;
    uint32_t remaining = arr->num - index;
    if (remaining > 0) std::memmove(arr->arr + index, arr->arr + index + 1, sizeof(void*) * remaining);
}

void ktCArrayRemoveValue(ktCArray* arr, void* value) {
    uint32_t index = ktCArrayGetIndexOfValue(arr, value);
    if (index != KT_INVALID_INDEX) ktCArrayRemoveValueAtIndex(arr, index);
}

}  // namespace kite
