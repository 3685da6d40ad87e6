#pragma once
// Mutes or enables a set of audio objects together; targets added later take the group's values.
#include <memory>
#include <vector>

#include "chime/CHAudioProtocols.h"

class CHAudioInterruptTargetGroup : public CHAudioInterruptProtocol {
  public:
    CHAudioInterruptTargetGroup();

    void addAudioInterruptTarget(std::shared_ptr<CHAudioInterruptProtocol> target);
    // Removes that very object, if held.
    void removeAudioInterruptTarget(const std::shared_ptr<CHAudioInterruptProtocol>& target);

    bool mute() const override { return mute_; }
    void setMute(bool mute) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override;

  private:
    bool mute_ = false;
    bool enabled_ = true;
    std::vector<std::shared_ptr<CHAudioInterruptProtocol>> children_;
};
