#include "kite/layers/KTScrollLayer.h"

#include <cmath>

#include "kite/actions/KTActionInstant.h"
#include "kite/actions/KTActionInterval.h"
#include "kite/base/KTMacros.h"
#include "kite/base/KTSet.h"
#include "kite/core/KTDirector.h"
#include "kite/draw/KTDrawingPrimitives.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/touch/KTTouch.h"
#include "kite/touch/KTTouchDispatcher.h"
#include "kite/touch/KTTouchHandler.h"

namespace kite {

namespace {

KTScrollLayer::PageMoveDoneFunc g_pageMoveDoneFunc = nullptr;

constexpr int kScrollTouchPriority = -129;
constexpr float kPageMoveTime = 0.3f;
constexpr float kDotSpacing = 16;

float windowWidth() {
    return KTDirector::sharedDirector()->getWinSize().width;
}

}  // namespace

void KTScrollLayer::setPageMoveDoneFunc(PageMoveDoneFunc func) {
    g_pageMoveDoneFunc = func;
}

KTScrollLayer::PageMoveDoneFunc KTScrollLayer::getPageMoveDoneFunc() {
    return g_pageMoveDoneFunc;
}

KTScrollLayer::KTScrollLayer() = default;

KTScrollLayer::~KTScrollLayer() {
    KT_SAFE_RELEASE_NULL(layers);
    delegate = nullptr;
}

KTScrollLayer* KTScrollLayer::create(KTArray* pages, int widthOffset) {
    auto* layer = new KTScrollLayer();
    if (layer->initWithLayers(pages, widthOffset)) return ktAutorelease(layer);
    delete layer;
    return nullptr;
}

bool KTScrollLayer::initWithLayers(KTArray* pages, int widthOffset) {
    if (!KTLayer::init()) return false;
    KTAssert(pages && pages->count(), "layers && layers->count()");

    setTouchEnabled(true);
    hitBlocked = false;
    stealTouches = true;
    minimumTouchLengthToSlide = 30;
    minimumTouchLengthToChangePage = 100;
    marginOffset = windowWidth();
    showPagesIndicator = true;
    const KTSize& size = getContentSize();
    pagesIndicatorPosition = KTPoint(size.width * 0.5f, std::ceil(size.height / 8));
    currentScreen = 0;
    pagesWidthOffset = static_cast<float>(widthOffset);

    // Our own array and our own references: the caller keeps whatever it held.
    auto* own = new KTArray();
    own->initWithCapacity(pages->count());
    own->addObjectsFromArray(pages);
    KT_SAFE_RELEASE(layers);
    layers = own;

    layoutPages();
    return true;
}

void KTScrollLayer::layoutPages() {
    const KTSize window = KTDirector::sharedDirector()->getWinSize();
    const float pitch = pagePitch();
    int i = 0;
    for (KTObject* obj : *layers) {
        auto* page = static_cast<KTNode*>(obj);
        page->setAnchorPoint(KTPoint(0, 0));
        page->setContentSize(window);
        page->setPosition(KTPoint(static_cast<float>(i) * pitch, 0));
        if (!page->getParent()) addChild(page);
        ++i;
    }
    dots_.resize(layers->count());
}

int KTScrollLayer::pageCount() const {
    return layers ? static_cast<int>(layers->count()) : 0;
}

float KTScrollLayer::pagePitch() {
    return getContentSize().width - pagesWidthOffset;
}

KTPoint KTScrollLayer::positionOfPage(int page) {
    return KTPoint(-static_cast<float>(page) * pagePitch(), 0);
}

int KTScrollLayer::pageIndexAtPosition(const KTPoint& position) {
    const float f = -position.x / pagePitch();
    float p = std::ceil(f);
    if (p - f >= 0.5f) p -= 1;
    const int last = pageCount() - 1;
    if (!(p >= 0)) return 0;  // also a pitch of 0 (NaN)
    if (p > static_cast<float>(last)) return last < 0 ? 0 : last;
    return static_cast<int>(p);
}

void KTScrollLayer::moveToPage(int page) {
    if (page < 0 || page >= pageCount()) return;
    // Moves add up on a node, so a page move still running would carry the pages past the new page:
    // it gives way to the new one, whose end is then the one reported. Page moves are the only actions
    // this layer runs.
    stopAllActions();
    KTFiniteTimeAction* move = KTMoveTo::create(kPageMoveTime, positionOfPage(page));
    KTFiniteTimeAction* done = KTCallFunc::create(this, callfunc_selector(KTScrollLayer::onPageMoveDone));
    runAction(KTSequence::createWithTwoActions(move, done));
    currentScreen = page;
}

void KTScrollLayer::onPageMoveDone() {
    if (delegate) delegate->onPageChanged(this, currentScreen);
    if (g_pageMoveDoneFunc) g_pageMoveDoneFunc(currentScreen);
}

void KTScrollLayer::selectPage(int page) {
    if (page < 0 || page >= pageCount()) return;
    setPosition(positionOfPage(page));
    currentScreen = page;
}

void KTScrollLayer::stepPage(bool previous) {
    if (hitBlocked) return;
    int page = pageIndexAtPosition(getPosition());
    if (page == currentScreen) page = previous ? page - 1 : page + 1;
    moveToPage(page);
}

void KTScrollLayer::registerWithTouchDispatcher() {
    if (KTTouchDispatcher* dispatcher = KTDirector::sharedDirector()->getTouchDispatcher())
        dispatcher->addTargetedDelegate(this, kScrollTouchPriority, false);
}

bool KTScrollLayer::touchBegan(KTTouch* touch, KTEvent*) {
    if (hitBlocked || scrollTouch) return false;
    scrollTouch = touch;
    startSwipe = touch->getLocation().x;
    state = kStateIdle;
    return true;
}

void KTScrollLayer::touchMoved(KTTouch* touch, KTEvent* event) {
    if (touch != scrollTouch) return;
    const float x = touch->getLocation().x;

    if (state != kStateSliding && std::fabs(x - startSwipe) >= minimumTouchLengthToSlide) {
        state = kStateSliding;
        startSwipe = x;
        if (stealTouches) stealTouch(touch, event);
        if (delegate) delegate->onScrollStarted(this);
    }
    if (state != kStateSliding) return;

    const float desired = -static_cast<float>(currentScreen) * pagePitch() + (x - startSwipe);
    const int page = pageIndexAtPosition(KTPoint(desired, 0));
    float offset = desired - positionOfPage(page).x;
    if ((page == 0 && offset > 0) || (page == pageCount() - 1 && offset < 0)) {
        const float width = windowWidth();
        offset = width > 0 ? offset - marginOffset * (offset / width) : 0;
    } else {
        offset = 0;
    }
    setPosition(KTPoint(desired - offset, 0));
}

void KTScrollLayer::touchEnded(KTTouch* touch, KTEvent*) {
    if (touch != scrollTouch) return;
    scrollTouch = nullptr;
    state = kStateIdle;
    const float delta = touch->getLocation().x - startSwipe;
    int page = currentScreen;
    if (std::fabs(delta) >= minimumTouchLengthToChangePage) {
        page = pageIndexAtPosition(getPosition());
        if (page == currentScreen) {
            if (delta < 0 && page < pageCount() - 1)
                ++page;
            else if (delta > 0 && page > 0)
                --page;
        }
    }
    // Also when the page is unchanged: the pages glide back and the end is reported.
    moveToPage(page);
}

void KTScrollLayer::touchCancelled(KTTouch* touch, KTEvent*) {
    if (stealingTouchInProgress || touch != scrollTouch) return;
    scrollTouch = nullptr;
    state = kStateIdle;
    selectPage(currentScreen);
}

void KTScrollLayer::stealTouch(KTTouch* touch, KTEvent* event) {
    KTTouchDispatcher* dispatcher = KTDirector::sharedDirector()->getTouchDispatcher();
    if (!dispatcher) return;
    KTSet* set = KTSet::create();
    set->addObject(touch);
    stealingTouchInProgress = true;
    dispatcher->touchesCancelled(set, event);
    stealingTouchInProgress = false;
    claimTouch(touch);
}

void KTScrollLayer::claimTouch(KTTouch* touch) {
    KTTouchDispatcher* dispatcher = KTDirector::sharedDirector()->getTouchDispatcher();
    if (!dispatcher) return;
    auto* handler = dynamic_cast<KTTargetedTouchHandler*>(dispatcher->findHandler(this));
    if (handler && !handler->getClaimedTouches()->containsObject(touch))
        handler->getClaimedTouches()->addObject(touch);
}

KTPoint KTScrollLayer::dotPosition(const KTPoint& centre, int index, int count) {
    return KTPoint(
        centre.x + kDotSpacing * (static_cast<float>(index) - static_cast<float>(count - 1) * 0.5f),
        centre.y);
}

void KTScrollLayer::visit() {
    KTNode::visit();
    if (!showPagesIndicator || !isVisible() || dots_.empty()) return;

    const int count = static_cast<int>(dots_.size());
    for (int i = 0; i < count; ++i) dots_[i] = dotPosition(pagesIndicatorPosition, i, count);

    const GLboolean blendWasOn = glIsEnabled(GL_BLEND);
    glEnable(GL_BLEND);
    ktGLBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ktPointSize(6);
    ktDrawColor4B(150, 150, 150, 255);
    ktDrawPoints(dots_.data(), static_cast<unsigned int>(count));
    if (currentScreen >= 0 && currentScreen < count) {
        ktDrawColor4B(255, 255, 255, 255);
        ktDrawPoint(dots_[currentScreen]);
    }
    ktPointSize(1);
    if (!blendWasOn) glDisable(GL_BLEND);
}

}  // namespace kite
