// Addresses from outside (a wall page's own, the engine's navigations): any bytes give the engine's one
// form, which reads back as itself, or nothing; a file address's path and percent-encoded text come back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/base/PercentEncoding.h"
#include "platform/net/FileURL.h"
#include "platform/net/NormalURL.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (plat::percentDecoded(plat::percentEncoded(text)) != text) std::abort();
    if (auto form = plat::NormalURL::of(text)) {
        const std::string segments = form->path + "/";
        if (form->path.front() != '/' || segments.find("/./") != std::string::npos ||
            segments.find("/../") != std::string::npos)
            std::abort();
        std::string spelled = form->scheme + "://" + form->host;
        if (form->web()) spelled += ":" + std::to_string(form->port);
        if (plat::NormalURL::of(spelled + form->path) != form) std::abort();
    }
    if (auto path = plat::pathFromFileURL(text)) {
        if (plat::pathFromFileURL(plat::fileURLFromPath(*path)) != path->lexically_normal()) std::abort();
    }
    return 0;
}
