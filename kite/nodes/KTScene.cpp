#include "kite/nodes/KTScene.h"

#include "kite/core/KTDirector.h"

namespace kite {

KTScene::KTScene() {
    m_bIgnoreAnchorPointForPosition = true;
    setAnchorPoint(KTPoint(0.5f, 0.5f));
}

KTScene::~KTScene() = default;

KTScene* KTScene::create() {
    auto* scene = new KTScene();
    if (scene->init()) return ktAutorelease(scene);
    scene->release();
    return nullptr;
}

bool KTScene::init() {
    KTDirector* director = KTDirector::sharedDirector();
    if (!director) return false;
    setContentSize(director->getWinSize());
    return true;
}

}  // namespace kite
