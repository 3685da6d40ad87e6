#pragma once
// The title bar across the top of the popup's ad box: a vertical two-colour gradient behind the title and
// the close button. The bottom colour carries on past the bar's lower edge.
#include <optional>

#include "platform/ui/Color.h"
#include "platform/ui/View.h"

class ZividedirPopupToolbar : public plat::View {
  public:
    explicit ZividedirPopupToolbar(plat::Rect frame = {}) : plat::View(frame) {}

    static plat::Color defaultStartColor() { return plat::Color::rgba(107.0 / 255, 222.0 / 255, 31.0 / 255); }
    static plat::Color defaultEndColor() { return plat::Color::rgba(49.0 / 255, 172.0 / 255, 0); }

    // Empty selects the default. Setting a colour does not redraw the bar.
    const std::optional<plat::Color>& startColor() const { return startColor_; }
    void setStartColor(std::optional<plat::Color> color) { startColor_ = color; }
    const std::optional<plat::Color>& endColor() const { return endColor_; }
    void setEndColor(std::optional<plat::Color> color) { endColor_ = color; }

    void drawRect(cairo_t* cr, const plat::Rect& rect) override;

  private:
    std::optional<plat::Color> startColor_;
    std::optional<plat::Color> endColor_;
};

// Laid over the popup's superview while the popup loads or shows: the beginning of every touch that lands
// on it stops here, so nothing beneath starts a touch. Later phases take the usual way up the chain.
class ADFRDisableTouchView : public plat::View {
  public:
    explicit ADFRDisableTouchView(plat::Rect frame = {}) : plat::View(frame) {}
    void touchesBegan(const plat::TouchSet&, const plat::Event&) override {}
};
