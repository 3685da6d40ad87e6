#pragma once
// A bar of items laid out from left to right: views of their own (custom-view items) and flexible spaces
// that share the width left over, so an item after one flexible space sits at the right end.
#include <memory>
#include <vector>

#include "platform/ui/View.h"

namespace plat {

class BarButtonItem {
  public:
    enum class SystemItem { FlexibleSpace = 5 };

    static std::shared_ptr<BarButtonItem> flexibleSpace();
    static std::shared_ptr<BarButtonItem> withCustomView(std::shared_ptr<View> view);

    bool isFlexibleSpace() const { return flexible_; }
    const std::shared_ptr<View>& customView() const { return view_; }

  private:
    bool flexible_ = false;
    std::shared_ptr<View> view_;
};

class Toolbar : public View {
  public:
    // Space between the bar's ends and its first and last item, and between items, in points.
    static constexpr double kEdgeMargin = 6;
    static constexpr double kItemSpacing = 8;

    explicit Toolbar(Rect frame = {});

    const std::vector<std::shared_ptr<BarButtonItem>>& items() const { return items_; }
    // The custom views of the items become the bar's subviews (those of the old items leave).
    void setItems(std::vector<std::shared_ptr<BarButtonItem>> items);

    void layoutSubviews() override;
    // The bar's own look: a grey-blue vertical gradient with a dark line along the top.
    void drawRect(cairo_t* cr, const Rect& rect) override;

  private:
    std::vector<std::shared_ptr<BarButtonItem>> items_;
};

}  // namespace plat
