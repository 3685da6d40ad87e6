#pragma once
// A view controller that sends a screen view named after it each time its view comes on screen.
#include <memory>
#include <optional>
#include <string>

#include "analytics/RUVTracker.h"
#include "platform/ui/ViewController.h"

class RUVTrackedViewController : public plat::ViewController {
  public:
    // Sets "&cd" to the screen name on the tracker (it stays set there) and sends a screen view.
    void viewDidAppear(bool animated) override;

    // Not retained; none means the facade's default tracker.
    std::shared_ptr<RUVTracker> tracker() const { return tracker_.lock(); }
    void setTracker(const std::shared_ptr<RUVTracker>& tracker) { tracker_ = tracker; }
    const std::optional<std::string>& screenName() const { return screenName_; }
    void setScreenName(std::optional<std::string> name) { screenName_ = std::move(name); }

  private:
    std::weak_ptr<RUVTracker> tracker_;
    std::optional<std::string> screenName_;
};
