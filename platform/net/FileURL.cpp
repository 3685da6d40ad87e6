#include "platform/net/FileURL.h"

namespace plat {

namespace {

constexpr std::string_view kFileScheme = "file://";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

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
    const std::filesystem::path full = path.is_absolute() ? path : std::filesystem::absolute(path, ec);
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

std::string percentEncoded(std::string_view text, bool (*keep)(unsigned char)) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        // ASCII ranges, not the C library's classes, which follow the locale.
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~' || (keep && keep(c))) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

}  // namespace plat
