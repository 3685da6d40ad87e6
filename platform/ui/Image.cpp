#include "platform/ui/Image.h"

#include <algorithm>

#include "platform/base/Log.h"
#include "platform/storage/Bundle.h"
#include "platform/ui/ViewController.h"

namespace plat {

Image::Image(cairo_surface_t* surface, double scale)
    : surface_(surface),
      scale_(scale),
      pixelWidth_(cairo_image_surface_get_width(surface)),
      pixelHeight_(cairo_image_surface_get_height(surface)) {}

Image::~Image() {
    cairo_surface_destroy(surface_);
}

std::shared_ptr<Image> Image::fromSurface(cairo_surface_t* surface, double scale) {
    if (!surface) return nullptr;
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32 || !(scale > 0)) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return std::shared_ptr<Image>(new Image(surface, scale));
}

std::shared_ptr<Image> Image::fromDecoded(const DecodedImage& image, double scale) {
    const size_t pixels = size_t(image.width) * image.height;
    if (pixels == 0 || image.pixels.size() != pixels * 4 || image.width > ImageCodec::kMaxSide ||
        image.height > ImageCodec::kMaxSide)
        return nullptr;
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(image.width), int(image.height));
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    uint8_t* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (uint32_t y = 0; y < image.height; ++y) {
        const uint8_t* src = image.pixels.data() + size_t(y) * image.width * 4;
        auto* dst = reinterpret_cast<uint32_t*>(data + size_t(y) * stride);
        for (uint32_t x = 0; x < image.width; ++x, src += 4) {
            uint32_t r = src[0], g = src[1], b = src[2];
            const uint32_t a = src[3];
            if (!image.premultiplied && a != 255) {
                r = (r * a + 127) / 255;
                g = (g * a + 127) / 255;
                b = (b * a + 127) / 255;
            }
            dst[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(surface);
    return fromSurface(surface, scale);
}

std::shared_ptr<Image> Image::withContentsOfFile(const std::filesystem::path& path, double scale) {
    auto decoded = imageWithContentsOfFile(path);
    if (!decoded) return nullptr;
    return fromDecoded(*decoded, scale);
}

std::shared_ptr<Image> Image::named(const std::string& name) {
    if (name.empty()) return nullptr;
    std::filesystem::path file(name);
    std::string ext = file.extension().string();
    std::string stem = file.stem().string();
    const std::string dir = file.parent_path().string();
    if (ext.empty()) ext = ".png";
    const Bundle bundle = Bundle::main();
    for (const auto& [suffix, scale] : {std::pair<const char*, double>{"@2x", 2}, {"", 1}}) {
        auto path = bundle.pathForResource(stem + suffix, ext.substr(1), dir);
        if (!path.empty() && std::filesystem::is_regular_file(path)) return withContentsOfFile(path, scale);
    }
    return nullptr;
}

void Image::drawInRect(cairo_t* cr, const Rect& rect, double alpha) const {
    if (rect.width <= 0 || rect.height <= 0 || pixelWidth_ <= 0 || pixelHeight_ <= 0) return;
    cairo_save(cr);
    cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
    cairo_clip(cr);
    cairo_translate(cr, rect.x, rect.y);
    cairo_scale(cr, rect.width / pixelWidth_, rect.height / pixelHeight_);
    cairo_set_source_surface(cr, surface_, 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_paint_with_alpha(cr, alpha);
    cairo_restore(cr);
}

DecodedImage Image::toDecoded() const {
    DecodedImage out;
    out.width = uint32_t(pixelWidth_);
    out.height = uint32_t(pixelHeight_);
    out.pixels.resize(size_t(pixelWidth_) * pixelHeight_ * 4);
    out.hasAlpha = true;
    cairo_surface_flush(surface_);
    const uint8_t* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    for (int y = 0; y < pixelHeight_; ++y) {
        const auto* src = reinterpret_cast<const uint32_t*>(data + size_t(y) * stride);
        uint8_t* dst = out.pixels.data() + size_t(y) * pixelWidth_ * 4;
        for (int x = 0; x < pixelWidth_; ++x, dst += 4) {
            const uint32_t p = src[x], a = p >> 24;
            dst[3] = uint8_t(a);
            for (int i = 0; i < 3; ++i) {
                const uint32_t v = (p >> (16 - 8 * i)) & 0xFF;
                dst[i] = uint8_t(a ? std::min<uint32_t>(255, (v * 255 + a / 2) / a) : 0);
            }
        }
    }
    return out;
}

}  // namespace plat
