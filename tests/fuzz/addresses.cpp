// Addresses from outside (a wall page's own, the engine's navigations): any bytes give the engine's one
// form, which reads back as itself, or nothing; a file address's path and percent-encoded text come back;
// and the wall's gate lets nothing through that a URL parser, or a server that decodes escaped "/", "\"
// (in a web address) and "." before it resolves "..", reads as outside the page.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ads/base/ADFREndpoints.h"
#include "platform/base/PercentEncoding.h"
#include "platform/net/FileURL.h"
#include "platform/net/NormalURL.h"

namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return out;
}

// Origin and path segments (each decoded) of an http(s) or file address, read on their own as a URL
// parser does: ends stripped of spaces and controls, tabs and line feeds dropped, "\" as "/", "%2e" as
// ".", a drive letter that begins a file path kept before any "..". `decoding` reads "%2f" as "/" too,
// and in a web address "%5c" (a file name may hold a "\"). None for the shapes the gate never needs to
// allow.
std::optional<std::vector<std::string>> parsed(std::string_view text, bool decoding) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    std::string url;
    for (char c : text)
        if (c != '\t' && c != '\n' && c != '\r') url += c == '\\' ? '/' : c;
    url = url.substr(0, url.find_first_of("?#"));
    const size_t colon = url.find("://");
    if (colon == std::string::npos) return std::nullopt;
    const std::string scheme = lowered(url.substr(0, colon));
    const size_t slash = url.find('/', colon + 3);
    std::string origin = lowered(url.substr(colon + 3, slash - colon - 3));
    if (origin.find('@') != std::string::npos) return std::nullopt;
    if (scheme == "file" && origin == "localhost") origin.clear();
    const size_t port = origin.rfind(':');
    if (scheme != "file" && port != std::string::npos && origin.find(']', port) == std::string::npos) {
        const std::string digits = origin.substr(port + 1);
        if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        const int number = digits.empty() ? -1 : std::stoi(digits);
        origin.resize(port);
        if (number >= 0 && number != (scheme == "https" ? 443 : 80)) origin += ":" + std::to_string(number);
    }
    std::vector<std::string> segments{scheme + "://" + origin};
    std::string path = slash == std::string::npos ? "/" : url.substr(slash);
    for (size_t at = 0; (at = path.find('%', at)) != std::string::npos; ++at) {
        const std::string escape = lowered(path.substr(at, 3));
        if (escape == "%2e" || (decoding && (escape == "%2f" || (escape == "%5c" && scheme != "file"))))
            path.replace(at, 3, escape == "%2e" ? "." : "/");
    }
    bool drive = false;
    for (size_t start = 1;; ++start) {
        const size_t end = path.find('/', start);
        const std::string segment = path.substr(start, end - start);
        if (segment == "..") {
            if (segments.size() > 1 && !(drive && segments.size() == 2)) segments.pop_back();
        } else if (segment != ".") {
            const bool letter = segment.size() == 2 && lowered(segment)[0] >= 'a' &&
                                lowered(segment)[0] <= 'z' && (segment[1] == ':' || segment[1] == '|');
            if (segments.size() == 1 && scheme == "file" && letter) drive = true;
            segments.push_back(plat::percentDecoded(segment).value_or(segment));
        }
        if (end == std::string::npos) break;
        start = end;
    }
    return segments;
}

bool below(std::string_view url, std::string_view page, bool decoding) {
    auto place = parsed(url, decoding);
    auto own = parsed(page, decoding);
    if (!place || !own) return false;
    if (own->back().empty()) own->pop_back();
    return place->size() >= own->size() && std::equal(own->begin(), own->end(), place->begin());
}

}  // namespace

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
    const std::string url(text);
    for (const char* page : {"file:///res/wall/", "file:///res/wall", "http://w.invalid/wall",
                             "https://w.invalid:8443/wall/", "http://w.invalid/"}) {
        if (!ADFREndpoints::withinPage(url, page)) continue;
        // A file page's path may keep an escaped "\", a byte of a file name.
        const std::string path = lowered(url.substr(0, url.find_first_of("?#")));
        const bool filePage = std::string_view(page).starts_with("file:");
        if (path.find("%2f") != std::string::npos || (!filePage && path.find("%5c") != std::string::npos) ||
            !below(url, page, false) || !below(url, page, true))
            std::abort();
    }
    return 0;
}
