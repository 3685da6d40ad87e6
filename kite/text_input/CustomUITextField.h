#pragma once
// The platform text field an edit box puts over the GL view: its frame in view points, its text, its
// look, and first-responder state. Typing reaches it while it is first responder; its delegate decides
// about beginning and ending editing, each change and the return key. Main thread only.
#include <functional>
#include <string>

#include "kite/base/KTGeometry.h"
#include "kite/base/KTTypes.h"

namespace kite {

class CustomUITextField;

class CustomUITextFieldDelegate {
  public:
    virtual ~CustomUITextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(CustomUITextField* field) = 0;
    virtual bool textFieldShouldEndEditing(CustomUITextField* field) = 0;
    virtual bool textFieldShouldReturn(CustomUITextField* field) = 0;
    // Replacing `length` UTF-16 units at `location` with `replacement` (UTF-8).
    virtual bool textFieldShouldChangeCharacters(CustomUITextField* field, size_t location, size_t length,
                                                 const std::string& replacement) = 0;
};

class CustomUITextField {
  public:
    explicit CustomUITextField(const KTRect& frame) : frame_(frame) {}
    ~CustomUITextField();
    CustomUITextField(const CustomUITextField&) = delete;
    CustomUITextField& operator=(const CustomUITextField&) = delete;

    // The text area inside the bounds: inset on every side by the GL view's horizontal scale x 5 over
    // the shared view's content scale.
    KTRect textRectForBounds(const KTRect& bounds) const;
    KTRect editingRectForBounds(const KTRect& bounds) const { return textRectForBounds(bounds); }

    const KTRect& frame() const { return frame_; }
    void setFrame(const KTRect& frame) { frame_ = frame; }
    const std::string& text() const { return text_; }
    void setText(const std::string& text) { text_ = text; }
    // The text's length in UTF-16 units.
    size_t length() const;
    static size_t utf16Length(const std::string& utf8);

    void setDelegate(CustomUITextFieldDelegate* delegate) { delegate_ = delegate; }
    CustomUITextFieldDelegate* delegate() const { return delegate_; }
    // Runs after every change made by typing.
    void setEditingChangedAction(std::function<void()> action) { editingChanged_ = std::move(action); }

    bool becomeFirstResponder();
    bool resignFirstResponder();
    bool isFirstResponder() const { return firstResponder_; }
    void addToView();
    void removeFromSuperview();
    bool hasSuperview() const { return inSuperview_; }

    // Typing while first responder.
    void insertText(const std::string& text);
    void deleteBackward();
    void returnKey();

    _ccColor3B textColor{255, 255, 255};
    float fontSize = 0;
    int contentVerticalAlignment = 0;
    bool clearBackground = true;
    int borderStyle = 0;
    bool hidden = false;
    int returnKeyType = 0;

  private:
    KTRect frame_;
    std::string text_;
    CustomUITextFieldDelegate* delegate_ = nullptr;
    std::function<void()> editingChanged_;
    bool firstResponder_ = false;
    bool inSuperview_ = false;
};

}  // namespace kite
