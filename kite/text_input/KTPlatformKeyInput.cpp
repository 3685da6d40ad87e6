#include "kite/text_input/KTPlatformKeyInput.h"

#include "kite/core/KTDirector.h"
#include "kite/keypad/KTKeypadDispatcher.h"
#include "kite/platform/linux/EAGLView.h"
#include "kite/text_input/CustomUITextField.h"
#include "kite/text_input/EAGLViewTextInput.h"
#include "platform/base/Lasting.h"

namespace kite {

KTPlatformKeyInput* KTPlatformKeyInput::sharedKeyInput() {
    static plat::Lasting<KTPlatformKeyInput> instance;
    return &*instance;
}

void KTPlatformKeyInput::update(float) {
    auto view = EAGLView::sharedEGLView();
    if (!view) return;
    EAGLViewTextInput& input = EAGLViewTextInput::shared();
    input.attach(view);

    CustomUITextField* field = input.firstResponderTextField();
    if (view->isFirstResponder() || field)
        input.showKeyboard();
    else
        input.hideKeyboard();

    for (const EAGLKeyInput& key : view->takeKeyInput()) {
        if (!key.down) continue;
        if (key.keysym == kKeyEscape || key.keysym == kKeyMenu) {
            if (KTKeypadDispatcher* keypad = KTDirector::sharedDirector()->getKeypadDispatcher())
                keypad->dispatchKeypadMSG(key.keysym == kKeyEscape ? kTypeBackClicked : kTypeMenuClicked);
            continue;
        }
        // A key may have moved the focus.
        field = input.firstResponderTextField();
        const bool toView = !field && view->isFirstResponder();
        if (!field && !toView) continue;
        if (key.keysym == kKeyBackSpace) {
            if (field)
                field->deleteBackward();
            else
                input.deleteBackward();
        } else if (key.keysym == kKeyReturn || key.keysym == kKeyKeypadEnter) {
            if (field)
                field->returnKey();
            else
                input.insertText("\n");
        } else if (!key.text.empty() && static_cast<unsigned char>(key.text[0]) >= 0x20 &&
                   key.text != "\x7f") {
            if (field)
                field->insertText(key.text);
            else
                input.insertText(key.text);
        }
    }
}

}  // namespace kite
