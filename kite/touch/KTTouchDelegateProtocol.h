#pragma once
// The two touch interfaces: EGLTouchDelegate, through which the GL view hands over whole sets of touches
// (the touch dispatcher implements it), and KTTouchDelegate, the callbacks that receivers such as layers
// implement. A KTTouchDelegate must also be a KTObject: handlers retain it through that base.
#include "kite/base/KTSet.h"
#include "kite/touch/KTTouch.h"

namespace kite {

// The platform's event object; always null in this system.
class KTEvent;

class EGLTouchDelegate {
  public:
    virtual void touchesBegan(KTSet* touches, KTEvent* event) = 0;
    virtual void touchesMoved(KTSet* touches, KTEvent* event) = 0;
    virtual void touchesEnded(KTSet* touches, KTEvent* event) = 0;
    virtual void touchesCancelled(KTSet* touches, KTEvent* event) = 0;
    virtual ~EGLTouchDelegate() = default;
};

class KTTouchDelegate {
  public:
    virtual ~KTTouchDelegate() = default;

    // Single touches (targeted handlers). Returning true claims the touch: its moves and end follow.
    virtual bool touchBegan(KTTouch* touch, KTEvent* event) {
        (void)touch;
        (void)event;
        return false;
    }
    virtual void touchMoved(KTTouch* touch, KTEvent* event) {
        (void)touch;
        (void)event;
    }
    virtual void touchEnded(KTTouch* touch, KTEvent* event) {
        (void)touch;
        (void)event;
    }
    virtual void touchCancelled(KTTouch* touch, KTEvent* event) {
        (void)touch;
        (void)event;
    }

    // Whole sets (standard handlers).
    virtual void touchesBegan(KTSet* touches, KTEvent* event) {
        (void)touches;
        (void)event;
    }
    virtual void touchesMoved(KTSet* touches, KTEvent* event) {
        (void)touches;
        (void)event;
    }
    virtual void touchesEnded(KTSet* touches, KTEvent* event) {
        (void)touches;
        (void)event;
    }
    virtual void touchesCancelled(KTSet* touches, KTEvent* event) {
        (void)touches;
        (void)event;
    }
};

}  // namespace kite
