#include "game/ZukanLayer.h"

#include <cstdio>

#include "chime/Chime.h"
#include "game/Bridge.h"
#include "game/CharaTable.h"
#include "game/GameGlobals.h"
#include "game/SaveDataKeys.h"
#include "kite/base/KTArray.h"
#include "kite/base/KTSet.h"
#include "kite/core/KTDirector.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/labels/KTLabelTTF.h"
#include "kite/layers/KTScrollLayer.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTEGLViewProtocol.h"
#include "kite/sprites/KTSprite.h"
#include "kite/touch/KTTouch.h"
#include "platform/base/Log.h"

using namespace kite;

namespace {

enum ArrowTag { kLeftArrow = 0, kRightArrow = 1 };

// A missing picture leaves an empty sprite in its place, so the page still opens.
KTSprite* makeSprite(const char* name) {
    if (KTSprite* sprite = KTSprite::create(name)) return sprite;
    plat::logError("catalogue: picture %s is missing", name);
    auto* empty = new KTSprite();
    empty->init();
    return ktAutorelease(empty);
}

void playButtonSound(const char* name) {
    if (GameGlobals::soundOn) Chime::AudioEngine::sharedEngine()->playEffect(name);
}

}  // namespace

void clearPageMoving(int) {
    GameGlobals::pageMoving = false;
}

ZukanLayer::ZukanLayer() = default;

ZukanLayer::~ZukanLayer() {
    KT_SAFE_RELEASE(arrowButtons);
    KT_SAFE_RELEASE(pageItems);
    KT_SAFE_RELEASE(spareArray);
}

ZukanLayer* ZukanLayer::create() {
    auto* layer = new ZukanLayer();
    if (layer->init()) return ktAutorelease(layer);
    delete layer;
    return nullptr;
}

KTScene* ZukanLayer::scene() {
    KTScene* scene = KTScene::create();
    if (!scene) return nullptr;
    if (ZukanLayer* layer = ZukanLayer::create()) scene->addChild(layer);
    return scene;
}

int ZukanLayer::pageCountFor(int count) {
    // Guard the subtraction too: a stored INT_MIN must not wrap.
    if (count <= 2) return 1;
    if (count - 1 > kMaxPages) return kMaxPages;
    return count - 1;
}

bool ZukanLayer::init() {
    if (!KTLayer::init()) return false;
    winSize = KTDirector::sharedDirector()->getOpenGLView()->getDesignResolutionSize();
    const float w = winSize.width;

    pages = KTArray::create();
    for (KTArray** array : {&arrowButtons, &pageItems, &spareArray}) {
        *array = new KTArray();
        (*array)->init();
    }

    setTouchEnabled(true);
    // Escape on the desktop is the back key: it closes the catalogue as the close button does.
    setKeypadEnabled(true);
    GameGlobals::pageMoving = false;
    fontName = "Arial";
    userDefault = KTUserDefaultStore::sharedUserDefaultStore();
    KTScrollLayer::setPageMoveDoneFunc(clearPageMoving);

    lockcount = SaveDataKeys::readClamped(userDefault, SaveDataKeys::kLockCount, SaveDataKeys::kMinLockCount,
                                          SaveDataKeys::kMinLockCount, SaveDataKeys::kMaxLockCount);
    const int pageCount = pageCountFor(lockcount);

    char name[32];
    std::snprintf(name, sizeof name, "bg%d.png", CharaTable::backgroundNumber(GameGlobals::level));
    background = makeSprite(name);
    background->setAnchorPoint(KTPoint(0, 0));
    background->setPosition(KTPoint(0, 0));
    addChild(background);

    // Covers the lowest 50 points, where the banner sits, and with them the page dots.
    if (KTLayerColor* strip = KTLayerColor::create(ktc4(0, 0, 0, 255), 320, 50)) {
        strip->setPosition(KTPoint(0, 0));
        strip->setAnchorPoint(KTPoint(0, 0));
        addChild(strip, 1);
    }

    const int completion =
        SaveDataKeys::readClamped(userDefault, SaveDataKeys::kComplete, SaveDataKeys::kMinComplete,
                                  SaveDataKeys::kMinComplete, SaveDataKeys::kMaxComplete) *
        10;
    for (int n = 1; n <= pageCount; ++n) pages->addObject(makePage(n, completion));

    scrollLayer = KTScrollLayer::create(pages, 0);
    if (!scrollLayer) return false;
    scrollLayer->setPagesIndicatorPosition(KTPoint(0, 0));
    scrollLayer->selectPage(0);
    addChild(scrollLayer);
    pages = nullptr;  // the scroll layer holds the pages now

    KTSprite* left = makeSprite("btn_left.png");
    left->setAnchorPoint(KTPoint(0, 0));
    left->setPosition(KTPoint(5, left->getContentSize().height + 20));
    left->setTag(kLeftArrow);
    addChild(left);
    arrowButtons->addObject(left);

    KTSprite* right = makeSprite("btn_right.png");
    right->setAnchorPoint(KTPoint(0, 0));
    right->setPosition(KTPoint(w - right->getContentSize().width - 5, right->getContentSize().height + 20));
    right->setTag(kRightArrow);
    addChild(right);
    arrowButtons->addObject(right);

    closeButton = makeSprite("btn_close.png");
    closeButton->setAnchorPoint(KTPoint(0.5f, 0));
    closeButton->setPosition(KTPoint(w / 2, closeButton->getContentSize().height + 10));
    addChild(closeButton);
    return true;
}

KTLayer* ZukanLayer::makePage(int n, int completion) {
    // A plain layer, not initialised: the scroll layer gives it its size and place.
    auto* page = ktAutorelease(new KTLayer());
    const float w = winSize.width, h = winSize.height;
    auto place = [&](KTNode* item, KTPoint anchor, KTPoint position) {
        item->setAnchorPoint(anchor);
        item->setPosition(position);
        page->addChild(item);
        pageItems->addObject(item);
    };
    auto label = [&](const char* text, float size) -> KTLabelTTF* {
        KTLabelTTF* item = KTLabelTTF::create(text, fontName, size);
        if (item)
            item->setColor(ktc3(0, 0, 0));
        else
            plat::logError("catalogue: label of page %d could not be made", n);
        return item;
    };

    place(makeSprite("popup_zukan.png"), KTPoint(0.5f, 0.5f), KTPoint(w / 2, h / 2 + 20));

    char name[32];
    std::snprintf(name, sizeof name, "zukan%d.png", n);
    KTSprite* picture = makeSprite(name);
    picture->setScale(0.9f);
    place(picture, KTPoint(0.5f, 0.5f), KTPoint(100, h / 2 + 50));

    if (KTLabelTTF* title = label(CharaTable::zukanName(n), 20))
        place(title, KTPoint(0.5f, 0.5f), KTPoint(w / 2, h / 2 + 170));

    for (int k = 0; k < 6; ++k)
        place(makeSprite("line_zukan.png"), KTPoint(0, 0), KTPoint(30, static_cast<float>(223 - 19 * k)));

    if (KTLabelTTF* caption = label(CharaTable::zukanCaption(n), 17)) {
        caption->setDimensions(KTSize(260, 0));
        caption->setHorizontalAlignment(kKTTextAlignmentLeft);
        place(caption, KTPoint(0, 1), KTPoint(30, h / 2 - 60));
    }
    if (KTLabelTTF* detail = label(CharaTable::zukanDetail1(n), 15))
        place(detail, KTPoint(0.5f, 0.5f), KTPoint(282, h / 2 + 130));
    if (KTLabelTTF* detail = label(CharaTable::zukanDetail2(n), 11))
        place(detail, KTPoint(1, 0.5f), KTPoint(285, h / 2 + 95));
    if (KTLabelTTF* detail = label(CharaTable::zukanDetail3(n), 13))
        place(detail, KTPoint(1, 0.5f), KTPoint(285, h / 2 + 60));
    if (KTLabelTTF* detail = label(CharaTable::zukanDetail4(n), 13))
        place(detail, KTPoint(1, 0.5f), KTPoint(285, h / 2 + 25));

    char number[16];
    std::snprintf(number, sizeof number, "%d", completion);
    if (KTLabelTTF* done = label(number, 15))
        place(done, KTPoint(0.5f, 0.5f), KTPoint(w / 2 + 110, h / 2 + 205));
    return page;
}

KTRect ZukanLayer::buttonRect(KTSprite* button) {
    const KTSize size = button->getContentSize();
    const KTPoint anchor = button->getAnchorPoint();
    return KTRect(button->getPositionX() - size.width * anchor.x + getPositionX(),
                  button->getPositionY() - size.height * anchor.y, size.width, size.height);
}

void ZukanLayer::touchesBegan(KTSet* touches, KTEvent*) {
    for (KTObject* obj : *touches) (void)convertTouchToNodeSpace(static_cast<KTTouch*>(obj));
}

void ZukanLayer::touchesEnded(KTSet* touches, KTEvent*) {
    for (KTObject* obj : *touches) {
        const KTPoint p = convertTouchToNodeSpace(static_cast<KTTouch*>(obj));

        for (KTObject* buttonObj : *arrowButtons) {
            auto* button = static_cast<KTSprite*>(buttonObj);
            if (GameGlobals::pageMoving || !buttonRect(button).containsPoint(p)) continue;
            scrollLayer->stepPage(button->getTag() == kLeftArrow);
            GameGlobals::pageMoving = true;
            playButtonSound("btn_touch.mp3");
        }

        if (buttonRect(closeButton).containsPoint(p)) {
            close();
            return;
        }
    }
}

void ZukanLayer::backKeyPressed() {
    close();
}

void ZukanLayer::close() {
    // Once popped, a second finger on the button or the back key in the same frame must not pop the play
    // field as well.
    if (closed) return;
    closed = true;
    interAdBridge();
    KTDirector::sharedDirector()->popScene();
    playButtonSound("close_btn_touch.mp3");
}
