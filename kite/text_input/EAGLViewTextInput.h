#pragma once
// The GL surface view's side as a text-input responder: typed text, deletions and input-method
// composition go to the IME dispatcher, and the keyboard's show/hide notifications are turned into
// design coordinates and broadcast through it. It also keeps the platform text fields placed over the
// view by edit boxes. One responder serves the shared EAGLView. Main thread only.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kite/base/KTGeometry.h"
#include "platform/base/Lasting.h"
#include "platform/runloop/NotificationCenter.h"

namespace kite {

class EAGLView;
class CustomUITextField;

// The keyboard notifications and what they carry: the keyboard's frame at the start and the end of its
// animation in the view's points, and the animation's length.
inline constexpr const char* kKeyboardWillShowNotification = "KeyboardWillShowNotification";
inline constexpr const char* kKeyboardDidShowNotification = "KeyboardDidShowNotification";
inline constexpr const char* kKeyboardWillHideNotification = "KeyboardWillHideNotification";
inline constexpr const char* kKeyboardDidHideNotification = "KeyboardDidHideNotification";

struct KeyboardNotificationUserInfo {
    KTRect frameBegin;
    KTRect frameEnd;
    double animationDuration = 0;
};

class EAGLViewTextInput {
  public:
    // The simulated soft keyboard: a 216-point panel sliding up from the bottom in 0.25 s.
    static constexpr float kKeyboardHeight = 216;
    static constexpr double kKeyboardAnimationDuration = 0.25;
    // The platform's small system font size, kept between the caret and the keyboard.
    static constexpr float kSmallSystemFontSize = 12;

    static EAGLViewTextInput& shared();

    // Serves `view` from now on (its frame becomes the original rectangle); does nothing for the same view.
    void attach(const std::shared_ptr<EAGLView>& view);
    // Forgets the view, its keyboard state, text fields and observers; the next attach starts afresh, even
    // with a new view at the old one's address.
    void detach();
    std::shared_ptr<EAGLView> view() const { return view_.lock(); }

    bool canBecomeFirstResponder();
    void insertText(const std::string& text);
    void deleteBackward();
    void setMarkedText(const std::string& text);
    void unmarkText();
    const std::optional<std::string>& markedText() const { return markedText_; }
    bool hasText() const { return false; }
    int autocapitalizationType() const { return 0; }
    std::string textInRange() const { return ""; }
    int baseWritingDirection() const { return -1; }
    KTRect firstRectForRange() const { return KTRect(); }
    KTRect caretRectForPosition() const { return caretRect_; }
    int comparePosition() const { return 0; }
    int offsetFromPosition() const { return 0; }

    // Observes the four keyboard notifications (once, however often the view moves to a window).
    void didMoveToWindow();
    void onUIKeyboardNotification(const plat::Notification& notification);
    void doAnimationWhenKeyboardMoveWithDuration(float duration, float distance);
    void doAnimationWhenAnotherEditBeClicked();

    // Posts the simulated keyboard's will/did notifications (nothing when it already is in that state).
    void showKeyboard();
    void hideKeyboard();
    bool isKeyboardUp() const { return keyboardUp_; }

    bool isKeyboardShown() const { return isKeyboardShown_; }
    const KTRect& caretRect() const { return caretRect_; }
    const KTRect& originalRect() const { return originalRect_; }
    // Where the last view-move animation takes the view (the original frame until one ran).
    const KTRect& animatedFrame() const { return animatedFrame_; }
    bool hasKeyboardShowNotification() const { return keyboardShowNotification_.has_value(); }

    // Text fields placed over the view, in the order they were added.
    void addSubview(CustomUITextField* field);
    void removeSubview(CustomUITextField* field);
    // The first text field that is first responder, or null.
    CustomUITextField* firstResponderTextField() const;
    // While the keyboard is shown a touch only closes the focused text field's keyboard.
    void handleTouchesAfterKeyboardShow();

  private:
    friend class plat::Lasting<EAGLViewTextInput>;
    EAGLViewTextInput() = default;
    void setKeyboardShown(bool shown);

    std::weak_ptr<EAGLView> view_;
    const EAGLView* attached_ = nullptr;
    std::optional<std::string> markedText_;
    KTRect caretRect_;
    bool isKeyboardShown_ = false;
    std::optional<plat::Notification> keyboardShowNotification_;
    KTRect originalRect_;
    KTRect animatedFrame_;
    bool keyboardUp_ = false;
    std::vector<plat::NotificationCenter::Token> observers_;
    std::vector<CustomUITextField*> subviews_;
};

}  // namespace kite
