#include "platform/ui/View.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "platform/base/Clock.h"
#include "platform/base/Log.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Drawing.h"
#include "platform/ui/Image.h"
#include "platform/ui/Window.h"

namespace plat {
namespace {

// Layers larger than this on a side are not drawn (a runaway frame must not allocate without bound).
constexpr double kMaxLayerSide = 8192;

uint64_t nextSerial() {
    static std::atomic<uint64_t> serial{1};
    return serial++;
}

int64_t nowMicros() {
    return Clock::shared().monotonicMicros();
}

}  // namespace

// --- Touch ---

Point Touch::locationInView(const View* view) const {
    return view ? view->convertPointFromView(location_, nullptr) : location_;
}

Point Touch::previousLocationInView(const View* view) const {
    return view ? view->convertPointFromView(previous_, nullptr) : previous_;
}

void Touch::update(Phase phase, Point windowLocation, double timestamp) {
    phase_ = phase;
    previous_ = location_;
    location_ = windowLocation;
    timestamp_ = timestamp;
}

// --- content placement ---

Rect contentRect(ContentMode mode, Size size, const Rect& bounds) {
    const double w = size.width, h = size.height;
    switch (mode) {
        case ContentMode::ScaleToFill:
        case ContentMode::Redraw:
            return bounds;
        case ContentMode::ScaleAspectFit:
        case ContentMode::ScaleAspectFill: {
            if (w <= 0 || h <= 0) return bounds;
            const double sx = bounds.width / w, sy = bounds.height / h;
            const double s = mode == ContentMode::ScaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
            return {bounds.x + (bounds.width - w * s) / 2, bounds.y + (bounds.height - h * s) / 2, w * s,
                    h * s};
        }
        default:
            break;
    }
    double x = bounds.x + (bounds.width - w) / 2, y = bounds.y + (bounds.height - h) / 2;
    switch (mode) {
        case ContentMode::Top:
        case ContentMode::TopLeft:
        case ContentMode::TopRight:
            y = bounds.y;
            break;
        case ContentMode::Bottom:
        case ContentMode::BottomLeft:
        case ContentMode::BottomRight:
            y = bounds.maxY() - h;
            break;
        default:
            break;
    }
    switch (mode) {
        case ContentMode::Left:
        case ContentMode::TopLeft:
        case ContentMode::BottomLeft:
            x = bounds.x;
            break;
        case ContentMode::Right:
        case ContentMode::TopRight:
        case ContentMode::BottomRight:
            x = bounds.maxX() - w;
            break;
        default:
            break;
    }
    return {x, y, w, h};
}

// --- animation records ---

// Out of the unnamed namespace, as View::Animation and View::Transition, which have linkage, hold one.
namespace viewdetail {

struct AnimationGroup {
    View::Completion completion;
    bool finished = true;
    std::vector<std::weak_ptr<View>> views;
};

}  // namespace viewdetail

using viewdetail::AnimationGroup;

namespace {

struct AnimationParameters {
    double duration;
    double delay;
    unsigned options;
    std::shared_ptr<AnimationGroup> group;
};

AnimationParameters* gCurrentAnimation = nullptr;

double applyCurve(unsigned options, double t) {
    switch (options & (3u << 16)) {
        case AnimationOption::kCurveLinear:
            return t;
        case AnimationOption::kCurveEaseIn:
            return t * t;
        case AnimationOption::kCurveEaseOut:
            return t * (2 - t);
        default:
            return t * t * (3 - 2 * t);
    }
}

// A transform as rotation, scale and translation, the parts that animate independently.
struct TransformParts {
    double rotation, sx, sy, shear, tx, ty;
};

TransformParts decompose(const AffineTransform& t) {
    const double sx = std::hypot(t.a, t.b);
    const double rotation = sx > 0 ? std::atan2(t.b, t.a) : 0;
    const double cs = std::cos(rotation), sn = std::sin(rotation);
    // Undo the rotation: what is left is [sx shear; 0 sy].
    const double c2 = t.c * cs + t.d * sn, d2 = -t.c * sn + t.d * cs;
    return {rotation, sx, d2, c2, t.tx, t.ty};
}

AffineTransform compose(const TransformParts& p) {
    const double cs = std::cos(p.rotation), sn = std::sin(p.rotation);
    // [sx shear; 0 sy] then the rotation.
    return {p.sx * cs, p.sx * sn, p.shear * cs - p.sy * sn, p.shear * sn + p.sy * cs, p.tx, p.ty};
}

void scheduleCompletion(const std::shared_ptr<AnimationGroup>& group, double after) {
    RunLoop& loop = RunLoop::main();
    loop.addTimer(std::max(0.0, after), [group] {
        for (auto& weak : group->views)
            if (auto view = weak.lock()) view->animationGroupEnded(group.get());
        group->views.clear();
        if (group->completion) {
            auto completion = std::move(group->completion);
            group->completion = nullptr;
            completion(group->finished);
        }
    });
}

}  // namespace

struct View::Animation {
    Property property;
    double from[6];
    double to[6];
    int64_t start;
    int64_t duration;
    unsigned options;
    std::shared_ptr<AnimationGroup> group;
};

struct View::Transition {
    unsigned kind;
    int64_t start;
    int64_t duration;
    unsigned options;
    std::shared_ptr<Image> before;
    uint64_t id;
    std::shared_ptr<AnimationGroup> group;
};

// --- View ---

View::View(Rect frame) : serial_(nextSerial()) {
    setFrame(frame);
}

View::~View() {
    for (auto& child : subviews_) child->superview_ = nullptr;
    releaseLayer();
}

void View::releaseLayer() {
    if (layer_) cairo_surface_destroy(layer_);
    if (border_) cairo_surface_destroy(border_);
    layer_ = border_ = nullptr;
}

Rect View::frame() const {
    const Rect local{-size_.width / 2, -size_.height / 2, size_.width, size_.height};
    if (transform_.isIdentity()) return {center_.x + local.x, center_.y + local.y, size_.width, size_.height};
    Rect r = transform_.applyToRect(local);
    r.x += center_.x;
    r.y += center_.y;
    return r;
}

void View::setFrame(Rect frame) {
    if (!std::isfinite(frame.x) || !std::isfinite(frame.y) || !std::isfinite(frame.width) ||
        !std::isfinite(frame.height)) {
        logError("View: a frame must be finite");
        return;
    }
    frame.width = std::max(0.0, frame.width);
    frame.height = std::max(0.0, frame.height);
    setCenter(frame.mid());
    setBounds({0, 0, frame.width, frame.height});
}

void View::setBounds(Rect bounds) {
    const Size size{std::max(0.0, bounds.width), std::max(0.0, bounds.height)};
    if (!std::isfinite(size.width) || !std::isfinite(size.height) || size == size_) return;
    const Size old = size_;
    const Size oldPresented = presentationSize();
    size_ = size;
    if (gCurrentAnimation) recordAnimation(Property::Size, {oldPresented.width, oldPresented.height});
    sizeChanged(old);
}

void View::setCenter(Point center) {
    if (!std::isfinite(center.x) || !std::isfinite(center.y) || center == center_) return;
    const Point old = presentationCenter();
    center_ = center;
    if (gCurrentAnimation) recordAnimation(Property::Center, {old.x, old.y});
}

void View::setTransform(const AffineTransform& transform) {
    if (transform == transform_) return;
    const TransformParts old = decompose(presentationTransform());
    transform_ = transform;
    if (gCurrentAnimation)
        recordAnimation(Property::Transform, {old.rotation, old.sx, old.sy, old.shear, old.tx, old.ty});
}

void View::setAlpha(double alpha) {
    alpha = std::clamp(std::isfinite(alpha) ? alpha : 1.0, 0.0, 1.0);
    if (alpha == alpha_) return;
    const double old = presentationAlpha();
    alpha_ = alpha;
    if (gCurrentAnimation) recordAnimation(Property::Alpha, {old});
}

void View::sizeChanged(Size old) {
    setNeedsDisplay();
    if (autoresizesSubviews_)
        for (auto& child : std::vector<std::shared_ptr<View>>(subviews_)) child->autoresize(old, size_);
    layoutSubviews();
}

void View::autoresize(Size oldSuper, Size newSuper) {
    if (autoresizingMask_ == Autoresizing::kNone) return;
    Rect f = frame();
    // Along each axis the change is shared by the flexible parts in proportion to their sizes (equally
    // when they are all zero); the fixed parts keep theirs.
    auto share = [](double delta, double& lead, double& extent, double trail, bool flexLead, bool flexExtent,
                    bool flexTrail) {
        double total = (flexLead ? lead : 0) + (flexExtent ? extent : 0) + (flexTrail ? trail : 0);
        const int count = int(flexLead) + int(flexExtent) + int(flexTrail);
        if (count == 0 || delta == 0) return;
        auto part = [&](double v) { return total > 0 ? delta * v / total : delta / count; };
        const double dl = flexLead ? part(lead) : 0, de = flexExtent ? part(extent) : 0;
        lead += dl;
        extent += de;
    };
    const unsigned m = autoresizingMask_;
    double left = f.x, width = f.width, top = f.y, height = f.height;
    share(newSuper.width - oldSuper.width, left, width, oldSuper.width - f.maxX(),
          m & Autoresizing::kFlexibleLeftMargin, m & Autoresizing::kFlexibleWidth,
          m & Autoresizing::kFlexibleRightMargin);
    share(newSuper.height - oldSuper.height, top, height, oldSuper.height - f.maxY(),
          m & Autoresizing::kFlexibleTopMargin, m & Autoresizing::kFlexibleHeight,
          m & Autoresizing::kFlexibleBottomMargin);
    setFrame({left, top, std::max(0.0, width), std::max(0.0, height)});
}

Size View::sizeThatFits(Size) const {
    return size_;
}

void View::sizeToFit() {
    const Size fit = sizeThatFits(size_);
    const Rect f = frame();
    setFrame({f.x, f.y, fit.width, fit.height});
}

void View::setContentMode(ContentMode mode) {
    if (mode == contentMode_) return;
    contentMode_ = mode;
    setNeedsDisplay();
}

void View::setBackgroundColor(const Color& color) {
    if (color == backgroundColor_) return;
    backgroundColor_ = color;
    setNeedsDisplay();
}

void View::setClipsToBounds(bool clips) {
    if (clips == clipsToBounds_) return;
    clipsToBounds_ = clips;
    setNeedsDisplay();
}

void View::setBorderColor(const Color& color) {
    if (color == borderColor_) return;
    borderColor_ = color;
    setNeedsDisplay();
}

void View::setBorderWidth(double width) {
    width = std::isfinite(width) ? std::max(0.0, width) : 0.0;
    if (width == borderWidth_) return;
    borderWidth_ = width;
    setNeedsDisplay();
}

void View::setCornerRadius(double radius) {
    radius = std::isfinite(radius) ? std::max(0.0, radius) : 0.0;
    if (radius == cornerRadius_) return;
    cornerRadius_ = radius;
    setNeedsDisplay();
}

void View::setNeedsDisplay() {
    needsDisplay_ = true;
}

void View::drawRect(cairo_t*, const Rect&) {
    baseDrawRectRan_ = true;
}

void View::roundedRectPath(cairo_t* cr, const Rect& r, double radius) const {
    addRoundedRectPath(cr, r, radius);
}

void addRoundedRectPath(cairo_t* cr, const Rect& r, double radius) {
    radius = std::min({radius, r.width / 2, r.height / 2});
    if (radius <= 0) {
        cairo_rectangle(cr, r.x, r.y, r.width, r.height);
        return;
    }
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.maxX() - radius, r.y + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, r.maxX() - radius, r.maxY() - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, r.x + radius, r.maxY() - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, r.x + radius, r.y + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void View::drawLayerContent(cairo_t* cr, bool border) {
    const Rect b = bounds();
    if (backgroundColor_.isVisible()) {
        cairo_save(cr);
        roundedRectPath(cr, b, cornerRadius_);
        backgroundColor_.setSource(cr);
        cairo_fill(cr);
        cairo_restore(cr);
    }
    cairo_save(cr);
    if (clipsToBounds_) {
        roundedRectPath(cr, b, cornerRadius_);
        cairo_clip(cr);
    }
    baseDrawRectRan_ = false;
    drawRect(cr, b);
    cairo_restore(cr);
    if (border) drawBorder(cr);
}

void View::drawBorder(cairo_t* cr) const {
    if (!(borderWidth_ > 0) || !borderColor_.isVisible()) return;
    cairo_save(cr);
    const double w = std::min({borderWidth_, size_.width / 2, size_.height / 2});
    roundedRectPath(cr, bounds().insetBy(w / 2, w / 2), std::max(0.0, cornerRadius_ - w / 2));
    cairo_set_line_width(cr, w);
    borderColor_.setSource(cr);
    cairo_stroke(cr);
    cairo_restore(cr);
}

namespace {
// A surface of exactly that size, reused when it already has it; cleared unless the caller paints every
// pixel anyway.
cairo_surface_t* surfaceOfSize(cairo_surface_t* surface, int width, int height, bool covered = false) {
    if (surface && cairo_image_surface_get_width(surface) == width &&
        cairo_image_surface_get_height(surface) == height) {
        if (covered) return surface;
        cairo_t* cr = cairo_create(surface);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_destroy(cr);
        return surface;
    }
    if (surface) cairo_surface_destroy(surface);
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return surface;
}
}  // namespace

bool View::updateLayer(double scale) {
    if (!needsDisplay_ && scale == layerScale_) return false;
    needsDisplay_ = false;
    layerScale_ = scale;
    ++layerVersion_;
    const double pw = std::ceil(size_.width * scale - 1e-6), ph = std::ceil(size_.height * scale - 1e-6);
    if (!(scale > 0) || pw < 1 || ph < 1 || pw > kMaxLayerSide || ph > kMaxLayerSide) {
        if (pw > kMaxLayerSide || ph > kMaxLayerSide)
            logError("View: a %.0f x %.0f pixel layer is too large to draw", pw, ph);
        releaseLayer();
        return true;
    }
    const bool background = backgroundColor_.isVisible();
    if (!background && drawsNothingOwn_) {
        if (layer_) cairo_surface_destroy(layer_);
        layer_ = nullptr;
    } else if ((layer_ = surfaceOfSize(layer_, int(pw), int(ph),
                                       backgroundColor_.alpha >= 1 && cornerRadius_ <= 0))) {
        cairo_t* cr = cairo_create(layer_);
        cairo_scale(cr, scale, scale);
        drawLayerContent(cr, false);
        cairo_destroy(cr);
        cairo_surface_flush(layer_);
        drawsNothingOwn_ = baseDrawRectRan_;
        if (drawsNothingOwn_ && !background) {
            cairo_surface_destroy(layer_);
            layer_ = nullptr;
        }
    }
    if (borderWidth_ > 0 && borderColor_.isVisible()) {
        if ((border_ = surfaceOfSize(border_, int(pw), int(ph)))) {
            cairo_t* cr = cairo_create(border_);
            cairo_scale(cr, scale, scale);
            drawBorder(cr);
            cairo_destroy(cr);
            cairo_surface_flush(border_);
        }
    } else if (border_) {
        cairo_surface_destroy(border_);
        border_ = nullptr;
    }
    return true;
}

void View::renderInContext(cairo_t* cr) {
    const bool group = alpha_ < 1;
    if (group) cairo_push_group(cr);
    drawLayerContent(cr, false);
    cairo_save(cr);
    if (clipsToBounds_) {
        roundedRectPath(cr, bounds(), cornerRadius_);
        cairo_clip(cr);
    }
    for (auto& child : std::vector<std::shared_ptr<View>>(subviews_)) {
        if (child->hidden_ || child->alpha_ <= 0) continue;
        const AffineTransform t = child->transformToSuperview(false);
        cairo_save(cr);
        cairo_matrix_t m{t.a, t.b, t.c, t.d, t.tx, t.ty};
        cairo_transform(cr, &m);
        child->renderInContext(cr);
        cairo_restore(cr);
    }
    cairo_restore(cr);
    drawBorder(cr);
    if (group) {
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, alpha_);
    }
}

std::shared_ptr<Image> View::snapshot(double scale) {
    const double pw = std::ceil(size_.width * scale - 1e-6), ph = std::ceil(size_.height * scale - 1e-6);
    if (!(scale > 0) || pw < 1 || ph < 1 || pw > kMaxLayerSide || ph > kMaxLayerSide) return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(pw), int(ph));
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scale, scale);
    renderInContext(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return Image::fromSurface(surface, scale);
}

// --- hierarchy ---

bool View::isDescendantOf(const View* view) const {
    for (const View* v = this; v; v = v->superview_)
        if (v == view) return true;
    return false;
}

Window* View::window() const {
    const View* v = this;
    while (v->superview_) v = v->superview_;
    return dynamic_cast<Window*>(const_cast<View*>(v));
}

void View::addSubview(const std::shared_ptr<View>& view) {
    insertSubview(view, subviews_.size());
}

void View::insertSubview(const std::shared_ptr<View>& view, size_t index) {
    if (!view) return;
    if (isDescendantOf(view.get())) {
        logError("View: a view cannot be added inside itself");
        return;
    }
    std::shared_ptr<View> keep = view;
    keep->removeFromSuperview();
    keep->superview_ = this;
    index = std::min(index, subviews_.size());
    subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), std::move(keep));
}

void View::bringSubviewToFront(const View* view) {
    auto it =
        std::find_if(subviews_.begin(), subviews_.end(), [view](const auto& v) { return v.get() == view; });
    if (it == subviews_.end()) return;
    std::rotate(it, it + 1, subviews_.end());
}

void View::removeFromSuperview() {
    View* parent = superview_;
    if (!parent) return;
    // The last reference may be the superview's: keep the view alive until the removal is done.
    std::shared_ptr<View> keep = weak_from_this().lock();
    superview_ = nullptr;
    auto& list = parent->subviews_;
    auto it = std::find_if(list.begin(), list.end(), [this](const auto& v) { return v.get() == this; });
    if (it != list.end()) list.erase(it);
}

// --- coordinates ---

AffineTransform View::transformToSuperview(bool presentation) const {
    const Size size = presentation ? presentationSize() : size_;
    const Point center = presentation ? presentationCenter() : center_;
    const AffineTransform t = presentation ? presentationTransform() : transform_;
    return AffineTransform::makeTranslation(-size.width / 2, -size.height / 2)
        .concat(t)
        .concat(AffineTransform::makeTranslation(center.x, center.y));
}

AffineTransform View::transformToWindow() const {
    AffineTransform t;
    for (const View* v = this; v->superview_; v = v->superview_) t = t.concat(v->transformToSuperview(false));
    return t;
}

Point View::convertPointToView(Point point, const View* other) const {
    const Point inWindow = transformToWindow().apply(point);
    return other ? other->transformToWindow().inverted().apply(inWindow) : inWindow;
}

Point View::convertPointFromView(Point point, const View* other) const {
    const Point inWindow = other ? other->transformToWindow().apply(point) : point;
    return transformToWindow().inverted().apply(inWindow);
}

// --- events ---

bool View::pointInside(Point point, const Event*) const {
    return bounds().contains(point);
}

View* View::hitTest(Point point, const Event* event) {
    if (hidden_ || !userInteractionEnabled_ || alpha_ < 0.01 || interactionBlockedByAnimation())
        return nullptr;
    if (!pointInside(point, event)) return nullptr;
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        View* child = it->get();
        const Point local = child->transformToSuperview(false).inverted().apply(point);
        if (View* hit = child->hitTest(local, event)) return hit;
    }
    return this;
}

void View::touchesBegan(const TouchSet& touches, const Event& event) {
    if (View* next = nextResponder()) next->touchesBegan(touches, event);
}
void View::touchesMoved(const TouchSet& touches, const Event& event) {
    if (View* next = nextResponder()) next->touchesMoved(touches, event);
}
void View::touchesEnded(const TouchSet& touches, const Event& event) {
    if (View* next = nextResponder()) next->touchesEnded(touches, event);
}
void View::touchesCancelled(const TouchSet& touches, const Event& event) {
    if (View* next = nextResponder()) next->touchesCancelled(touches, event);
}

// --- animation ---

void View::animate(double duration, const Changes& changes, Completion completion) {
    animate(duration, 0, 0, changes, std::move(completion));
}

void View::animate(double duration, double delay, unsigned options, const Changes& changes,
                   Completion completion) {
    duration = std::isfinite(duration) ? std::max(0.0, duration) : 0.0;
    delay = std::isfinite(delay) ? std::max(0.0, delay) : 0.0;
    auto group = std::make_shared<AnimationGroup>();
    group->completion = std::move(completion);
    AnimationParameters parameters{duration, delay, options, group};
    AnimationParameters* outer = gCurrentAnimation;
    // A zero duration changes the model only: nothing is recorded.
    gCurrentAnimation = duration > 0 ? &parameters : nullptr;
    if (changes) changes();
    gCurrentAnimation = outer;
    scheduleCompletion(group, delay + duration);
}

void View::recordAnimation(Property property, std::initializer_list<double> from) {
    const AnimationParameters& p = *gCurrentAnimation;
    Animation a{};
    a.property = property;
    std::copy(from.begin(), from.end(), a.from);
    switch (property) {
        case Property::Alpha:
            a.to[0] = alpha_;
            break;
        case Property::Center:
            a.to[0] = center_.x;
            a.to[1] = center_.y;
            break;
        case Property::Size:
            a.to[0] = size_.width;
            a.to[1] = size_.height;
            break;
        case Property::Transform: {
            const TransformParts t = decompose(transform_);
            const double parts[6] = {t.rotation, t.sx, t.sy, t.shear, t.tx, t.ty};
            std::copy(parts, parts + 6, a.to);
            // Turn the short way round.
            while (a.to[0] - a.from[0] > M_PI) a.to[0] -= 2 * M_PI;
            while (a.from[0] - a.to[0] > M_PI) a.to[0] += 2 * M_PI;
            break;
        }
    }
    a.start = nowMicros() + std::llround(p.delay * 1e6);
    a.duration = std::max<int64_t>(1, std::llround(p.duration * 1e6));
    a.options = p.options;
    a.group = p.group;
    // A new animation of the same property takes over from the one under way.
    for (auto it = animations_.begin(); it != animations_.end();) {
        if (it->property == property) {
            if (it->group != p.group) it->group->finished = false;
            it = animations_.erase(it);
        } else {
            ++it;
        }
    }
    dropFinishedAnimations();
    animations_.push_back(std::move(a));
    if (auto self = weak_from_this().lock()) p.group->views.push_back(self);
}

void View::dropFinishedAnimations() {
    const int64_t now = nowMicros();
    std::erase_if(animations_, [now](const Animation& a) { return now >= a.start + a.duration; });
}

void View::animationGroupEnded(const void* group) {
    std::erase_if(animations_, [group](const Animation& a) { return a.group.get() == group; });
    if (transition_ && transition_->group.get() == group) transition_.reset();
}

double View::animatedValue(Property property, int component, double model) const {
    for (const Animation& a : animations_) {
        if (a.property != property) continue;
        const int64_t now = nowMicros();
        if (now >= a.start + a.duration) return model;
        if (now <= a.start) return a.from[component];
        const double t = applyCurve(a.options, double(now - a.start) / double(a.duration));
        return a.from[component] + (a.to[component] - a.from[component]) * t;
    }
    return model;
}

double View::presentationAlpha() const {
    return animations_.empty() ? alpha_ : animatedValue(Property::Alpha, 0, alpha_);
}

Point View::presentationCenter() const {
    if (animations_.empty()) return center_;
    return {animatedValue(Property::Center, 0, center_.x), animatedValue(Property::Center, 1, center_.y)};
}

Size View::presentationSize() const {
    if (animations_.empty()) return size_;
    return {animatedValue(Property::Size, 0, size_.width), animatedValue(Property::Size, 1, size_.height)};
}

AffineTransform View::presentationTransform() const {
    if (animations_.empty()) return transform_;
    const TransformParts m = decompose(transform_);
    const double model[6] = {m.rotation, m.sx, m.sy, m.shear, m.tx, m.ty};
    bool moving = false;
    double v[6];
    for (int i = 0; i < 6; ++i) {
        v[i] = animatedValue(Property::Transform, i, model[i]);
        moving = moving || v[i] != model[i];
    }
    if (!moving) return transform_;
    return compose({v[0], v[1], v[2], v[3], v[4], v[5]});
}

bool View::isAnimating() const {
    const int64_t now = nowMicros();
    if (transition_ && now < transition_->start + transition_->duration) return true;
    for (const Animation& a : animations_)
        if (now < a.start + a.duration) return true;
    return false;
}

bool View::interactionBlockedByAnimation() const {
    const int64_t now = nowMicros();
    if (transition_ && now < transition_->start + transition_->duration &&
        !(transition_->options & AnimationOption::kAllowUserInteraction))
        return true;
    for (const Animation& a : animations_)
        if (now < a.start + a.duration && !(a.options & AnimationOption::kAllowUserInteraction)) return true;
    return false;
}

void View::transition(const std::shared_ptr<View>& view, double duration, unsigned options,
                      const Changes& changes, Completion completion) {
    if (!view) return;
    duration = std::isfinite(duration) ? std::max(0.0, duration) : 0.0;
    auto group = std::make_shared<AnimationGroup>();
    group->completion = std::move(completion);
    const unsigned kind = options & (7u << 20);
    const bool shown = kind >= AnimationOption::kTransitionFlipFromLeft &&
                       kind <= AnimationOption::kTransitionCurlDown && duration > 0;
    std::shared_ptr<Image> before;
    if (shown) {
        // The picture of the view as it was, at the screen's pixels per point.
        before = view->snapshot(Screen::main().scale());
    }
    if (changes) changes();
    if (shown && before) {
        if (view->transition_ && view->transition_->group) view->transition_->group->finished = false;
        static uint64_t nextId = 1;
        view->transition_.reset(new Transition{kind, nowMicros(),
                                               std::max<int64_t>(1, std::llround(duration * 1e6)), options,
                                               std::move(before), nextId++, group});
        group->views.push_back(view);
    }
    scheduleCompletion(group, duration);
}

View::TransitionState View::transitionState() const {
    if (!transition_) return {};
    const int64_t now = nowMicros();
    if (now >= transition_->start + transition_->duration) return {};
    const double t = std::clamp(double(now - transition_->start) / double(transition_->duration), 0.0, 1.0);
    return {transition_->kind, applyCurve(transition_->options, t), transition_->before.get(),
            transition_->id};
}

}  // namespace plat
