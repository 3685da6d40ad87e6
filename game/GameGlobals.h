#pragma once
// The game state that lives for the whole process and is shared by the play field, the catalogue and the
// application delegate. Main thread only.
#include <cstdint>
#include <optional>

namespace GameGlobals {

constexpr int kSlotCount = 10;

// Halves every spawn interval to 1 s and a level-up to 5 points; off in every build.
constexpr bool isDebugMode = false;

extern int level;                            // 1..10 once the play field is set up
extern float gametimer;                      // seconds, wrapped at 900
extern float objectcreatetimer[kSlotCount];  // per slot, seconds since the slot became free
extern float spawnInterval[kSlotCount];      // a slot spawns once its timer exceeds this
extern bool soundOn;                         // sound state handed to the catalogue
extern bool pageMoving;                      // the catalogue's page-move guard
extern int screenshotCount;                  // number of the next screenshot file
extern float blinkTimer;                     // evolution: seconds since the last toggle
extern bool blinkPhase;                      // evolution: the next toggle shows the new form
extern int blinkStage;                       // evolution: stage 0..4, 5 ends it
extern int blinkCount;                       // evolution: toggles done in this stage
extern float blinkInterval;                  // evolution: seconds between toggles
extern bool evolutionZSet;                   // evolution: z-orders already set
extern bool levelUpMoveStarted;              // the walk to the centre has started
// The play field has read the stored timers into gametimer and objectcreatetimer; until then the store
// holds the only true values, and leaving for the background must not write these over them.
extern bool playFieldSetUp;
// How many seconds the stored dates ("saveTime") run ahead of the clock (behind it, when negative), once
// this process has settled it (AppDelegate::nowSeconds); nothing before.
extern std::optional<int64_t> storedDatesAhead;

// Puts every value back to its start-of-process value (a fresh run in one process, e.g. tests).
void reset();

}  // namespace GameGlobals
