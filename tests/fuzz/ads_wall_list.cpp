// The offer wall's handling of the offer list text: the loader's cleaning and the page's marker
// replacement, on any bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ads/adapters/ADFRWallHtmlSrc.h"
#include "ads/adapters/ZividedirWallJsonEntity.h"
#include "platform/base/Log.h"
#include "platform/base/Utf8.h"

namespace {

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto quiet = plat::setLogSink([](plat::LogLevel, const std::string&) {});
    (void)quiet;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string cleaned = ZividedirWallJsonEntity::cleanedListText(text);
    // Nothing that could end the page's single-quoted script string.
    if (cleaned.find_first_of("\n\r'") != std::string::npos) std::abort();
    if (plat::isValidUtf8(text)) {
        if (cleaned.find_first_of(" \t\v\f") != std::string::npos) std::abort();
        if (cleaned.find("\u3000") != std::string::npos || cleaned.find("\u00a0") != std::string::npos)
            std::abort();
        // Every backslash came doubled, and the cleaning removes none.
        if (count(cleaned, "\\") != 2 * count(text, "\\")) std::abort();
    }

    static const std::string tiles = ADFRWallHtmlSrc::getAdcropsHtml();
    static const size_t scriptEnds = count(tiles, "</script");
    const std::string page = ADFRWallHtmlSrc::withListText(tiles, cleaned);
    // No list text ends a script of the page, or starts markup of its own.
    if (count(page, "</script") != scriptEnds) std::abort();
    if (count(page, "<") != count(tiles, "<")) std::abort();
    return 0;
}
