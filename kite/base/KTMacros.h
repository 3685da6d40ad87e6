#pragma once
// Small helpers shared by every engine file: consistency checks and null-safe reference counting.
#include "platform/base/Assert.h"

// Stops the program with function, file, line and condition when an engine invariant is broken.
#define KTAssert(cond, msg) PLAT_ASSERT(cond, msg)

#define KT_SAFE_DELETE(p) \
    do {                  \
        delete (p);       \
        (p) = nullptr;    \
    } while (0)

#define KT_SAFE_RELEASE(p)     \
    do {                       \
        if (p) (p)->release(); \
    } while (0)

#define KT_SAFE_RELEASE_NULL(p) \
    do {                        \
        if (p) {                \
            (p)->release();     \
            (p) = nullptr;      \
        }                       \
    } while (0)

#define KT_SAFE_RETAIN(p)     \
    do {                      \
        if (p) (p)->retain(); \
    } while (0)
