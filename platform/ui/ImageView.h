#pragma once
// A view that shows a picture, placed by its content mode (scaled to fill unless told otherwise). Like the
// phone's, it takes no touches by default: they go to the view under it.
#include <memory>

#include "platform/ui/Image.h"
#include "platform/ui/View.h"

namespace plat {

class ImageView : public View {
  public:
    explicit ImageView(Rect frame = {});
    // Sized to the picture (in points), at the origin.
    explicit ImageView(std::shared_ptr<Image> image);

    const std::shared_ptr<Image>& image() const { return image_; }
    void setImage(std::shared_ptr<Image> image);

    Size sizeThatFits(Size size) const override;
    void drawRect(cairo_t* cr, const Rect& rect) override;

  private:
    std::shared_ptr<Image> image_;
};

}  // namespace plat
