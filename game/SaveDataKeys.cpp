#include "game/SaveDataKeys.h"

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

}  // namespace SaveDataKeys
