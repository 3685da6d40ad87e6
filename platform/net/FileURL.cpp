#include "platform/net/FileURL.h"

#include "platform/base/PercentEncoding.h"

namespace plat {

namespace {

constexpr std::string_view kFileScheme = "file://";

bool equalsIgnoringCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}

}  // namespace

std::string fileURLFromPath(const std::filesystem::path& path) {
    if (path.empty()) return {};
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec).lexically_normal();
    if (ec) return {};
    return std::string(kFileScheme) + percentEncoded(full.native(), [](unsigned char c) { return c == '/'; });
}

std::optional<std::filesystem::path> pathFromFileURL(std::string_view url) {
    if (url.size() < kFileScheme.size() ||
        !equalsIgnoringCase(url.substr(0, kFileScheme.size()), kFileScheme))
        return std::nullopt;
    url.remove_prefix(kFileScheme.size());
    url = url.substr(0, url.find_first_of("?#"));
    const size_t slash = url.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    if (slash != 0 && !equalsIgnoringCase(url.substr(0, slash), "localhost")) return std::nullopt;
    auto path = percentDecoded(url.substr(slash));
    if (!path || path->find('\0') != std::string::npos) return std::nullopt;
    return std::filesystem::path(std::move(*path));
}

}  // namespace plat
