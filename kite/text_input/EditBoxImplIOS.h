#pragma once
// Bridges an engine edit box to a platform text field over the GL view: places and sizes the field,
// opens and closes its keyboard, and reports editing (begin, change, end, return) back to the edit box's
// delegate. Main thread only.
#include <memory>

#include "kite/base/KTGeometry.h"
#include "kite/text_input/CustomUITextField.h"
#include "kite/text_input/KTEditBox.h"

namespace kite {

class EditBoxImplIOS : public CustomUITextFieldDelegate, public std::enable_shared_from_this<EditBoxImplIOS> {
  public:
    // Null when no text field could be made.
    static std::shared_ptr<EditBoxImplIOS> initWithFrame(const KTRect& frame, KTEditBoxImpl* editBox);
    ~EditBoxImplIOS() override;

    void setPosition(const KTPoint& position);
    void setContentSize(const KTSize& size);
    void visit() {}
    void openKeyboard();
    void closeKeyboard();
    void doAnimationWhenKeyboardMoveWithDuration(float duration, float distance);
    void animationSelector();

    bool textFieldShouldReturn(CustomUITextField* field) override;
    bool textFieldShouldBeginEditing(CustomUITextField* field) override;
    bool textFieldShouldEndEditing(CustomUITextField* field) override;
    bool textFieldShouldChangeCharacters(CustomUITextField* field, size_t location, size_t length,
                                         const std::string& replacement) override;
    void textChanged();

    CustomUITextField* textField() const { return textField_.get(); }
    void setTextField(std::shared_ptr<CustomUITextField> field) { textField_ = std::move(field); }
    bool isEditState() const { return editState_; }
    KTEditBoxImpl* editBox() const { return editBox_; }
    void setEditBox(KTEditBoxImpl* editBox) { editBox_ = editBox; }

  private:
    EditBoxImplIOS() = default;

    std::shared_ptr<CustomUITextField> textField_;
    KTEditBoxImpl* editBox_ = nullptr;
    bool editState_ = false;
};

}  // namespace kite
