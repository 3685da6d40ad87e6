#include "kite/text_input/EditBoxImplIOS.h"

#include "kite/text_input/EAGLViewTextInput.h"
#include "platform/runloop/RunLoop.h"

namespace kite {

std::shared_ptr<EditBoxImplIOS> EditBoxImplIOS::initWithFrame(const KTRect& frame, KTEditBoxImpl* editBox) {
    std::shared_ptr<EditBoxImplIOS> self(new EditBoxImplIOS());
    self->editState_ = false;
    self->textField_ = std::make_shared<CustomUITextField>(frame);
    if (!self->textField_) return nullptr;
    CustomUITextField& field = *self->textField_;
    field.textColor = _ccColor3B{255, 255, 255};
    field.fontSize = frame.size.height * 2 / 3;
    field.contentVerticalAlignment = 0;
    field.clearBackground = true;
    field.borderStyle = 0;
    field.setDelegate(self.get());
    field.hidden = true;
    field.returnKeyType = 0;
    std::weak_ptr<EditBoxImplIOS> weak = self;
    field.setEditingChangedAction([weak] {
        if (auto strong = weak.lock()) strong->textChanged();
    });
    self->editBox_ = editBox;
    return self;
}

EditBoxImplIOS::~EditBoxImplIOS() {
    if (!textField_) return;
    // Ending editing would call back into this object; it is going away, so the field just lets go.
    textField_->setDelegate(nullptr);
    textField_->resignFirstResponder();
    textField_->removeFromSuperview();
}

void EditBoxImplIOS::setPosition(const KTPoint& position) {
    KTRect frame = textField_->frame();
    frame.origin = position;
    textField_->setFrame(frame);
}

void EditBoxImplIOS::setContentSize(const KTSize& size) {
    KTRect frame = textField_->frame();
    frame.size = size;
    textField_->setFrame(frame);
}

void EditBoxImplIOS::openKeyboard() {
    textField_->addToView();
    textField_->becomeFirstResponder();
}

void EditBoxImplIOS::closeKeyboard() {
    textField_->resignFirstResponder();
    textField_->removeFromSuperview();
}

void EditBoxImplIOS::doAnimationWhenKeyboardMoveWithDuration(float duration, float distance) {
    EAGLViewTextInput::shared().doAnimationWhenKeyboardMoveWithDuration(duration, distance);
}

void EditBoxImplIOS::animationSelector() {
    EAGLViewTextInput::shared().doAnimationWhenAnotherEditBeClicked();
}

bool EditBoxImplIOS::textFieldShouldReturn(CustomUITextField* field) {
    if (field == textField_.get()) field->resignFirstResponder();
    return false;
}

bool EditBoxImplIOS::textFieldShouldBeginEditing(CustomUITextField*) {
    editState_ = true;
    if (EAGLViewTextInput::shared().isKeyboardShown()) {
        std::weak_ptr<EditBoxImplIOS> weak = weak_from_this();
        plat::RunLoop::main().post([weak] {
            if (auto strong = weak.lock()) strong->animationSelector();
        });
    }
    if (editBox_)
        if (KTEditBoxDelegate* delegate = editBox_->getDelegate())
            delegate->editBoxEditingDidBegin(editBox_->getCCEditBox());
    return true;
}

bool EditBoxImplIOS::textFieldShouldEndEditing(CustomUITextField*) {
    editState_ = false;
    if (!editBox_) return true;
    editBox_->refreshInactiveText(editBox_->getText());
    if (KTEditBoxDelegate* delegate = editBox_->getDelegate()) {
        delegate->editBoxEditingDidEnd(editBox_->getCCEditBox());
        delegate->editBoxReturn(editBox_->getCCEditBox());
    }
    editBox_->editBoxEditingDidEnd();
    return true;
}

bool EditBoxImplIOS::textFieldShouldChangeCharacters(CustomUITextField* field, size_t, size_t length,
                                                     const std::string& replacement) {
    if (!editBox_) return true;
    const int maxLength = editBox_->getMaxLength();
    if (maxLength < 0) return true;
    const size_t oldLength = field->length();
    const size_t newLength =
        oldLength - std::min(length, oldLength) + CustomUITextField::utf16Length(replacement);
    return newLength <= static_cast<size_t>(maxLength);
}

void EditBoxImplIOS::textChanged() {
    if (!editBox_) return;
    if (KTEditBoxDelegate* delegate = editBox_->getDelegate()) {
        const char* text = editBox_->getText();
        delegate->editBoxTextChanged(editBox_->getCCEditBox(), text ? text : "");
    }
}

}  // namespace kite
