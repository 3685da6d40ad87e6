#include "platform/media/ImageCodec.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// clang-format off
#include <png.h>
#include <jpeglib.h>
#include <jerror.h>
#include <tiffio.h>
#include <webp/decode.h>
// clang-format on

#include "platform/base/Log.h"

namespace plat {

namespace {

bool sizeAllowed(const char* kind, uint64_t width, uint64_t height) {
    if (width == 0 || height == 0) {
        logError("%s image has an empty size (%llu x %llu)", kind, (unsigned long long)width,
                 (unsigned long long)height);
        return false;
    }
    if (width > ImageCodec::kMaxSide || height > ImageCodec::kMaxSide ||
        width * height > ImageCodec::kMaxPixels) {
        logError("%s image of %llu x %llu pixels is too large", kind, (unsigned long long)width,
                 (unsigned long long)height);
        return false;
    }
    return true;
}

bool allocatePixels(DecodedImage& image, uint32_t width, uint32_t height) {
    try {
        image.pixels.assign(size_t(width) * height * 4, 0);
    } catch (const std::bad_alloc&) {
        logError("Out of memory for a %u x %u image", width, height);
        return false;
    }
    image.width = width;
    image.height = height;
    return true;
}

void finishAlpha(DecodedImage& image, bool sourcePremultiplied, AlphaMode alpha) {
    const size_t count = size_t(image.width) * image.height;
    if (!image.hasAlpha) {
        image.premultiplied = false;
        return;
    }
    if (alpha == AlphaMode::Premultiplied && !sourcePremultiplied) {
        ImageCodec::premultiply(image.pixels.data(), count);
    } else if (alpha == AlphaMode::Straight && sourcePremultiplied) {
        ImageCodec::unpremultiply(image.pixels.data(), count);
    }
    image.premultiplied = alpha == AlphaMode::Premultiplied;
}

// ---- PNG ----

struct PngReadState {
    const uint8_t* data;
    size_t size;
    size_t offset;
    char error[160];
};

void pngRead(png_structp png, png_bytep out, size_t length) {
    auto* state = static_cast<PngReadState*>(png_get_io_ptr(png));
    if (length > state->size - state->offset) png_error(png, "file is truncated");
    std::memcpy(out, state->data + state->offset, length);
    state->offset += length;
}

void pngError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngReadState*>(png_get_error_ptr(png));
    if (state) std::snprintf(state->error, sizeof state->error, "%s", message);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// Everything between setjmp and a possible longjmp lives in the caller's frame, so no destructor is skipped.
bool readPngHeader(png_structp png, png_infop info, PngReadState* state, uint32_t* width, uint32_t* height,
                   bool* hasAlpha) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, state, pngRead);
    png_set_user_limits(png, ImageCodec::kMaxSide, ImageCodec::kMaxSide);
    png_read_info(png, info);

    png_uint_32 w = 0, h = 0;
    int depth = 0, colorType = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colorType, nullptr, nullptr, nullptr);
    const int channels = png_get_channels(png, info);
    *hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    *width = w;
    *height = h;

    // Deflate cannot shrink data by more than about 1032:1, so a header promising more pixels than the file
    // could hold is refused before the pixel buffer is made.
    const uint64_t rawBytes = uint64_t(h) * ((uint64_t(w) * channels * depth + 7) / 8 + 1);
    if (rawBytes > uint64_t(state->size) * 1032 + 1024) {
        std::snprintf(state->error, sizeof state->error, "%u x %u pixels cannot fit in %zu bytes", w, h,
                      state->size);
        return false;
    }

    png_set_expand(png);
    if (depth == 16) png_set_scale_16(png);
    if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    if (!*hasAlpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(w) * 4) {
        std::snprintf(state->error, sizeof state->error, "unsupported pixel layout");
        return false;
    }
    return true;
}

bool readPngPixels(png_structp png, png_infop info, png_bytep* rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

// ---- JPEG ----

struct JpegErrorState {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    bool truncated;
    char message[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr cinfo) {
    auto* state = reinterpret_cast<JpegErrorState*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, state->message);
    std::longjmp(state->jump, 1);
}

void jpegEmitMessage(j_common_ptr cinfo, int level) {
    auto* state = reinterpret_cast<JpegErrorState*>(cinfo->err);
    if (level < 0) {
        // The library pads a truncated stream with grey and goes on; a cut-off file is refused instead.
        if (cinfo->err->msg_code == JWRN_JPEG_EOF) {
            state->truncated = true;
            (*cinfo->err->format_message)(cinfo, state->message);
        }
        cinfo->err->num_warnings++;
    }
}

bool readJpeg(jpeg_decompress_struct* cinfo, JpegErrorState* err, const uint8_t* data, size_t size,
              DecodedImage* image) {
    if (setjmp(err->jump)) return false;
    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = 512L * 1024 * 1024;
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK || err->truncated) {
        std::snprintf(err->message, sizeof err->message, "no image in the data");
        return false;
    }
    if (!sizeAllowed("JPEG", cinfo->image_width, cinfo->image_height)) {
        err->message[0] = 0;
        return false;
    }
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != 4 || !allocatePixels(*image, cinfo->output_width, cinfo->output_height)) {
        std::snprintf(err->message, sizeof err->message, "unsupported colour layout");
        return false;
    }
    const size_t stride = size_t(image->width) * 4;
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = image->pixels.data() + size_t(cinfo->output_scanline) * stride;
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return false;
        if (err->truncated) return false;
    }
    jpeg_finish_decompress(cinfo);
    if (err->truncated) return false;
    if (cmyk) {
        // Files written with the Adobe marker store inverted ink amounts.
        const bool inverted = cinfo->saw_Adobe_marker;
        uint8_t* p = image->pixels.data();
        for (size_t i = 0, n = size_t(image->width) * image->height; i < n; ++i, p += 4) {
            unsigned c = p[0], m = p[1], y = p[2], k = p[3];
            if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
            p[0] = uint8_t((c * k + 127) / 255);
            p[1] = uint8_t((m * k + 127) / 255);
            p[2] = uint8_t((y * k + 127) / 255);
            p[3] = 255;
        }
    }
    return true;
}

struct JpegWriteState {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegWriteErrorExit(j_common_ptr cinfo) {
    auto* state = reinterpret_cast<JpegWriteState*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, state->message);
    std::longjmp(state->jump, 1);
}

bool writeJpeg(jpeg_compress_struct* cinfo, JpegWriteState* err, const uint8_t* pixels, uint32_t width,
               uint32_t height, int channels, int quality, unsigned char** out, unsigned long* outSize) {
    if (setjmp(err->jump)) return false;
    jpeg_create_compress(cinfo);
    jpeg_mem_dest(cinfo, out, outSize);
    cinfo->image_width = width;
    cinfo->image_height = height;
    cinfo->input_components = channels;
    cinfo->in_color_space = channels == 4 ? JCS_EXT_RGBX : JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    const size_t stride = size_t(width) * channels;
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW row = const_cast<uint8_t*>(pixels) + size_t(cinfo->next_scanline) * stride;
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

// ---- TIFF ----

struct TiffSource {
    const uint8_t* data;
    toff_t size;
    toff_t position;
    char error[256];
};

tsize_t tiffRead(thandle_t handle, tdata_t buffer, tsize_t length) {
    auto* source = static_cast<TiffSource*>(handle);
    if (length <= 0 || source->position >= source->size) return 0;
    const toff_t count = std::min<toff_t>(toff_t(length), source->size - source->position);
    std::memcpy(buffer, source->data + source->position, count);
    source->position += count;
    return tsize_t(count);
}

tsize_t tiffWrite(thandle_t, tdata_t, tsize_t) {
    return -1;
}

toff_t tiffSeek(thandle_t handle, toff_t offset, int whence) {
    auto* source = static_cast<TiffSource*>(handle);
    uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = source->position;
    else if (whence == SEEK_END)
        base = source->size;
    if (offset > UINT64_MAX - base) return toff_t(-1);
    source->position = base + offset;
    return source->position;
}

int tiffClose(thandle_t) {
    return 0;
}
toff_t tiffSize(thandle_t handle) {
    return static_cast<TiffSource*>(handle)->size;
}
int tiffMap(thandle_t, tdata_t*, toff_t*) {
    return 0;
}
void tiffUnmap(thandle_t, tdata_t, toff_t) {}

int tiffErrorHandler(TIFF*, void* user, const char* module, const char* format, va_list args) {
    auto* source = static_cast<TiffSource*>(user);
    if (source->error[0] == 0) {
        char text[200];
        std::vsnprintf(text, sizeof text, format, args);
        std::snprintf(source->error, sizeof source->error, "%s: %s", module ? module : "tiff", text);
    }
    return 1;
}

int tiffWarningHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// ---- PNG writing ----

struct PngWriteState {
    std::vector<uint8_t>* out;
    char error[160];
};

void pngWrite(png_structp png, png_bytep data, size_t length) {
    auto* state = static_cast<PngWriteState*>(png_get_io_ptr(png));
    try {
        state->out->insert(state->out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        png_error(png, "out of memory");
    }
}

void pngFlush(png_structp) {}

void pngWriteError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngWriteState*>(png_get_error_ptr(png));
    if (state) std::snprintf(state->error, sizeof state->error, "%s", message);
    png_longjmp(png, 1);
}

bool writePng(png_structp png, png_infop info, PngWriteState* state, png_bytep* rows, uint32_t width,
              uint32_t height, int channels) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, state, pngWrite, pngFlush);
    png_set_IHDR(png, info, width, height, 8, channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

}  // namespace

ImageFileFormat ImageCodec::sniff(const uint8_t* data, size_t size) {
    if (!data) return ImageFileFormat::Unknown;
    if (size >= 8 && png_sig_cmp(data, 0, 8) == 0) return ImageFileFormat::Png;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return ImageFileFormat::Jpeg;
    if (size >= 4 && ((std::memcmp(data, "II*\0", 4) == 0) || (std::memcmp(data, "MM\0*", 4) == 0) ||
                      std::memcmp(data, "II+\0", 4) == 0 || std::memcmp(data, "MM\0+", 4) == 0))
        return ImageFileFormat::Tiff;
    if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0)
        return ImageFileFormat::WebP;
    return ImageFileFormat::Unknown;
}

std::optional<DecodedImage> ImageCodec::decode(const uint8_t* data, size_t size, AlphaMode alpha) {
    switch (sniff(data, size)) {
        case ImageFileFormat::Png:
            return decodePng(data, size, alpha);
        case ImageFileFormat::Jpeg:
            return decodeJpeg(data, size, alpha);
        case ImageFileFormat::Tiff:
            return decodeTiff(data, size, alpha);
        case ImageFileFormat::WebP:
            return decodeWebP(data, size, alpha);
        case ImageFileFormat::Unknown:
            break;
    }
    logError("Image data of %zu bytes is in no known format", data ? size : 0);
    return std::nullopt;
}

std::optional<DecodedImage> ImageCodec::decodePng(const uint8_t* data, size_t size, AlphaMode alpha) {
    if (sniff(data, size) != ImageFileFormat::Png) {
        logError("PNG decode: not a PNG file");
        return std::nullopt;
    }
    PngReadState state{data, size, 0, {0}};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        logError("PNG decode: out of memory");
        return std::nullopt;
    }
    DecodedImage image;
    std::vector<png_bytep> rows;
    uint32_t width = 0, height = 0;
    bool hasAlpha = false, ok = false;
    if (readPngHeader(png, info, &state, &width, &height, &hasAlpha)) {
        if (!sizeAllowed("PNG", width, height) || !allocatePixels(image, width, height)) {
            png_destroy_read_struct(&png, &info, nullptr);
            return std::nullopt;
        }
        rows.resize(height);
        for (uint32_t y = 0; y < height; ++y) rows[y] = image.pixels.data() + size_t(y) * width * 4;
        ok = readPngPixels(png, info, rows.data());
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) {
        logError("PNG decode failed: %s", state.error[0] ? state.error : "unknown error");
        return std::nullopt;
    }
    image.hasAlpha = hasAlpha;
    finishAlpha(image, false, alpha);
    return image;
}

std::optional<DecodedImage> ImageCodec::decodeJpeg(const uint8_t* data, size_t size, AlphaMode) {
    if (sniff(data, size) != ImageFileFormat::Jpeg) {
        logError("JPEG decode: not a JPEG file");
        return std::nullopt;
    }
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    JpegErrorState err;
    std::memset(&err, 0, sizeof err);
    cinfo.err = jpeg_std_error(&err.manager);
    err.manager.error_exit = jpegErrorExit;
    err.manager.emit_message = jpegEmitMessage;
    DecodedImage image;
    const bool ok = readJpeg(&cinfo, &err, data, size, &image);
    jpeg_destroy_decompress(&cinfo);
    if (!ok) {
        if (err.message[0] || err.truncated)
            logError("JPEG decode failed: %s", err.truncated ? "file is truncated" : err.message);
        return std::nullopt;
    }
    image.hasAlpha = false;
    image.premultiplied = false;
    return image;
}

std::optional<DecodedImage> ImageCodec::decodeTiff(const uint8_t* data, size_t size, AlphaMode alpha) {
    if (sniff(data, size) != ImageFileFormat::Tiff) {
        logError("TIFF decode: not a TIFF file");
        return std::nullopt;
    }
    TiffSource source{data, toff_t(size), 0, {0}};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) {
        logError("TIFF decode: out of memory");
        return std::nullopt;
    }
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, 256 * 1024 * 1024);
    TIFFOpenOptionsSetErrorHandlerExtR(options, tiffErrorHandler, &source);
    TIFFOpenOptionsSetWarningHandlerExtR(options, tiffWarningHandler, &source);
    TIFF* tiff = TIFFClientOpenExt("memory", "rm", &source, tiffRead, tiffWrite, tiffSeek, tiffClose,
                                   tiffSize, tiffMap, tiffUnmap, options);
    TIFFOpenOptionsFree(options);
    if (!tiff) {
        logError("TIFF decode failed: %s", source.error[0] ? source.error : "cannot open");
        return std::nullopt;
    }

    DecodedImage image;
    bool ok = false;
    bool sourcePremultiplied = false;
    char message[1024] = {0};
    TIFFRGBAImage reader;
    if (TIFFRGBAImageOK(tiff, message) && TIFFRGBAImageBegin(&reader, tiff, 1, message)) {
        reader.req_orientation = ORIENTATION_TOPLEFT;
        if (sizeAllowed("TIFF", reader.width, reader.height) &&
            allocatePixels(image, reader.width, reader.height)) {
            // The raster is 32-bit words whose low byte is red, i.e. R, G, B, A in memory on this host.
            ok = TIFFRGBAImageGet(&reader, reinterpret_cast<uint32_t*>(image.pixels.data()), reader.width,
                                  reader.height) != 0;
            image.hasAlpha = reader.alpha != 0;
            // Unassociated alpha is multiplied in on the way out, so the raster is always premultiplied.
            sourcePremultiplied = true;
        }
        TIFFRGBAImageEnd(&reader);
    } else if (!source.error[0]) {
        // The library's message is cut to what the error buffer holds.
        std::snprintf(source.error, sizeof source.error, "%.*s", static_cast<int>(sizeof source.error - 1),
                      message);
    }
    TIFFClose(tiff);
    if (!ok) {
        if (source.error[0] || image.width) logError("TIFF decode failed: %s", source.error);
        return std::nullopt;
    }
    finishAlpha(image, sourcePremultiplied, alpha);
    return image;
}

std::optional<DecodedImage> ImageCodec::decodeWebP(const uint8_t* data, size_t size, AlphaMode alpha) {
    if (sniff(data, size) != ImageFileFormat::WebP) {
        logError("WebP decode: not a WebP file");
        return std::nullopt;
    }
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config) || WebPGetFeatures(data, size, &config.input) != VP8_STATUS_OK) {
        logError("WebP decode failed: unreadable header");
        return std::nullopt;
    }
    if (!sizeAllowed("WebP", uint32_t(config.input.width), uint32_t(config.input.height)))
        return std::nullopt;
    DecodedImage image;
    if (!allocatePixels(image, config.input.width, config.input.height)) return std::nullopt;
    image.hasAlpha = config.input.has_alpha != 0;
    const bool premultiply = image.hasAlpha && alpha == AlphaMode::Premultiplied;
    config.output.colorspace = premultiply ? MODE_rgbA : MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.pixels.data();
    config.output.u.RGBA.stride = int(image.width * 4);
    config.output.u.RGBA.size = image.pixels.size();
    const VP8StatusCode status = WebPDecode(data, size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) {
        logError("WebP decode failed with status %d", int(status));
        return std::nullopt;
    }
    image.premultiplied = premultiply;
    return image;
}

std::optional<std::vector<uint8_t>> ImageCodec::encodePng(const uint8_t* pixels, uint32_t width,
                                                          uint32_t height, int channels,
                                                          bool premultipliedInput) {
    if (!pixels || (channels != 3 && channels != 4) || !sizeAllowed("PNG", width, height)) {
        logError("PNG encode: bad arguments");
        return std::nullopt;
    }
    std::vector<uint8_t> straight;
    const uint8_t* source = pixels;
    if (channels == 4 && premultipliedInput) {
        straight.assign(pixels, pixels + size_t(width) * height * 4);
        unpremultiply(straight.data(), size_t(width) * height);
        source = straight.data();
    }
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y)
        rows[y] = const_cast<png_bytep>(source) + size_t(y) * width * channels;

    std::vector<uint8_t> out;
    PngWriteState state{&out, {0}};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, pngWriteError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool ok = info && writePng(png, info, &state, rows.data(), width, height, channels);
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (!ok) {
        logError("PNG encode failed: %s", state.error[0] ? state.error : "out of memory");
        return std::nullopt;
    }
    return out;
}

std::optional<std::vector<uint8_t>> ImageCodec::encodeJpeg(const uint8_t* pixels, uint32_t width,
                                                           uint32_t height, int channels, int quality) {
    if (!pixels || (channels != 3 && channels != 4) || !sizeAllowed("JPEG", width, height) ||
        width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) {
        logError("JPEG encode: bad arguments");
        return std::nullopt;
    }
    jpeg_compress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    JpegWriteState err;
    std::memset(&err, 0, sizeof err);
    cinfo.err = jpeg_std_error(&err.manager);
    err.manager.error_exit = jpegWriteErrorExit;
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    const bool ok = writeJpeg(&cinfo, &err, pixels, width, height, channels, std::clamp(quality, 0, 100),
                              &buffer, &length);
    jpeg_destroy_compress(&cinfo);
    std::optional<std::vector<uint8_t>> result;
    if (ok)
        result.emplace(buffer, buffer + length);
    else
        logError("JPEG encode failed: %s", err.message);
    std::free(buffer);
    return result;
}

void ImageCodec::premultiply(uint8_t* rgba, size_t pixelCount) {
    for (size_t i = 0; i < pixelCount; ++i, rgba += 4) {
        const unsigned a = rgba[3];
        if (a == 255) continue;
        rgba[0] = uint8_t((rgba[0] * a + 127) / 255);
        rgba[1] = uint8_t((rgba[1] * a + 127) / 255);
        rgba[2] = uint8_t((rgba[2] * a + 127) / 255);
    }
}

void ImageCodec::unpremultiply(uint8_t* rgba, size_t pixelCount) {
    for (size_t i = 0; i < pixelCount; ++i, rgba += 4) {
        const unsigned a = rgba[3];
        if (a == 255) continue;
        if (a == 0) {
            rgba[0] = rgba[1] = rgba[2] = 0;
            continue;
        }
        for (int c = 0; c < 3; ++c) rgba[c] = uint8_t(std::min(255u, (rgba[c] * 255 + a / 2) / a));
    }
}

}  // namespace plat
