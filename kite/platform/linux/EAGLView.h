#pragma once
// The view that carries the GL drawing surface: it owns the renderer (context and framebuffers), sizes
// the buffers at layout, presents each finished frame, and turns platform touches (points in the view)
// into the GL view's touch arrays in pixels. It also takes the keyboard's input for text entry.
#include <GLES2/gl2.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kite/base/KTGeometry.h"
#include "kite/platform/linux/KTES2Renderer.h"

namespace plat {
class Compositor;
}

namespace kite {

class KTGLLayer;

extern const char* const kEAGLColorFormatRGB565;
extern const char* const kEAGLColorFormatRGBA8;

// One touch as the platform reports it: a stable identity while the finger is down, and where it is,
// in the view's points with y downward.
struct EAGLTouch {
    intptr_t identity;
    KTPoint location;
};

// A key as the window reports it; kept for the text-input dispatcher.
struct EAGLKeyInput {
    bool down;
    unsigned long keysym;
    std::string text;
};

class EAGLView : public std::enable_shared_from_this<EAGLView> {
  public:
    enum class TouchPhase { Began, Moved, Ended, Cancelled };
    // Sees each callback's touch arrays (count, identities, positions in surface pixels with y downward)
    // just before the GL view's touch slots take them.
    using TouchReceiver = std::function<void(TouchPhase phase, int count, const intptr_t* ids,
                                             const float* xs, const float* ys)>;

    static constexpr size_t kMaxTouchesPerCallback = 10;
    static constexpr size_t kMaxPendingKeys = 256;

    static std::shared_ptr<EAGLView> viewWithFrame(const KTRect& frame);
    static std::shared_ptr<EAGLView> viewWithFrame(const KTRect& frame, const std::string& pixelFormat);
    static std::shared_ptr<EAGLView> viewWithFrame(const KTRect& frame, const std::string& pixelFormat,
                                                   GLenum depthFormat);
    static std::shared_ptr<EAGLView> viewWithFrame(const KTRect& frame, const std::string& pixelFormat,
                                                   GLenum depthFormat, bool preserveBackbuffer,
                                                   const void* sharegroup, bool multiSampling,
                                                   unsigned numberOfSamples);
    // The last view whose initialisation succeeded (null once it is gone).
    static std::shared_ptr<EAGLView> sharedEGLView();
    // A new drawable from the main screen (headless or its window).
    static std::shared_ptr<KTGLLayer> layerClass();

    ~EAGLView();
    EAGLView(const EAGLView&) = delete;
    EAGLView& operator=(const EAGLView&) = delete;

    static GLenum convertPixelFormat(const std::string& pixelFormat);

    // Sizes the buffers to bounds x content scale, then draws one frame at once.
    void layoutSubviews();
    // Asks for a layout on the next pass of the main run loop (once, however often it is asked).
    void setNeedsLayout();
    void layoutIfNeeded();
    void swapBuffers();

    int getWidth() const;
    int getHeight() const;
    KTES2Renderer::Size surfaceSize() const { return size_; }
    const std::string& pixelFormat() const { return pixelformat_; }
    GLenum depthFormat() const { return depthFormat_; }
    plat::GLContext* context() const { return context_; }
    KTES2Renderer* renderer() const { return renderer_.get(); }
    KTGLLayer* layer() const { return layer_.get(); }
    bool multiSampling() const { return multiSampling_; }
    void setMultiSampling(bool on) { multiSampling_ = on; }
    bool isKeyboardShown() const { return isKeyboardShown_; }
    bool preserveBackbuffer() const { return preserveBackbuffer_; }

    KTRect frame() const { return frame_; }
    KTRect bounds() const { return KTRect(0, 0, frame_.size.width, frame_.size.height); }
    float contentScaleFactor() const { return contentScaleFactor_; }
    void setContentScaleFactor(float scale);
    bool hasSuperview() const { return inSuperview_; }
    void setInSuperview(bool in) { inSuperview_ = in; }
    void removeFromSuperview() { inSuperview_ = false; }

    KTPoint convertPointFromViewToSurface(const KTPoint& point) const;
    KTRect convertRectFromViewToSurface(const KTRect& rect) const;

    // The current frame of the view's framebuffer as RGBA, top row first; empty on failure.
    std::vector<uint8_t> readPixels();
    bool writePNG(const std::string& path);

    // Touches as the drivers receive them: each is offered to the key window's views first (a touch on a
    // view over the GL view goes there, to its end); the rest reach the callbacks below.
    void dispatchPlatformTouches(TouchPhase phase, const std::vector<EAGLTouch>& touches);
    // The compositor that lays the key window's views over each frame (null before the first frame).
    const plat::Compositor* compositor() const { return compositor_.get(); }

    // Platform touch callbacks.
    void touchesBegan(const std::vector<EAGLTouch>& touches);
    void touchesMoved(const std::vector<EAGLTouch>& touches);
    void touchesEnded(const std::vector<EAGLTouch>& touches);
    void touchesCancelled(const std::vector<EAGLTouch>& touches);
    // While the keyboard is shown a touch only closes the focused text field (set by text input).
    void handleTouchesAfterKeyboardShow();
    void setKeyboardShown(bool shown) { isKeyboardShown_ = shown; }
    void setTextFieldResigner(std::function<void()> resign) { resignTextField_ = std::move(resign); }
    static void setTouchReceiver(TouchReceiver receiver);

    // First responder: the view takes the keyboard's text itself.
    bool becomeFirstResponder();
    bool resignFirstResponder();
    bool isFirstResponder() const { return firstResponder_; }
    bool isUseUITextField() const { return isUseUITextField_; }

    void keyInput(const EAGLKeyInput& key);
    std::vector<EAGLKeyInput> takeKeyInput();

  private:
    EAGLView() = default;
    bool initWithFrame(const KTRect& frame, const std::string& pixelFormat, GLenum depthFormat,
                       bool preserveBackbuffer, const void* sharegroup, bool multiSampling,
                       unsigned numberOfSamples);
    bool setupSurfaceWithSharegroup(const void* sharegroup);
    void deliverTouches(TouchPhase phase, const std::vector<EAGLTouch>& touches);
    void drawSceneAfterLayout();
    // Draws the key window's views over the finished frame, before it is shown.
    void compositeViews();

    std::shared_ptr<KTES2Renderer> renderer_;
    std::unique_ptr<plat::Compositor> compositor_;
    plat::GLContext* context_ = nullptr;
    std::string pixelformat_;
    GLenum depthFormat_ = 0;
    bool preserveBackbuffer_ = false;
    KTES2Renderer::Size size_{0, 0};
    unsigned requestedSamples_ = 0;
    bool isUseUITextField_ = false;
    bool isKeyboardShown_ = false;
    bool multiSampling_ = false;
    KTRect originalRect_;

    KTRect frame_;
    float contentScaleFactor_ = 1;
    bool inSuperview_ = true;
    bool layoutPending_ = false;
    bool firstResponder_ = false;
    std::shared_ptr<KTGLLayer> layer_;
    std::function<void()> resignTextField_;
    std::deque<EAGLKeyInput> pendingKeys_;
};

}  // namespace kite
