#pragma once
// Engine-side receivers of keyboard text. Every delegate is listed with the IME dispatcher for as long as
// it exists; the one attached with the IME also gets the typed text.
#include "kite/base/KTGeometry.h"

namespace kite {

struct KeyboardNotificationInfo {
    KTRect begin;  // design points
    KTRect end;
    float duration = 0;
};

class KTIMEDelegate {
  public:
    virtual ~KTIMEDelegate();

    // Becomes the delegate that has the keyboard and opens the platform keyboard; false when refused.
    virtual bool attachWithIME();
    // Gives the keyboard up (and closes it) when this delegate has it.
    virtual bool detachWithIME();

  protected:
    friend class KTIMEDispatcher;

    KTIMEDelegate();

    virtual bool canAttachWithIME() { return true; }
    virtual void didAttachWithIME() {}
    virtual bool canDetachWithIME() { return true; }
    virtual void didDetachWithIME() {}

    // Text as UTF-8 bytes; `length` in bytes.
    virtual void insertText(const char* text, int length) {
        (void)text;
        (void)length;
    }
    virtual void deleteBackward() {}
    virtual void keyboardWillShow(KeyboardNotificationInfo& info) { (void)info; }
    virtual void keyboardDidShow(KeyboardNotificationInfo& info) { (void)info; }
    virtual void keyboardWillHide(KeyboardNotificationInfo& info) { (void)info; }
    virtual void keyboardDidHide(KeyboardNotificationInfo& info) { (void)info; }
};

}  // namespace kite
