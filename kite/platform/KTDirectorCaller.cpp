#include "kite/platform/KTDirectorCaller.h"

#include "kite/core/KTDirector.h"
#include "platform/runloop/RunLoop.h"

namespace kite {
namespace {
std::shared_ptr<KTDirectorCaller>& sharedCaller() {
    static std::shared_ptr<KTDirectorCaller> caller;
    return caller;
}
}  // namespace

std::shared_ptr<KTDirectorCaller> KTDirectorCaller::sharedDirectorCaller() {
    auto& caller = sharedCaller();
    if (!caller) caller = std::make_shared<KTDirectorCaller>();
    return caller;
}

void KTDirectorCaller::destroy() {
    // Frames stop with the instance even while someone still holds it.
    auto& caller = sharedCaller();
    if (caller && caller->displayLink_) caller->displayLink_->invalidate();
    caller.reset();
}

KTDirectorCaller::~KTDirectorCaller() {
    if (displayLink_) displayLink_->invalidate();
}

void KTDirectorCaller::scheduleNewLink() {
    if (displayLink_) displayLink_->invalidate();
    displayLink_.reset();
    displayLink_ = KTDisplayLink::displayLinkWithTarget([this] { doCaller(this); });
    // An interval under 1/60 s truncates to 0; the link then runs at every refresh instead of getting 0.
    displayLink_->setFrameInterval(interval_ < 1 ? 1 : interval_);
    displayLink_->addToRunLoop(plat::RunLoop::current());
}

void KTDirectorCaller::startMainLoop() {
    scheduleNewLink();
}

void KTDirectorCaller::setAnimationInterval(double seconds) {
    if (displayLink_) displayLink_->invalidate();
    displayLink_.reset();
    const double frames = seconds * 60.0;
    // Out-of-range values would make the conversion undefined; they saturate instead.
    if (!(frames == frames))
        interval_ = 0;
    else if (frames >= 2147483647.0)
        interval_ = 2147483647;
    else if (frames <= -2147483648.0)
        interval_ = -2147483647 - 1;
    else
        interval_ = static_cast<int>(frames);
    scheduleNewLink();
}

void KTDirectorCaller::doCaller(const void*) {
    KTDirector::sharedDirector()->mainLoop();
}

}  // namespace kite
