#include "platform/net/FileURL.h"

#include "platform/base/PercentEncoding.h"
#include "platform/net/NormalURL.h"

namespace plat {

std::string fileURLFromPath(const std::filesystem::path& path) {
    if (path.empty()) return {};
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec).lexically_normal();
    if (ec) return {};
    return "file://" + percentEncoded(full.native(), [](unsigned char c) { return c == '/'; });
}

std::optional<std::filesystem::path> pathFromFileURL(std::string_view url) {
    auto form = NormalURL::of(url);
    if (!form || form->scheme != "file") return std::nullopt;
    auto path = percentDecoded(form->path);
    if (!path) return std::nullopt;
    return std::filesystem::path(std::move(*path));
}

}  // namespace plat
