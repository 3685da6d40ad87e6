#pragma once
// Views as the phone has them: a rectangle (centre, size and an affine transform about the centre) that
// holds subviews, draws its own content into a layer of premultiplied pixels with cairo, answers hit tests
// and passes touches up the responder chain. The compositor lays the layers over the GL frame.
//
// Animations change the model at once; what is drawn (the presentation) moves from the old values to the
// new ones on the shared clock, so headless runs stay repeatable. Main thread only.
#include <cairo.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

namespace plat {

class Image;
class View;
class Window;

// Bits of View::autoresizingMask.
namespace Autoresizing {
constexpr unsigned kNone = 0;
constexpr unsigned kFlexibleLeftMargin = 1;
constexpr unsigned kFlexibleWidth = 2;
constexpr unsigned kFlexibleRightMargin = 4;
constexpr unsigned kFlexibleTopMargin = 8;
constexpr unsigned kFlexibleHeight = 16;
constexpr unsigned kFlexibleBottomMargin = 32;
}  // namespace Autoresizing

enum class ContentMode {
    ScaleToFill = 0,
    ScaleAspectFit = 1,
    ScaleAspectFill = 2,
    Redraw = 3,
    Center = 4,
    Top = 5,
    Bottom = 6,
    Left = 7,
    Right = 8,
    TopLeft = 9,
    TopRight = 10,
    BottomLeft = 11,
    BottomRight = 12
};
// Where content of `size` goes inside `bounds` under `mode`.
Rect contentRect(ContentMode mode, Size size, const Rect& bounds);

// Options of View::animate and View::transition.
namespace AnimationOption {
constexpr unsigned kAllowUserInteraction = 1u << 1;
constexpr unsigned kBeginFromCurrentState = 1u << 2;
constexpr unsigned kCurveEaseInOut = 0;
constexpr unsigned kCurveEaseIn = 1u << 16;
constexpr unsigned kCurveEaseOut = 2u << 16;
constexpr unsigned kCurveLinear = 3u << 16;
constexpr unsigned kTransitionNone = 0;
constexpr unsigned kTransitionFlipFromLeft = 1u << 20;
constexpr unsigned kTransitionFlipFromRight = 2u << 20;
constexpr unsigned kTransitionCurlUp = 3u << 20;
constexpr unsigned kTransitionCurlDown = 4u << 20;
}  // namespace AnimationOption

// One finger on the screen, the same object from its beginning to its end.
class Touch {
  public:
    enum class Phase { Began, Moved, Stationary, Ended, Cancelled };

    Touch(intptr_t identity, Point windowLocation, double timestamp)
        : identity_(identity), location_(windowLocation), previous_(windowLocation), timestamp_(timestamp) {}

    intptr_t identity() const { return identity_; }
    Phase phase() const { return phase_; }
    double timestamp() const { return timestamp_; }
    int tapCount() const { return 1; }
    // The view that the touch began on (it keeps the touch to its end).
    View* view() const { return view_.get(); }
    const std::shared_ptr<View>& sharedView() const { return view_; }
    // In `view`'s own coordinates; in the window's for null.
    Point locationInView(const View* view) const;
    Point previousLocationInView(const View* view) const;

    // For the window that delivers the touch.
    void update(Phase phase, Point windowLocation, double timestamp);
    void setView(std::shared_ptr<View> view) { view_ = std::move(view); }

  private:
    intptr_t identity_;
    Phase phase_ = Phase::Began;
    Point location_;
    Point previous_;
    double timestamp_;
    std::shared_ptr<View> view_;
};

using TouchSet = std::vector<std::shared_ptr<Touch>>;

struct Event {
    double timestamp = 0;
    TouchSet allTouches;
};

class View : public std::enable_shared_from_this<View> {
  public:
    explicit View(Rect frame = {});
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // -- geometry (the model) --
    // The bounding box of the transformed view in the superview.
    Rect frame() const;
    // Sets centre and size; with a transform other than the identity the result is what the transform
    // makes of it, as on the phone (set the identity first).
    void setFrame(Rect frame);
    Rect bounds() const { return {0, 0, size_.width, size_.height}; }
    void setBounds(Rect bounds);
    Point center() const { return center_; }
    void setCenter(Point center);
    const AffineTransform& transform() const { return transform_; }
    void setTransform(const AffineTransform& transform);

    unsigned autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool on) { autoresizesSubviews_ = on; }
    ContentMode contentMode() const { return contentMode_; }
    void setContentMode(ContentMode mode);
    virtual Size sizeThatFits(Size size) const;
    void sizeToFit();
    // Called after the size changed (once the subviews were autoresized); subclasses place their parts.
    virtual void layoutSubviews() {}

    // -- look --
    const Color& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const Color& color);
    double alpha() const { return alpha_; }
    void setAlpha(double alpha);
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque) { opaque_ = opaque; }
    bool clipsToBounds() const { return clipsToBounds_; }
    void setClipsToBounds(bool clips);
    const Color& borderColor() const { return borderColor_; }
    void setBorderColor(const Color& color);
    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double width);
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius);

    // Draws the view's own content into `cr`, whose user space is the view's bounds in points. The
    // background (and the rounded corners) are drawn before, the border after, by the view itself.
    virtual void drawRect(cairo_t* cr, const Rect& rect);
    // The layer is drawn again before the next composite.
    void setNeedsDisplay();
    bool needsDisplay() const { return needsDisplay_; }
    // The view with its subviews as a picture at `scale` pixels per point (the model values, as laid out).
    std::shared_ptr<Image> snapshot(double scale);
    // Draws the view and its subviews into `cr` (user space: the view's bounds).
    void renderInContext(cairo_t* cr);

    // -- hierarchy --
    // Takes the view out of its old superview first; adding a view to itself or to one of its own
    // subviews is refused (logged), since it would make a cycle.
    void addSubview(const std::shared_ptr<View>& view);
    void insertSubview(const std::shared_ptr<View>& view, size_t index);
    void bringSubviewToFront(const View* view);
    void removeFromSuperview();
    const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
    // Not retained: the superview owns its subviews.
    View* superview() const { return superview_; }
    bool isDescendantOf(const View* view) const;
    // The window the view is in, if any.
    Window* window() const;

    // -- events --
    bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool on) { userInteractionEnabled_ = on; }
    // The deepest visible, interactive view under `point` (in this view's coordinates); null for none.
    virtual View* hitTest(Point point, const Event* event);
    virtual bool pointInside(Point point, const Event* event) const;
    // Each phase is passed to the superview unless a view takes it.
    virtual void touchesBegan(const TouchSet& touches, const Event& event);
    virtual void touchesMoved(const TouchSet& touches, const Event& event);
    virtual void touchesEnded(const TouchSet& touches, const Event& event);
    virtual void touchesCancelled(const TouchSet& touches, const Event& event);
    virtual View* nextResponder() const { return superview_; }

    // Points between this view and `other` (the window when null), through every transform.
    Point convertPointToView(Point point, const View* other) const;
    Point convertPointFromView(Point point, const View* other) const;
    // From this view's coordinates to the window's.
    AffineTransform transformToWindow() const;
    // From this view's coordinates to its superview's, as modelled or as drawn now.
    AffineTransform transformToSuperview(bool presentation) const;

    // -- animation --
    using Changes = std::function<void()>;
    using Completion = std::function<void(bool finished)>;
    // Changes of alpha, frame, bounds, centre and transform made inside `changes` are animated: the model
    // has the new values at once, the drawing moves over `duration` seconds after `delay`. `completion`
    // runs once, on the main run loop, when the animation ends.
    static void animate(double duration, double delay, unsigned options, const Changes& changes,
                        Completion completion = nullptr);
    static void animate(double duration, const Changes& changes, Completion completion = nullptr);
    // Runs `changes` on `view` (adding and removing subviews) and shows the change with the transition in
    // `options` (flip from left or right, curl up or down); `completion` runs once when it ends.
    static void transition(const std::shared_ptr<View>& view, double duration, unsigned options,
                           const Changes& changes, Completion completion = nullptr);
    // True while an animation or transition of this view is being drawn.
    bool isAnimating() const;
    // For the animation machinery: the animations of that group are over.
    void animationGroupEnded(const void* group);

    // What is drawn now (the model while nothing moves).
    double presentationAlpha() const;
    Point presentationCenter() const;
    Size presentationSize() const;
    AffineTransform presentationTransform() const;
    // The transition under way, for the compositor: kind (its option value), progress 0...1, the picture of
    // the view before the change. Kind 0 when none.
    struct TransitionState {
        unsigned kind = 0;
        double progress = 0;
        const Image* before = nullptr;
        uint64_t id = 0;
    };
    TransitionState transitionState() const;

    // -- layer (for the compositor) --
    uint64_t serial() const { return serial_; }
    // Draws the layer again when it is dirty or the scale changed; true when it drew.
    bool updateLayer(double scale);
    // The layer's pixels (ARGB32, premultiplied) or null when the view draws nothing of its own.
    cairo_surface_t* layerSurface() const { return layer_; }
    cairo_surface_t* borderSurface() const { return border_; }
    // Rises by one each time the layer is drawn.
    uint64_t layerVersion() const { return layerVersion_; }

  private:
    struct Animation;
    struct Transition;
    enum class Property { Alpha, Center, Size, Transform };

    void recordAnimation(Property property, std::initializer_list<double> from);
    void sizeChanged(Size old);
    void autoresize(Size oldSuperSize, Size newSuperSize);
    // Background, content and (with `border`) the border, in the view's user space.
    void drawLayerContent(cairo_t* cr, bool border);
    void drawBorder(cairo_t* cr) const;
    void roundedRectPath(cairo_t* cr, const Rect& rect, double radius) const;
    double animatedValue(Property property, int component, double model) const;
    bool interactionBlockedByAnimation() const;
    void dropFinishedAnimations();
    void releaseLayer();

    Point center_;
    Size size_;
    AffineTransform transform_;
    Color backgroundColor_ = Color::clearColor();
    double alpha_ = 1;
    bool hidden_ = false;
    bool opaque_ = true;
    bool userInteractionEnabled_ = true;
    bool clipsToBounds_ = false;
    Color borderColor_ = Color::blackColor();
    double borderWidth_ = 0;
    double cornerRadius_ = 0;
    unsigned autoresizingMask_ = Autoresizing::kNone;
    bool autoresizesSubviews_ = true;
    ContentMode contentMode_ = ContentMode::ScaleToFill;

    View* superview_ = nullptr;
    std::vector<std::shared_ptr<View>> subviews_;

    uint64_t serial_;
    bool needsDisplay_ = true;
    // Set while the base drawRect runs: a view that only has the base draws nothing of its own.
    bool baseDrawRectRan_ = false;
    bool drawsNothingOwn_ = false;
    cairo_surface_t* layer_ = nullptr;
    cairo_surface_t* border_ = nullptr;
    double layerScale_ = 0;
    uint64_t layerVersion_ = 0;

    std::vector<Animation> animations_;
    std::unique_ptr<Transition> transition_;
};

}  // namespace plat
