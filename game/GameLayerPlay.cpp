// Taps, attack and absorb, level-up and evolution, buttons and the screenshot.
#include "game/GameLayer.h"
#include "kite/sprites/KTSprite.h"

using namespace kite;

void GameLayer::touchesBegan(KTSet*, KTEvent*) {}

void GameLayer::touchesMoved(KTSet*, KTEvent*) {}

void GameLayer::touchesEnded(KTSet*, KTEvent*) {}

KTRect GameLayer::touchRectOf(KTSprite* sprite) {
    const KTSize size = sprite->getContentSize();
    const KTPoint anchor = sprite->getAnchorPoint();
    return KTRect(sprite->getPositionX() - size.width * anchor.x,
                  sprite->getPositionY() - size.height * anchor.y, size.width, size.height);
}

void GameLayer::showIdleTexture(float) {
    playerChasing = false;
    if (KTTexture2D* rest = texture(kPlayerRest)) playerSprite->setTexture(rest);
}

bool GameLayer::contactStep() {
    return false;
}

void GameLayer::startLevelUpMove() {}

void GameLayer::onEvolutionMoveDone() {}

void GameLayer::evolutionStep(float) {}

void GameLayer::saveScreenshot(bool, int) {}
