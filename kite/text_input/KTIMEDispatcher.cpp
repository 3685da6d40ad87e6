#include "kite/text_input/KTIMEDispatcher.h"

#include <algorithm>

#include "kite/core/KTDirector.h"
#include "kite/platform/KTEGLViewProtocol.h"
#include "platform/base/Lasting.h"

namespace kite {

KTIMEDelegate::KTIMEDelegate() {
    KTIMEDispatcher::sharedDispatcher()->addDelegate(this);
}

KTIMEDelegate::~KTIMEDelegate() {
    KTIMEDispatcher::sharedDispatcher()->removeDelegate(this);
}

bool KTIMEDelegate::attachWithIME() {
    if (!KTIMEDispatcher::sharedDispatcher()->attachDelegateWithIME(this)) return false;
    if (KTEGLViewProtocol* view = KTDirector::sharedDirector()->getOpenGLView())
        view->setIMEKeyboardState(true);
    return true;
}

bool KTIMEDelegate::detachWithIME() {
    if (!KTIMEDispatcher::sharedDispatcher()->detachDelegateWithIME(this)) return false;
    if (KTEGLViewProtocol* view = KTDirector::sharedDirector()->getOpenGLView())
        view->setIMEKeyboardState(false);
    return true;
}

KTIMEDispatcher* KTIMEDispatcher::sharedDispatcher() {
    // Delegates with static lifetime still leave it at process exit.
    static plat::Lasting<KTIMEDispatcher> instance;
    return &*instance;
}

bool KTIMEDispatcher::isListed(const KTIMEDelegate* delegate) const {
    return std::find(m_delegates.begin(), m_delegates.end(), delegate) != m_delegates.end();
}

void KTIMEDispatcher::addDelegate(KTIMEDelegate* delegate) {
    if (delegate && !isListed(delegate)) m_delegates.push_back(delegate);
}

void KTIMEDispatcher::removeDelegate(KTIMEDelegate* delegate) {
    if (!delegate) return;
    // Set to null rather than erased, so a walk in progress keeps its place; compacted below.
    std::replace(m_delegates.begin(), m_delegates.end(), delegate, static_cast<KTIMEDelegate*>(nullptr));
    if (m_nWalks == 0) std::erase(m_delegates, nullptr);
    if (m_pDelegateWithIme == delegate) m_pDelegateWithIme = nullptr;
}

bool KTIMEDispatcher::attachDelegateWithIME(KTIMEDelegate* delegate) {
    if (!delegate || !isListed(delegate)) return false;
    if (m_pDelegateWithIme == delegate) return true;
    if (m_pDelegateWithIme) {
        if (!m_pDelegateWithIme->canDetachWithIME() || !delegate->canAttachWithIME()) return false;
        KTIMEDelegate* old = m_pDelegateWithIme;
        m_pDelegateWithIme = nullptr;
        old->didDetachWithIME();
    } else if (!delegate->canAttachWithIME()) {
        return false;
    }
    m_pDelegateWithIme = delegate;
    delegate->didAttachWithIME();
    return true;
}

bool KTIMEDispatcher::detachDelegateWithIME(KTIMEDelegate* delegate) {
    if (!delegate || m_pDelegateWithIme != delegate || !delegate->canDetachWithIME()) return false;
    m_pDelegateWithIme = nullptr;
    delegate->didDetachWithIME();
    return true;
}

void KTIMEDispatcher::dispatchInsertText(const char* text, int length) {
    if (!text || length < 1 || !m_pDelegateWithIme) return;
    m_pDelegateWithIme->insertText(text, length);
}

void KTIMEDispatcher::dispatchDeleteBackward() {
    if (m_pDelegateWithIme) m_pDelegateWithIme->deleteBackward();
}

template <typename Call>
void KTIMEDispatcher::forEachListed(Call call) {
    // Index walk: delegates may join or leave from inside a call.
    ++m_nWalks;
    for (size_t i = 0; i < m_delegates.size(); ++i)
        if (KTIMEDelegate* delegate = m_delegates[i]) call(delegate);
    if (--m_nWalks == 0) std::erase(m_delegates, nullptr);
}

void KTIMEDispatcher::dispatchKeyboardWillShow(KeyboardNotificationInfo& info) {
    forEachListed([&](KTIMEDelegate* d) { d->keyboardWillShow(info); });
}
void KTIMEDispatcher::dispatchKeyboardDidShow(KeyboardNotificationInfo& info) {
    forEachListed([&](KTIMEDelegate* d) { d->keyboardDidShow(info); });
}
void KTIMEDispatcher::dispatchKeyboardWillHide(KeyboardNotificationInfo& info) {
    forEachListed([&](KTIMEDelegate* d) { d->keyboardWillHide(info); });
}
void KTIMEDispatcher::dispatchKeyboardDidHide(KeyboardNotificationInfo& info) {
    forEachListed([&](KTIMEDelegate* d) { d->keyboardDidHide(info); });
}

}  // namespace kite
