#include "kite/keypad/KTKeypadHandler.h"

#include "platform/base/Log.h"

namespace kite {

KTKeypadHandler::~KTKeypadHandler() {
    if (auto* obj = dynamic_cast<KTObject*>(m_pDelegate)) obj->release();
}

KTKeypadHandler* KTKeypadHandler::handlerWithDelegate(KTKeypadDelegate* delegate) {
    auto* handler = new KTKeypadHandler();
    if (handler->initWithDelegate(delegate)) return ktAutorelease(handler);
    handler->release();
    return nullptr;
}

bool KTKeypadHandler::initWithDelegate(KTKeypadDelegate* delegate) {
    auto* obj = dynamic_cast<KTObject*>(delegate);
    if (!obj) {
        plat::logError("KTKeypadHandler: a keypad delegate must be a non-null engine object");
        return false;
    }
    obj->retain();
    m_pDelegate = delegate;
    return true;
}

void KTKeypadHandler::setDelegate(KTKeypadDelegate* delegate) {
    if (auto* obj = dynamic_cast<KTObject*>(delegate)) obj->retain();
    if (auto* old = dynamic_cast<KTObject*>(m_pDelegate)) old->release();
    m_pDelegate = delegate;
}

}  // namespace kite
