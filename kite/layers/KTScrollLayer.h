#pragma once
// A horizontal pager: page layers side by side that follow a one-finger drag, settle on a page with a
// 0.3 s move when the finger lifts, can be stepped from outside, and show a row of dots for the current
// page. The layer takes touches ahead of the usual targeted handlers (priority -129) without swallowing
// them, and once a drag slides the pages it cancels the touch for everyone else. Main thread only.
#include <vector>

#include "kite/base/KTArray.h"
#include "kite/base/KTGeometry.h"
#include "kite/layers/KTLayer.h"

namespace kite {

class KTScrollLayer;

// Optional listener of a scroll layer; not retained by it.
class KTScrollLayerDelegate {
  public:
    virtual ~KTScrollLayerDelegate() = default;
    // A drag has passed the slide threshold.
    virtual void onScrollStarted(KTScrollLayer* sender) { (void)sender; }
    // A page move has ended on `page`.
    virtual void onPageChanged(KTScrollLayer* sender, int page) {
        (void)sender;
        (void)page;
    }
};

class KTScrollLayer : public KTLayer {
  public:
    // Process-wide function told about the end of every page move, after the delegate (the catalogue
    // installs its page-move guard here).
    using PageMoveDoneFunc = void (*)(int page);
    static void setPageMoveDoneFunc(PageMoveDoneFunc func);
    static PageMoveDoneFunc getPageMoveDoneFunc();

    KTScrollLayer();
    ~KTScrollLayer() override;

    // Autoreleased; null when init fails.
    static KTScrollLayer* create(KTArray* layers, int widthOffset);

    void visit() override;
    bool touchBegan(KTTouch* touch, KTEvent* event) override;
    void touchMoved(KTTouch* touch, KTEvent* event) override;
    void touchEnded(KTTouch* touch, KTEvent* event) override;
    void touchCancelled(KTTouch* touch, KTEvent* event) override;
    void registerWithTouchDispatcher() override;

    virtual KTScrollLayerDelegate* getDelegate() { return delegate; }
    virtual void setDelegate(KTScrollLayerDelegate* value) { delegate = value; }
    virtual float getMinimumTouchLengthToSlide() { return minimumTouchLengthToSlide; }
    virtual void setMinimumTouchLengthToSlide(float value) { minimumTouchLengthToSlide = value; }
    virtual float getMinimumTouchLengthToChangePage() { return minimumTouchLengthToChangePage; }
    virtual void setMinimumTouchLengthToChangePage(float value) { minimumTouchLengthToChangePage = value; }
    virtual bool isStealTouches() { return stealTouches; }
    virtual void setStealTouches(bool value) { stealTouches = value; }
    virtual bool isShowPagesIndicator() { return showPagesIndicator; }
    virtual void setShowPagesIndicator(bool value) { showPagesIndicator = value; }
    virtual const KTPoint& getPagesIndicatorPosition() { return pagesIndicatorPosition; }
    virtual void setPagesIndicatorPosition(const KTPoint& value) { pagesIndicatorPosition = value; }
    virtual float getPagesWidthOffset() { return pagesWidthOffset; }
    virtual void setPagesWidthOffset(float value) { pagesWidthOffset = value; }
    virtual float getMarginOffset() { return marginOffset; }
    virtual void setMarginOffset(float value) { marginOffset = value; }
    virtual KTArray* getPages() { return layers; }

    // Lays the layers out side by side and becomes their parent. The layer keeps its own references to
    // the pages; the caller's array is left as it was. `layers` must hold at least one layer.
    bool initWithLayers(KTArray* layers, int widthOffset);

    int pageCount() const;
    int getCurrentScreen() const { return currentScreen; }
    // Animated move (0.3 s) that replaces a page move still running; the end is reported to the
    // delegate and the page-move function. Pages outside 0..count-1 are ignored.
    void moveToPage(int page);
    // Immediate jump, no report. Pages outside 0..count-1 are ignored.
    void selectPage(int page);
    // One page back or forward from the page the layer stands nearest to.
    void stepPage(bool previous);
    KTPoint positionOfPage(int page);
    // The page nearest to a layer position (a half goes to the lower page), within 0..count-1.
    int pageIndexAtPosition(const KTPoint& position);

    // Dot centres of the page indicator for `count` pages, 16 points apart around the position.
    static KTPoint dotPosition(const KTPoint& centre, int index, int count);

  protected:
    void layoutPages();
    void onPageMoveDone();
    // Cancels the touch for every other handler, then makes sure this layer keeps receiving it.
    void stealTouch(KTTouch* touch, KTEvent* event);
    void claimTouch(KTTouch* touch);
    float pagePitch();

    enum { kStateIdle = 0, kStateSliding = 1 };

    KTScrollLayerDelegate* delegate = nullptr;
    float minimumTouchLengthToSlide = 0;
    float minimumTouchLengthToChangePage = 0;
    bool stealTouches = false;
    bool showPagesIndicator = false;
    KTPoint pagesIndicatorPosition;
    int currentScreen = 0;
    float pagesWidthOffset = 0;
    float marginOffset = 0;
    KTArray* layers = nullptr;
    float startSwipe = 0;
    int state = kStateIdle;
    bool stealingTouchInProgress = false;
    KTTouch* scrollTouch = nullptr;
    bool hitBlocked = false;

  private:
    // Filled when the pages are laid out so drawing the dots allocates nothing.
    std::vector<KTPoint> dots_;
};

}  // namespace kite
