#include "kite/text_input/CustomUITextField.h"

#include "kite/core/KTDirector.h"
#include "kite/platform/KTEGLViewProtocol.h"
#include "kite/platform/linux/EAGLView.h"
#include "kite/text_input/EAGLViewTextInput.h"

namespace kite {

CustomUITextField::~CustomUITextField() {
    EAGLViewTextInput::shared().removeSubview(this);
}

KTRect CustomUITextField::textRectForBounds(const KTRect& bounds) const {
    KTEGLViewProtocol* gl = KTDirector::sharedDirector()->getOpenGLView();
    auto view = EAGLView::sharedEGLView();
    const float scaleX = gl ? gl->getScaleX() : 1.0f;
    const float contentScale = view ? view->contentScaleFactor() : 1.0f;
    const float padding = scaleX * 5.0f / (contentScale > 0 ? contentScale : 1.0f);
    return KTRect(bounds.origin.x + padding, bounds.origin.y + padding, bounds.size.width - padding * 2,
                  bounds.size.height - padding * 2);
}

size_t CustomUITextField::utf16Length(const std::string& utf8) {
    size_t units = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) == 0x80) continue;
        units += c >= 0xF0 ? 2 : 1;
    }
    return units;
}

size_t CustomUITextField::length() const {
    return utf16Length(text_);
}

bool CustomUITextField::becomeFirstResponder() {
    if (firstResponder_) return true;
    if (delegate_ && !delegate_->textFieldShouldBeginEditing(this)) return false;
    firstResponder_ = true;
    return true;
}

bool CustomUITextField::resignFirstResponder() {
    if (!firstResponder_) return true;
    if (delegate_ && !delegate_->textFieldShouldEndEditing(this)) return false;
    firstResponder_ = false;
    return true;
}

void CustomUITextField::addToView() {
    inSuperview_ = true;
    EAGLViewTextInput::shared().addSubview(this);
}

void CustomUITextField::removeFromSuperview() {
    inSuperview_ = false;
    EAGLViewTextInput::shared().removeSubview(this);
}

void CustomUITextField::insertText(const std::string& text) {
    if (!firstResponder_ || text.empty()) return;
    if (delegate_ && !delegate_->textFieldShouldChangeCharacters(this, length(), 0, text)) return;
    text_ += text;
    if (editingChanged_) editingChanged_();
}

void CustomUITextField::deleteBackward() {
    if (!firstResponder_ || text_.empty()) return;
    size_t start = text_.size() - 1;
    while (start > 0 && (static_cast<unsigned char>(text_[start]) & 0xC0) == 0x80) --start;
    const size_t units = utf16Length(text_.substr(start));
    if (delegate_ && !delegate_->textFieldShouldChangeCharacters(this, length() - units, units, "")) return;
    text_.erase(start);
    if (editingChanged_) editingChanged_();
}

void CustomUITextField::returnKey() {
    if (firstResponder_ && delegate_) delegate_->textFieldShouldReturn(this);
}

}  // namespace kite
