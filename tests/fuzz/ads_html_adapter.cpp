// The HTML ad adapter's handling of outside input: placeholder substitution on any HTML, and the blank
// test on a bitmap of any size and bytes (the first four bytes give its width and height).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ads/adapters/ZIZRadWebView.h"
#include "platform/base/Log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto quiet = plat::setLogSink([](plat::LogLevel, const std::string&) {});
    (void)quiet;
    const std::string html(reinterpret_cast<const char*>(data), size);
    const std::string substituted = ZIZRadWebView::substitutePlaceholders(html);
    // Text without a placeholder's opening bracket comes back as it was.
    if (html.find('[') == std::string::npos && substituted != html) std::abort();

    if (size < 4) return 0;
    // Sides up to 1023 x 1023 (negative and zero sides included) over the remaining bytes, repeated.
    const int width = int((data[0] | (data[1] << 8)) & 0x3ff) - 1;
    const int height = int((data[2] | (data[3] << 8)) & 0x3ff) - 1;
    if (width <= 0 || height <= 0) {
        if (ZIZRadWebView::sampledRowHasContent(data, width, height)) std::abort();
        return 0;
    }
    // The bytes after the sides, repeated; copied in doubling blocks, so a 4 MB bitmap costs a few copies
    // rather than a loop over every byte.
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
    const size_t period = size - 4;
    if (period > 0) {
        size_t filled = std::min(period, pixels.size());
        std::memcpy(pixels.data(), data + 4, filled);
        while (filled < pixels.size()) {
            const size_t block = std::min(filled, pixels.size() - filled);
            std::memcpy(pixels.data() + filled, pixels.data(), block);
            filled += block;
        }
    }
    const bool content = ZIZRadWebView::sampledRowHasContent(pixels.data(), width, height);
    // A bitmap of one byte value throughout is blank whatever its size.
    const bool uniform = std::memcmp(pixels.data(), pixels.data() + 1, pixels.size() - 1) == 0;
    if (uniform && content) std::abort();
    return 0;
}
