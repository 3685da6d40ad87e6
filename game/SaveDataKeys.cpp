#include "game/SaveDataKeys.h"

#include <climits>

#include "kite/files/KTUserDefaultStore.h"
#include "platform/base/Log.h"

namespace SaveDataKeys {

const char* objectCreateTimerKey(int slot) {
    static constexpr const char* kKeys[10] = {
        "objectcreatetimerget0", "objectcreatetimerget1", "objectcreatetimerget2", "objectcreatetimerget3",
        "objectcreatetimerget4", "objectcreatetimerget5", "objectcreatetimerget6", "objectcreatetimerget7",
        "objectcreatetimerget8", "objectcreatetimerget9",
    };
    if (slot < 0 || slot >= 10) return nullptr;
    return kKeys[slot];
}

int readClamped(kite::KTUserDefaultStore* store, const char* key, int fallback, int lo, int hi) {
    const int value = store->getIntegerForKey(key, fallback);
    if (value >= lo && value <= hi) return value;
    const int clamped = value < lo ? lo : hi;
    plat::logWarning("game: stored %s = %d is outside %d..%d; using %d", key, value, lo, hi, clamped);
    return clamped;
}

int secondsBetween(int64_t later, int64_t earlier) {
    int64_t difference = 0;
    if (__builtin_sub_overflow(later, earlier, &difference)) return later < earlier ? INT_MIN : INT_MAX;
    if (difference > INT_MAX) return INT_MAX;
    if (difference < INT_MIN) return INT_MIN;
    return static_cast<int>(difference);
}

}  // namespace SaveDataKeys
