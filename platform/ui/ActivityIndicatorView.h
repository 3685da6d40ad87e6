#pragma once
// The spinning wheel: twelve spokes, the brightest one stepping round twelve times a second on the main
// run loop while it animates. Style 0 (large white) is 37 points across; the wheel sits in the middle
// of whatever frame the view is given.
#include "platform/runloop/RunLoop.h"
#include "platform/ui/View.h"

namespace plat {

class ActivityIndicatorView : public View {
  public:
    enum class Style { WhiteLarge = 0, White = 1, Gray = 2 };

    explicit ActivityIndicatorView(Style style = Style::WhiteLarge);
    ~ActivityIndicatorView() override;

    Style style() const { return style_; }
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return timer_ != 0; }
    // Hidden while stopped (the default).
    bool hidesWhenStopped() const { return hidesWhenStopped_; }
    void setHidesWhenStopped(bool hides);
    // Which spoke is the brightest, 0 to 11.
    int step() const { return step_; }

    Size sizeThatFits(Size size) const override;
    void drawRect(cairo_t* cr, const Rect& rect) override;

  private:
    double wheelSize() const { return style_ == Style::WhiteLarge ? 37 : 20; }

    Style style_;
    bool hidesWhenStopped_ = true;
    int step_ = 0;
    RunLoop::TimerId timer_ = 0;
};

}  // namespace plat
