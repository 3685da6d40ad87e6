#include "game/GameGlobals.h"

namespace GameGlobals {
namespace {
constexpr float kSpawnIntervals[kSlotCount] = {30, 30, 40, 40, 50, 50, 60, 60, 70, 80};
}

int level = 0;
float gametimer = 0;
float objectcreatetimer[kSlotCount] = {};
float spawnInterval[kSlotCount] = {30, 30, 40, 40, 50, 50, 60, 60, 70, 80};
bool soundOn = false;
bool pageMoving = false;
int screenshotCount = 0;
float blinkTimer = 0;
bool blinkPhase = false;
int blinkStage = 0;
int blinkCount = 0;
float blinkInterval = 0;
bool evolutionZSet = false;
bool levelUpMoveStarted = false;
bool playFieldSetUp = false;
std::optional<int64_t> storedDatesAhead;

void reset() {
    level = 0;
    gametimer = 0;
    for (int i = 0; i < kSlotCount; ++i) {
        objectcreatetimer[i] = 0;
        spawnInterval[i] = kSpawnIntervals[i];
    }
    soundOn = false;
    pageMoving = false;
    screenshotCount = 0;
    blinkTimer = 0;
    blinkPhase = false;
    blinkStage = 0;
    blinkCount = 0;
    blinkInterval = 0;
    evolutionZSet = false;
    levelUpMoveStarted = false;
    playFieldSetUp = false;
    storedDatesAhead.reset();
}

}  // namespace GameGlobals
