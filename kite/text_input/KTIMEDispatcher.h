#pragma once
// Forwards the platform's text input to the engine's text-input delegates: typed text and deletions to
// the delegate that has the keyboard, keyboard show/hide to every listed delegate in list order.
// Main thread only.
#include <vector>

#include "kite/text_input/KTIMEDelegate.h"
#include "platform/base/Lasting.h"

namespace kite {

class KTIMEDispatcher {
  public:
    // Built on first use.
    static KTIMEDispatcher* sharedDispatcher();

    void dispatchInsertText(const char* text, int length);
    void dispatchDeleteBackward();
    void dispatchKeyboardWillShow(KeyboardNotificationInfo& info);
    void dispatchKeyboardDidShow(KeyboardNotificationInfo& info);
    void dispatchKeyboardWillHide(KeyboardNotificationInfo& info);
    void dispatchKeyboardDidHide(KeyboardNotificationInfo& info);

    // Delegates list themselves when made and leave when destroyed.
    void addDelegate(KTIMEDelegate* delegate);
    void removeDelegate(KTIMEDelegate* delegate);
    // The delegate must be listed; the one that had the keyboard is asked to give it up first.
    bool attachDelegateWithIME(KTIMEDelegate* delegate);
    bool detachDelegateWithIME(KTIMEDelegate* delegate);

    KTIMEDelegate* getKeyboardDelegate() const { return m_pDelegateWithIme; }
    bool isListed(const KTIMEDelegate* delegate) const;

  private:
    friend class plat::Lasting<KTIMEDispatcher>;
    KTIMEDispatcher() = default;
    template <typename Call>
    void forEachListed(Call call);

    std::vector<KTIMEDelegate*> m_delegates;
    KTIMEDelegate* m_pDelegateWithIme = nullptr;
    int m_nWalks = 0;
};

}  // namespace kite
