#pragma once
// The keys under which the game keeps its progress in the settings store (KTUserDefaultStore).
#include <cstdint>

namespace kite {
class KTUserDefaultStore;
}

namespace SaveDataKeys {

constexpr const char* kMyPoints = "mypoints";                          // integer
constexpr const char* kObjectCount = "objectcount";                    // integer, characters on the field
constexpr const char* kMyObjectLevel = "myobjectlevel";                // integer, level 1..10
constexpr const char* kObjectSpriteAndSound = "objectspriteandsound";  // integer, player's form 1..10
constexpr const char* kBackSpriteId = "backspriteid";                  // integer, row of the background
constexpr const char* kSoundId = "soundid";                            // integer, row of the music
constexpr const char* kBackType = "backtype";                          // integer, 1..4
constexpr const char* kGageLevel = "ShimerikeGageLevel";               // float, gauge percentage
constexpr const char* kFirstGame = "firstgame";                        // boolean
constexpr const char* kSaveTime = "saveTime";                          // integer, seconds since 1970
constexpr const char* kPassageTime = "passagetime";                    // integer, seconds away
constexpr const char* kGameTimer = "gametimer";                        // float, seconds
constexpr const char* kEndGame = "endgame";                            // boolean
constexpr const char* kLockCount = "lockcount";                        // integer, catalogue pages open
constexpr const char* kComplete = "Complete";                          // integer
constexpr const char* kBackground = "background";                      // boolean, written only

// "objectcreatetimerget%d" for slot 0..9 (float, the slot's spawn timer); null outside 0..9.
const char* objectCreateTimerKey(int slot);

// Ranges of the stored counters. A store edited by hand or written by a damaged build may hold
// anything; values are clamped as they are read, so no sum or product of them can overflow.
constexpr int kMaxPoints = 1000000000;                // mypoints
constexpr int kMinLockCount = 2, kMaxLockCount = 11;  // two pages' worth at the start, +1 per level-up
constexpr int kMinComplete = 1, kMaxComplete = 10;
constexpr int kMinBackType = 1, kMaxBackType = 4;

// The integer stored under `key` (`fallback` when there is none), clamped to lo..hi with a warning
// when it was outside.
int readClamped(kite::KTUserDefaultStore* store, const char* key, int fallback, int lo, int hi);

// later - earlier in whole seconds, worked out in 64 bits and saturated to the int range.
int secondsBetween(int64_t later, int64_t earlier);

}  // namespace SaveDataKeys
