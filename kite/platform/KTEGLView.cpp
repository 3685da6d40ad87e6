#include "kite/platform/KTEGLView.h"

#include "kite/base/KTMacros.h"
#include "kite/platform/KTDirectorCaller.h"
#include "kite/platform/linux/EAGLView.h"

namespace kite {

KTEGLView::KTEGLView() {
    auto view = EAGLView::sharedEGLView();
    KTAssert(view, "EAGLView must exist before the GL view");
    m_obFrameSize = KTSize(static_cast<float>(view->getWidth()), static_cast<float>(view->getHeight()));
    m_obDesignSize = m_obFrameSize;
}

KTEGLView::~KTEGLView() = default;

namespace {
KTEGLView* s_sharedOpenGLView = nullptr;
}

KTEGLView* KTEGLView::sharedOpenGLView() {
    if (!s_sharedOpenGLView) s_sharedOpenGLView = new KTEGLView();
    return s_sharedOpenGLView;
}

void KTEGLView::purgeSharedOpenGLView() {
    delete s_sharedOpenGLView;
    s_sharedOpenGLView = nullptr;
}

void KTEGLView::end() {
    KTDirectorCaller::destroy();
    if (auto view = EAGLView::sharedEGLView()) view->removeFromSuperview();
}

bool KTEGLView::isOpenGLReady() {
    return EAGLView::sharedEGLView() != nullptr;
}

void KTEGLView::swapBuffers() {
    if (auto view = EAGLView::sharedEGLView()) view->swapBuffers();
}

void KTEGLView::setIMEKeyboardState(bool open) {
    auto view = EAGLView::sharedEGLView();
    if (!view) return;
    if (open)
        view->becomeFirstResponder();
    else
        view->resignFirstResponder();
}

bool KTEGLView::setContentScaleFactor(float scale) {
    KTAssert(m_eResolutionPolicy == kResolutionUnKnown, "m_eResolutionPolicy == kResolutionUnKnown");
    m_fScaleX = m_fScaleY = scale;
    if (auto view = EAGLView::sharedEGLView()) view->setNeedsLayout();
    return true;
}

}  // namespace kite
