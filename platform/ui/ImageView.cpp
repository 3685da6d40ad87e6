#include "platform/ui/ImageView.h"

namespace plat {

ImageView::ImageView(Rect frame) : View(frame) {
    setUserInteractionEnabled(false);
}

ImageView::ImageView(std::shared_ptr<Image> image) : ImageView(Rect{}) {
    if (image) setFrame({0, 0, image->size().width, image->size().height});
    image_ = std::move(image);
}

void ImageView::setImage(std::shared_ptr<Image> image) {
    if (image == image_) return;
    image_ = std::move(image);
    setNeedsDisplay();
}

Size ImageView::sizeThatFits(Size) const {
    return image_ ? image_->size() : Size{};
}

void ImageView::drawRect(cairo_t* cr, const Rect& rect) {
    if (image_) image_->drawInRect(cr, contentRect(contentMode(), image_->size(), rect));
}

}  // namespace plat
