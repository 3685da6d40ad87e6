#pragma once
// A picture for views: premultiplied pixels held as a cairo surface, with a scale (pixels per point) so
// that a "@2x" file has the point size of its plain sibling. Immutable once made.
#include <cairo.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/media/ImageCodec.h"
#include "platform/ui/Geometry.h"

namespace plat {

class Image {
  public:
    // A bundle resource: "name@2x.ext" first, then "name.ext" (".png" when the name has no extension).
    // Null when neither exists or the file cannot be decoded.
    static std::shared_ptr<Image> named(const std::string& name);
    static std::shared_ptr<Image> withContentsOfFile(const std::filesystem::path& path, double scale = 1);
    // Null for an empty or inconsistent picture.
    static std::shared_ptr<Image> fromDecoded(const DecodedImage& image, double scale = 1);
    // Takes the surface (an ARGB32 image surface) over.
    static std::shared_ptr<Image> fromSurface(cairo_surface_t* surface, double scale);

    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // In points.
    Size size() const { return {pixelWidth_ / scale_, pixelHeight_ / scale_}; }
    double scale() const { return scale_; }
    int pixelWidth() const { return pixelWidth_; }
    int pixelHeight() const { return pixelHeight_; }
    cairo_surface_t* surface() const { return surface_; }

    // Draws the whole picture scaled into `rect` (points of `cr`'s user space) at `alpha`.
    void drawInRect(cairo_t* cr, const Rect& rect, double alpha = 1) const;
    // RGBA, straight alpha, top row first (for files and tests).
    DecodedImage toDecoded() const;

  private:
    Image(cairo_surface_t* surface, double scale);
    cairo_surface_t* surface_;
    double scale_;
    int pixelWidth_;
    int pixelHeight_;
};

}  // namespace plat
