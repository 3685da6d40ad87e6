#include "chime/CHAudioInterruptTargetGroup.h"

#include <algorithm>

CHAudioInterruptTargetGroup::CHAudioInterruptTargetGroup() {
    children_.reserve(32);
}

void CHAudioInterruptTargetGroup::addAudioInterruptTarget(std::shared_ptr<CHAudioInterruptProtocol> target) {
    if (!target) return;
    target->setMute(mute_);
    target->setEnabled(enabled_);
    children_.push_back(std::move(target));
}

void CHAudioInterruptTargetGroup::removeAudioInterruptTarget(
    const std::shared_ptr<CHAudioInterruptProtocol>& target) {
    auto it = std::find(children_.begin(), children_.end(), target);
    if (it != children_.end()) children_.erase(it);
}

void CHAudioInterruptTargetGroup::setMute(bool mute) {
    if (mute == mute_) return;
    mute_ = mute;
    for (auto& child : children_) child->setMute(mute);
}

void CHAudioInterruptTargetGroup::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    for (auto& child : children_) child->setEnabled(enabled);
}
