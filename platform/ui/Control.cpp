#include "platform/ui/Control.h"

namespace plat {

unsigned Control::state() const {
    return (highlighted_ ? ControlState::kHighlighted : 0) | (enabled_ ? 0 : ControlState::kDisabled) |
           (selected_ ? ControlState::kSelected : 0);
}

void Control::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    stateChanged();
}

void Control::setSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    stateChanged();
}

void Control::setHighlighted(bool highlighted) {
    if (highlighted == highlighted_) return;
    highlighted_ = highlighted;
    stateChanged();
}

void Control::addTarget(const void* target, Action action, unsigned events) {
    if (!action || !events) return;
    targets_.push_back({target, std::move(action), events});
}

void Control::removeTarget(const void* target, unsigned events) {
    for (auto it = targets_.begin(); it != targets_.end();) {
        if (!target || it->target == target) it->events &= ~events;
        it = it->events ? it + 1 : targets_.erase(it);
    }
}

void Control::sendActionsForControlEvents(unsigned events, const Event* event) {
    // An action may change the targets or drop the control: work on a copy, with the control kept alive.
    std::vector<Action> actions;
    for (const Target& t : targets_)
        if (t.events & events) actions.push_back(t.action);
    if (actions.empty()) return;
    std::shared_ptr<View> keep = weak_from_this().lock();
    for (Action& action : actions) action(*this, event);
}

bool Control::beginTracking(const Touch&, const Event*) {
    return true;
}
bool Control::continueTracking(const Touch&, const Event*) {
    return true;
}
void Control::endTracking(const Touch*, const Event*) {}
void Control::cancelTracking(const Event*) {}

void Control::touchesBegan(const TouchSet& touches, const Event& event) {
    if (!enabled_ || touches.empty()) return;
    std::shared_ptr<View> keep = weak_from_this().lock();
    touchInside_ = true;
    setHighlighted(true);
    tracking_ = beginTracking(*touches.front(), &event);
    sendActionsForControlEvents(ControlEvent::kTouchDown, &event);
}

void Control::touchesMoved(const TouchSet& touches, const Event& event) {
    if (!enabled_ || touches.empty()) return;
    std::shared_ptr<View> keep = weak_from_this().lock();
    const bool wasInside = touchInside_;
    touchInside_ = pointInside(touches.front()->locationInView(this), &event);
    setHighlighted(touchInside_);
    if (tracking_) tracking_ = continueTracking(*touches.front(), &event);
    unsigned events = touchInside_ ? ControlEvent::kTouchDragInside : ControlEvent::kTouchDragOutside;
    if (touchInside_ != wasInside)
        events |= touchInside_ ? ControlEvent::kTouchDragEnter : ControlEvent::kTouchDragExit;
    sendActionsForControlEvents(events, &event);
}

void Control::touchesEnded(const TouchSet& touches, const Event& event) {
    if (!enabled_ || touches.empty()) return;
    std::shared_ptr<View> keep = weak_from_this().lock();
    touchInside_ = pointInside(touches.front()->locationInView(this), &event);
    setHighlighted(false);
    if (tracking_) endTracking(touches.front().get(), &event);
    tracking_ = false;
    sendActionsForControlEvents(touchInside_ ? ControlEvent::kTouchUpInside : ControlEvent::kTouchUpOutside,
                                &event);
    touchInside_ = false;
}

void Control::touchesCancelled(const TouchSet& touches, const Event& event) {
    (void)touches;
    std::shared_ptr<View> keep = weak_from_this().lock();
    setHighlighted(false);
    if (tracking_) cancelTracking(&event);
    tracking_ = false;
    touchInside_ = false;
    sendActionsForControlEvents(ControlEvent::kTouchCancel, &event);
}

}  // namespace plat
