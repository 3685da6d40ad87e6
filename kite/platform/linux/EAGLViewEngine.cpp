// The view's calls into the rest of the engine: the touch arrays for the GL view and the frame drawn
// after a layout.
#include "kite/platform/linux/EAGLView.h"

#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/platform/KTEGLView.h"
#include "platform/ui/Compositor.h"

namespace kite {
namespace {
EAGLView::TouchReceiver& touchReceiver() {
    static EAGLView::TouchReceiver receiver;
    return receiver;
}
}  // namespace

void EAGLView::setTouchReceiver(TouchReceiver receiver) {
    touchReceiver() = std::move(receiver);
}

void EAGLView::deliverTouches(TouchPhase phase, const std::vector<EAGLTouch>& touches) {
    if (isKeyboardShown_) {
        handleTouchesAfterKeyboardShow();
        return;
    }
    intptr_t ids[kMaxTouchesPerCallback] = {};
    float xs[kMaxTouchesPerCallback] = {};
    float ys[kMaxTouchesPerCallback] = {};
    int count = 0;
    auto shared = sharedEGLView();
    const float scale = shared ? shared->contentScaleFactor() : contentScaleFactor_;
    for (const EAGLTouch& touch : touches) {
        if (count == static_cast<int>(kMaxTouchesPerCallback)) break;
        ids[count] = touch.identity;
        xs[count] = touch.location.x * scale;
        ys[count] = touch.location.y * scale;
        ++count;
    }
    if (touchReceiver()) touchReceiver()(phase, count, ids, xs, ys);
    KTEGLView* glView = KTEGLView::sharedOpenGLView();
    switch (phase) {
        case TouchPhase::Began:
            glView->handleTouchesBegin(count, ids, xs, ys);
            break;
        case TouchPhase::Moved:
            glView->handleTouchesMove(count, ids, xs, ys);
            break;
        case TouchPhase::Ended:
            glView->handleTouchesEnd(count, ids, xs, ys);
            break;
        case TouchPhase::Cancelled:
            glView->handleTouchesCancel(count, ids, xs, ys);
            break;
    }
}

void EAGLView::compositeViews() {
    plat::Window* window = plat::Window::keyWindow();
    if (!window || !renderer_) return;
    if (!compositor_) compositor_ = std::make_unique<plat::Compositor>();
    glBindFramebuffer(GL_FRAMEBUFFER, renderer_->multiSampling() ? renderer_->msaaFramebuffer()
                                                                 : renderer_->defaultFramebuffer());
    // The compositor leaves its own GL state behind; the engine's cache must not trust what it remembers.
    // The projection is no GL state: it stays, or the next frames would draw without it.
    if (compositor_->composite(*window, static_cast<int>(size_.width), static_cast<int>(size_.height)))
        ktGLResetStateCache();
}

// A resized surface never shows stale contents.
void EAGLView::drawSceneAfterLayout() {
    KTDirector::sharedDirector()->drawScene();
}

}  // namespace kite
