#include "kite/platform/linux/EAGLView.h"

#include "kite/base/KTMacros.h"
#include "kite/platform/linux/KTGLLayer.h"
#include "kite/platform/linux/KTScreen.h"
#include "platform/base/Log.h"
#include "platform/media/GLContext.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Window.h"

namespace kite {

const char* const kEAGLColorFormatRGB565 = "EAGLColorFormat565";
const char* const kEAGLColorFormatRGBA8 = "EAGLColorFormatRGBA8";

namespace {
std::weak_ptr<EAGLView>& sharedView() {
    static std::weak_ptr<EAGLView> view;
    return view;
}
}  // namespace

std::shared_ptr<EAGLView> EAGLView::viewWithFrame(const KTRect& frame) {
    return viewWithFrame(frame, kEAGLColorFormatRGB565, 0, false, nullptr, false, 0);
}

std::shared_ptr<EAGLView> EAGLView::viewWithFrame(const KTRect& frame, const std::string& pixelFormat) {
    return viewWithFrame(frame, pixelFormat, 0, false, nullptr, false, 0);
}

std::shared_ptr<EAGLView> EAGLView::viewWithFrame(const KTRect& frame, const std::string& pixelFormat,
                                                  GLenum depthFormat) {
    return viewWithFrame(frame, pixelFormat, depthFormat, false, nullptr, false, 0);
}

std::shared_ptr<EAGLView> EAGLView::viewWithFrame(const KTRect& frame, const std::string& pixelFormat,
                                                  GLenum depthFormat, bool preserveBackbuffer,
                                                  const void* sharegroup, bool multiSampling,
                                                  unsigned numberOfSamples) {
    std::shared_ptr<EAGLView> view(new EAGLView());
    if (!view->initWithFrame(frame, pixelFormat, depthFormat, preserveBackbuffer, sharegroup, multiSampling,
                             numberOfSamples))
        return nullptr;
    sharedView() = view;
    return view;
}

std::shared_ptr<EAGLView> EAGLView::sharedEGLView() {
    return sharedView().lock();
}

std::shared_ptr<KTGLLayer> EAGLView::layerClass() {
    return KTScreen::mainScreen().makeLayer();
}

bool EAGLView::initWithFrame(const KTRect& frame, const std::string& pixelFormat, GLenum depthFormat,
                             bool preserveBackbuffer, const void* sharegroup, bool multiSampling,
                             unsigned numberOfSamples) {
    frame_ = frame;
    layer_ = layerClass();
    isUseUITextField_ = true;
    pixelformat_ = pixelFormat;
    depthFormat_ = depthFormat;
    multiSampling_ = multiSampling;
    requestedSamples_ = numberOfSamples;
    preserveBackbuffer_ = preserveBackbuffer;
    if (!setupSurfaceWithSharegroup(sharegroup)) return false;
    originalRect_ = frame_;
    // The surface gets the screen's native pixel count.
    setContentScaleFactor(KTScreen::mainScreen().scale());
    return true;
}

EAGLView::~EAGLView() {
    // The compositor's textures live in the renderer's context.
    if (compositor_ && context_ && (context_->isCurrent() || context_->makeCurrent()))
        compositor_->releaseResources();
    compositor_.reset();
    renderer_.reset();
}

bool EAGLView::setupSurfaceWithSharegroup(const void* sharegroup) {
    layer_->setOpaque(true);
    layer_->setDrawableProperties(preserveBackbuffer_, pixelformat_);
    renderer_ = KTES2Renderer::create(depthFormat_, convertPixelFormat(pixelformat_), sharegroup,
                                      multiSampling_, requestedSamples_, *layer_);
    if (!renderer_) {
        // Said, not asserted: a machine without a usable GL driver is not a fault of the program, and the
        // caller gets no view rather than an abort.
        plat::logError("EAGLView: OpenGL ES 2.O is required.");
        return false;
    }
    context_ = renderer_->context();
    GLenum error = glGetError();
    if (error != GL_NO_ERROR)
        plat::log(plat::LogLevel::Error, "OpenGL error 0x%04X in %s %d\n", error, __func__, __LINE__);
    return true;
}

GLenum EAGLView::convertPixelFormat(const std::string& pixelFormat) {
    return pixelFormat == kEAGLColorFormatRGB565 ? GL_RGB565 : GL_RGBA8_OES;
}

void EAGLView::setContentScaleFactor(float scale) {
    if (!(scale > 0)) return;
    contentScaleFactor_ = scale;
    setNeedsLayout();
}

void EAGLView::setNeedsLayout() {
    if (layoutPending_) return;
    layoutPending_ = true;
    std::weak_ptr<EAGLView> weak = weak_from_this();
    plat::RunLoop::main().post([weak] {
        if (auto view = weak.lock()) view->layoutIfNeeded();
    });
}

void EAGLView::layoutIfNeeded() {
    if (layoutPending_) layoutSubviews();
}

void EAGLView::layoutSubviews() {
    layoutPending_ = false;
    layer_->setDrawableSize(getWidth(), getHeight());
    renderer_->resizeFromLayer(*layer_);
    size_ = renderer_->backingSize();
    drawSceneAfterLayout();
}

void EAGLView::swapBuffers() {
    compositeViews();
    renderer_->present(*layer_);
}

int EAGLView::getWidth() const {
    return static_cast<int>(frame_.size.width * contentScaleFactor_);
}
int EAGLView::getHeight() const {
    return static_cast<int>(frame_.size.height * contentScaleFactor_);
}

KTPoint EAGLView::convertPointFromViewToSurface(const KTPoint& point) const {
    KTRect b = bounds();
    return KTPoint(static_cast<float>((point.x - b.origin.x) / b.size.width * size_.width),
                   static_cast<float>((point.y - b.origin.y) / b.size.height * size_.height));
}

KTRect EAGLView::convertRectFromViewToSurface(const KTRect& rect) const {
    KTRect b = bounds();
    return KTRect(static_cast<float>((rect.origin.x - b.origin.x) / b.size.width * size_.width),
                  static_cast<float>((rect.origin.y - b.origin.y) / b.size.height * size_.height),
                  static_cast<float>(size_.width * (rect.size.width / b.size.width)),
                  static_cast<float>(size_.height * (rect.size.height / b.size.height)));
}

std::vector<uint8_t> EAGLView::readPixels() {
    const KTES2Renderer::Size backing = renderer_->backingSize();
    const int w = static_cast<int>(backing.width), h = static_cast<int>(backing.height);
    if (w <= 0 || h <= 0 || !context_ || (!context_->isCurrent() && !context_->makeCurrent())) return {};
    return plat::readFramebufferRGBA(renderer_->defaultFramebuffer(), w, h);
}

bool EAGLView::writePNG(const std::string& path) {
    std::vector<uint8_t> pixels = readPixels();
    if (pixels.empty()) return false;
    return plat::writeRGBAToPNG(path, pixels.data(), static_cast<int>(size_.width),
                                static_cast<int>(size_.height));
}

void EAGLView::dispatchPlatformTouches(TouchPhase phase, const std::vector<EAGLTouch>& touches) {
    static constexpr plat::Touch::Phase kPhases[] = {plat::Touch::Phase::Began, plat::Touch::Phase::Moved,
                                                     plat::Touch::Phase::Ended,
                                                     plat::Touch::Phase::Cancelled};
    std::vector<EAGLTouch> forGame;
    for (const EAGLTouch& touch : touches) {
        // The view's points are the window's, moved by the view's origin.
        const plat::Point at{frame_.origin.x + touch.location.x, frame_.origin.y + touch.location.y};
        if (!plat::Window::routeTouch(kPhases[static_cast<int>(phase)], touch.identity, at))
            forGame.push_back(touch);
    }
    if (forGame.empty()) return;
    deliverTouches(phase, forGame);
}

void EAGLView::touchesBegan(const std::vector<EAGLTouch>& touches) {
    deliverTouches(TouchPhase::Began, touches);
}
void EAGLView::touchesMoved(const std::vector<EAGLTouch>& touches) {
    deliverTouches(TouchPhase::Moved, touches);
}
void EAGLView::touchesEnded(const std::vector<EAGLTouch>& touches) {
    deliverTouches(TouchPhase::Ended, touches);
}
void EAGLView::touchesCancelled(const std::vector<EAGLTouch>& touches) {
    deliverTouches(TouchPhase::Cancelled, touches);
}

void EAGLView::handleTouchesAfterKeyboardShow() {
    if (resignTextField_) resignTextField_();
}

bool EAGLView::becomeFirstResponder() {
    isUseUITextField_ = false;
    firstResponder_ = true;
    return true;
}

bool EAGLView::resignFirstResponder() {
    isUseUITextField_ = true;
    firstResponder_ = false;
    return true;
}

void EAGLView::keyInput(const EAGLKeyInput& key) {
    // Nobody may read the keys for a long time; keep the newest ones.
    if (pendingKeys_.size() >= kMaxPendingKeys) pendingKeys_.pop_front();
    pendingKeys_.push_back(key);
}

std::vector<EAGLKeyInput> EAGLView::takeKeyInput() {
    std::vector<EAGLKeyInput> keys(pendingKeys_.begin(), pendingKeys_.end());
    pendingKeys_.clear();
    return keys;
}

}  // namespace kite
