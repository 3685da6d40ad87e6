#include "kite/text_input/EAGLViewTextInput.h"

#include <algorithm>
#include <cmath>

#include "kite/core/KTDirector.h"
#include "kite/platform/KTEGLViewProtocol.h"
#include "kite/platform/linux/EAGLView.h"
#include "kite/text_input/CustomUITextField.h"
#include "kite/text_input/KTIMEDispatcher.h"
#include "kite/text_input/KTStatusBarOrientation.h"
#include "platform/base/Lasting.h"
#include "platform/runloop/RunLoop.h"

namespace kite {

namespace {
KTEGLViewProtocol* glView() {
    return KTDirector::sharedDirector()->getOpenGLView();
}
}  // namespace

EAGLViewTextInput& EAGLViewTextInput::shared() {
    // Text fields and observers may still reach it at process exit.
    static plat::Lasting<EAGLViewTextInput> instance;
    return *instance;
}

void EAGLViewTextInput::attach(const std::shared_ptr<EAGLView>& view) {
    if (!view || view.get() == attached_) return;
    view_ = view;
    attached_ = view.get();
    originalRect_ = animatedFrame_ = view->frame();
    markedText_.reset();
    keyboardShowNotification_.reset();
    caretRect_ = KTRect();
    isKeyboardShown_ = keyboardUp_ = false;
    view->setTextFieldResigner([] { EAGLViewTextInput::shared().handleTouchesAfterKeyboardShow(); });
    didMoveToWindow();
}

bool EAGLViewTextInput::canBecomeFirstResponder() {
    markedText_.reset();
    auto view = view_.lock();
    return view && !view->isUseUITextField();
}

void EAGLViewTextInput::insertText(const std::string& text) {
    markedText_.reset();
    KTIMEDispatcher::sharedDispatcher()->dispatchInsertText(text.c_str(), static_cast<int>(text.size()));
}

void EAGLViewTextInput::deleteBackward() {
    markedText_.reset();
    KTIMEDispatcher::sharedDispatcher()->dispatchDeleteBackward();
}

void EAGLViewTextInput::setMarkedText(const std::string& text) {
    if (markedText_ && *markedText_ == text) return;
    markedText_ = text;
}

void EAGLViewTextInput::unmarkText() {
    if (!markedText_) return;
    const std::string text = std::move(*markedText_);
    markedText_.reset();
    KTIMEDispatcher::sharedDispatcher()->dispatchInsertText(text.c_str(), static_cast<int>(text.size()));
}

void EAGLViewTextInput::detach() {
    auto& center = plat::NotificationCenter::defaultCenter();
    for (auto token : observers_) center.removeObserver(token);
    observers_.clear();
    view_.reset();
    attached_ = nullptr;
    markedText_.reset();
    keyboardShowNotification_.reset();
    caretRect_ = originalRect_ = animatedFrame_ = KTRect();
    isKeyboardShown_ = keyboardUp_ = false;
    subviews_.clear();
}

void EAGLViewTextInput::didMoveToWindow() {
    // Observing twice would deliver every keyboard notification twice.
    auto& center = plat::NotificationCenter::defaultCenter();
    for (auto token : observers_) center.removeObserver(token);
    observers_.clear();
    for (const char* name : {kKeyboardWillShowNotification, kKeyboardDidShowNotification,
                             kKeyboardWillHideNotification, kKeyboardDidHideNotification})
        observers_.push_back(center.addObserver(name, [](const plat::Notification& n) {
            EAGLViewTextInput::shared().onUIKeyboardNotification(n);
        }));
}

void EAGLViewTextInput::setKeyboardShown(bool shown) {
    isKeyboardShown_ = shown;
    if (auto view = view_.lock()) view->setKeyboardShown(shown);
}

void EAGLViewTextInput::onUIKeyboardNotification(const plat::Notification& notification) {
    const auto* info = std::any_cast<KeyboardNotificationUserInfo>(&notification.userInfo);
    auto view = view_.lock();
    if (!info || !view) return;
    KTRect begin = info->frameBegin, end = info->frameEnd;
    const KTSize viewSize = view->frame().size;
    float width = viewSize.width, height = viewSize.height;

    switch (ktStatusBarOrientation()) {
        case 1:
            begin.origin.y = height - begin.origin.y - begin.size.height;
            end.origin.y = height - end.origin.y - end.size.height;
            break;
        case 2:
            begin.origin.x = width - (begin.origin.x + begin.size.width);
            end.origin.x = width - (end.origin.x + end.size.width);
            break;
        case 3:
            begin = KTRect(begin.origin.y, begin.origin.x, begin.size.height, begin.size.width);
            end = KTRect(end.origin.y, end.origin.x, end.size.height, end.size.width);
            height = width;
            break;
        case 4:
            begin = KTRect(begin.origin.y, width - begin.origin.x - begin.size.width, begin.size.height,
                           begin.size.width);
            end =
                KTRect(end.origin.y, width - end.origin.x - end.size.width, end.size.height, end.size.width);
            height = width;
            break;
        default:
            break;
    }

    if (view->contentScaleFactor() == 2.0f) {
        begin = KTRect(begin.origin.x * 2, begin.origin.y * 2, begin.size.width * 2, begin.size.height * 2);
        end = KTRect(end.origin.x * 2, end.origin.y * 2, end.size.width * 2, end.size.height * 2);
    }

    float scaleX = 1, scaleY = 1;
    if (KTEGLViewProtocol* gl = glView()) {
        const float offestY = gl->getViewPortRect().origin.y;
        if (offestY < 0.0f) {
            begin.origin.y += offestY;
            begin.size.height -= offestY;
            end.size.height -= offestY;
        }
        scaleX = gl->getScaleX();
        scaleY = gl->getScaleY();
    }
    KeyboardNotificationInfo notiInfo;
    notiInfo.begin = KTRect(begin.origin.x / scaleX, begin.origin.y / scaleY, begin.size.width / scaleX,
                            begin.size.height / scaleY);
    notiInfo.end = KTRect(end.origin.x / scaleX, end.origin.y / scaleY, end.size.width / scaleX,
                          end.size.height / scaleY);
    notiInfo.duration = static_cast<float>(info->animationDuration);

    KTIMEDispatcher* dispatcher = KTIMEDispatcher::sharedDispatcher();
    if (notification.name == kKeyboardWillShowNotification) {
        keyboardShowNotification_ = notification;
        dispatcher->dispatchKeyboardWillShow(notiInfo);
    } else if (notification.name == kKeyboardDidShowNotification) {
        dispatcher->dispatchKeyboardDidShow(notiInfo);
        caretRect_ = notiInfo.end;
        caretRect_.origin.y = height - (caretRect_.origin.y + caretRect_.size.height + kSmallSystemFontSize);
        caretRect_.size.height = 0;
        setKeyboardShown(true);
    } else if (notification.name == kKeyboardWillHideNotification) {
        dispatcher->dispatchKeyboardWillHide(notiInfo);
    } else if (notification.name == kKeyboardDidHideNotification) {
        caretRect_ = KTRect();
        dispatcher->dispatchKeyboardDidHide(notiInfo);
        setKeyboardShown(false);
    }
}

void EAGLViewTextInput::doAnimationWhenKeyboardMoveWithDuration(float duration, float distance) {
    (void)duration;
    auto view = view_.lock();
    KTEGLViewProtocol* gl = glView();
    float d = std::max(distance, 0.0f) * (gl ? gl->getScaleY() : 1.0f);
    if (view && view->contentScaleFactor() == 2.0f) d /= 2.0f;
    KTRect frame = originalRect_;
    switch (ktStatusBarOrientation()) {
        case 1:
            frame.origin.y -= d;
            break;
        case 2:
            frame.origin.y += d;
            break;
        case 3:
            frame.origin.x += d;
            break;
        case 4:
            frame.origin.x -= d;
            break;
        default:
            return;
    }
    animatedFrame_ = frame;
}

void EAGLViewTextInput::doAnimationWhenAnotherEditBeClicked() {
    if (keyboardShowNotification_) plat::NotificationCenter::defaultCenter().post(*keyboardShowNotification_);
}

void EAGLViewTextInput::showKeyboard() {
    auto view = view_.lock();
    if (keyboardUp_ || !view) return;
    keyboardUp_ = true;
    const KTSize size = view->frame().size;
    KeyboardNotificationUserInfo info;
    info.frameBegin = KTRect(0, size.height, size.width, kKeyboardHeight);
    info.frameEnd = KTRect(0, size.height - kKeyboardHeight, size.width, kKeyboardHeight);
    info.animationDuration = kKeyboardAnimationDuration;
    auto& center = plat::NotificationCenter::defaultCenter();
    center.post(kKeyboardWillShowNotification, view.get(), info);
    center.post(kKeyboardDidShowNotification, view.get(), info);
}

void EAGLViewTextInput::hideKeyboard() {
    auto view = view_.lock();
    if (!keyboardUp_ || !view) return;
    keyboardUp_ = false;
    const KTSize size = view->frame().size;
    KeyboardNotificationUserInfo info;
    info.frameBegin = KTRect(0, size.height - kKeyboardHeight, size.width, kKeyboardHeight);
    info.frameEnd = KTRect(0, size.height, size.width, kKeyboardHeight);
    info.animationDuration = kKeyboardAnimationDuration;
    auto& center = plat::NotificationCenter::defaultCenter();
    center.post(kKeyboardWillHideNotification, view.get(), info);
    center.post(kKeyboardDidHideNotification, view.get(), info);
}

void EAGLViewTextInput::addSubview(CustomUITextField* field) {
    if (field && std::find(subviews_.begin(), subviews_.end(), field) == subviews_.end())
        subviews_.push_back(field);
}

void EAGLViewTextInput::removeSubview(CustomUITextField* field) {
    std::erase(subviews_, field);
}

CustomUITextField* EAGLViewTextInput::firstResponderTextField() const {
    for (CustomUITextField* field : subviews_)
        if (field->isFirstResponder()) return field;
    return nullptr;
}

void EAGLViewTextInput::handleTouchesAfterKeyboardShow() {
    if (CustomUITextField* field = firstResponderTextField()) field->resignFirstResponder();
}

}  // namespace kite
