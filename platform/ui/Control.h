#pragma once
// Controls: views that track a touch from its beginning to its end, keep a state (normal, highlighted,
// disabled, selected) and send actions to their targets for the control events a target asked for.
#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/View.h"

namespace plat {

namespace ControlState {
constexpr unsigned kNormal = 0;
constexpr unsigned kHighlighted = 1;
constexpr unsigned kDisabled = 2;
constexpr unsigned kSelected = 4;
}  // namespace ControlState

namespace ControlEvent {
constexpr unsigned kTouchDown = 1;
constexpr unsigned kTouchDownRepeat = 2;
constexpr unsigned kTouchDragInside = 4;
constexpr unsigned kTouchDragOutside = 8;
constexpr unsigned kTouchDragEnter = 16;
constexpr unsigned kTouchDragExit = 32;
constexpr unsigned kTouchUpInside = 64;
constexpr unsigned kTouchUpOutside = 128;
constexpr unsigned kTouchCancel = 256;
constexpr unsigned kValueChanged = 4096;
constexpr unsigned kAllTouchEvents = 0xFFF;
}  // namespace ControlEvent

class Control : public View {
  public:
    using Action = std::function<void(Control& sender, const Event* event)>;

    explicit Control(Rect frame = {}) : View(frame) {}

    unsigned state() const;
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted);
    bool isTracking() const { return tracking_; }
    bool isTouchInside() const { return touchInside_; }

    // The target is not retained; it only names the actions for removeTarget.
    void addTarget(const void* target, Action action, unsigned events);
    // Every action of `target` (of every target when null) for those events.
    void removeTarget(const void* target, unsigned events);
    void sendActionsForControlEvents(unsigned events, const Event* event = nullptr);

    // Tracking of the touch under way; subclasses add their own and call these.
    virtual bool beginTracking(const Touch& touch, const Event* event);
    virtual bool continueTracking(const Touch& touch, const Event* event);
    virtual void endTracking(const Touch* touch, const Event* event);
    virtual void cancelTracking(const Event* event);

    // A control keeps its touches: no phase goes up the responder chain.
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void touchesCancelled(const TouchSet& touches, const Event& event) override;

  protected:
    // The state changed: by default the look is drawn again.
    virtual void stateChanged() { setNeedsDisplay(); }

  private:
    struct Target {
        const void* target;
        Action action;
        unsigned events;
    };
    std::vector<Target> targets_;
    bool enabled_ = true;
    bool selected_ = false;
    bool highlighted_ = false;
    bool tracking_ = false;
    bool touchInside_ = false;
};

}  // namespace plat
