#pragma once
// The catalogue: one page per level reached (the stored "lockcount" − 1 pages, at least 1 and at most
// 10) with the level's character picture, name and texts and the completion number, paged sideways in a
// scroll layer by swipes or by the two arrows, and a close button that asks for the popup ad and returns
// to the play field; the back key (Escape on the desktop) closes it the same way. Rebuilt from the store at
// every opening. Main thread only.
#include "kite/base/KTGeometry.h"
#include "kite/layers/KTLayer.h"

namespace kite {
class KTArray;
class KTEvent;
class KTScene;
class KTScrollLayer;
class KTSet;
class KTSprite;
class KTUserDefaultStore;
}  // namespace kite

// Ends the arrows' page-move guard (GameGlobals::pageMoving); the scroll layer calls it at the end of
// every page move. The page number is not used.
void clearPageMoving(int page);

class ZukanLayer : public kite::KTLayer {
  public:
    static constexpr int kMaxPages = 10;

    ZukanLayer();
    ~ZukanLayer() override;

    // Autoreleased; null when init fails.
    static ZukanLayer* create();
    // A new scene holding one new catalogue.
    static kite::KTScene* scene();
    // Pages shown for a stored "lockcount": lockcount − 1, kept within 1..10.
    static int pageCountFor(int lockcount);

    bool init() override;
    void touchesBegan(kite::KTSet* touches, kite::KTEvent* event) override;
    void touchesEnded(kite::KTSet* touches, kite::KTEvent* event) override;
    void backKeyPressed() override;

    kite::KTScrollLayer* getScrollLayer() const { return scrollLayer; }
    kite::KTArray* getArrowButtons() const { return arrowButtons; }
    kite::KTArray* getPageItems() const { return pageItems; }
    kite::KTSprite* getCloseButton() const { return closeButton; }
    int getLockcount() const { return lockcount; }

  protected:
    // A page layer for level n with its items (also appended to pageItems).
    kite::KTLayer* makePage(int n, int completion);
    // The button's rectangle in the layer, edges included.
    kite::KTRect buttonRect(kite::KTSprite* button);
    // Asks for the popup ad and returns to the play field, once.
    void close();

    kite::KTScrollLayer* scrollLayer = nullptr;
    kite::KTSize winSize;
    kite::KTArray* pages = nullptr;
    kite::KTArray* arrowButtons = nullptr;
    kite::KTArray* pageItems = nullptr;
    kite::KTArray* spareArray = nullptr;
    kite::KTSprite* background = nullptr;
    kite::KTSprite* closeButton = nullptr;
    kite::KTUserDefaultStore* userDefault = nullptr;
    int lockcount = 0;
    const char* fontName = nullptr;
    bool closed = false;
};
