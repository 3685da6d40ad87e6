#include "platform/net/NormalURL.h"

#include <vector>

#include "platform/base/PercentEncoding.h"

namespace plat {

namespace {

// ASCII capitals in lower case, whatever the locale.
std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// A name of unreserved characters, or an IPv6 address in brackets; not an escape, a space or a
// non-ASCII letter, which the engine would spell otherwise.
bool readableHost(std::string_view host) {
    if (host.empty()) return false;
    if (host.front() == '[')
        return host.size() > 2 && host.find_first_not_of("0123456789abcdefABCDEF:.", 1) == host.size() - 1 &&
               host.back() == ']';
    for (unsigned char c : host)
        if (!isUnreservedURLByte(c)) return false;
    return true;
}

// The host and port of a web address's authority, the port the scheme's own when none is given. False
// for a user name, which would make "http://site@other/" look like the site.
bool readOrigin(std::string_view authority, NormalURL& form) {
    if (authority.find('@') != std::string_view::npos) return false;
    form.port = form.scheme == "https" ? 443 : 80;
    std::string_view host = authority;
    const size_t colon = authority.rfind(':');
    const size_t bracket = authority.rfind(']');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        host = authority.substr(0, colon);
        const std::string_view digits = authority.substr(colon + 1);
        if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        if (!digits.empty()) form.port = std::stoi(std::string(digits));
        if (form.port > 65535) return false;
    }
    if (!readableHost(host)) return false;
    form.host = lowered(host);
    return true;
}

// What a path keeps unescaped: the unreserved characters and the delimiters, which mean something else
// to a server when escaped ("%3A" is not ":"), and "|", which a parser reads as a drive letter's ":" where
// it would not read "%7C" so.
bool keptInPath(unsigned char c) {
    return isUnreservedURLByte(c) ||
           std::string_view("/:@!$&'()*+,;=[]|").find(static_cast<char>(c)) != std::string_view::npos;
}

// The path with every byte in one spelling; none for what the form refuses.
std::optional<std::string> escapesInOneSpelling(std::string_view path, NormalURL& form) {
    for (unsigned char c : path)
        if (c < 0x20 || c == 0x7F || c == '\\') return std::nullopt;
    auto out = percentEncodingInOneSpelling(path, keptInPath);
    if (!out) return std::nullopt;
    // Escapes come out as upper-case "%XX", and a "%" only ever starts one.
    const bool slash = out->find("%2F") != std::string::npos;
    if (out->find("%00") != std::string::npos || (!form.web() && slash)) return std::nullopt;
    form.escapedSeparator = form.web() && (slash || out->find("%5C") != std::string::npos);
    return out;
}

// "C:" or "C|": a parser keeps such a segment first in a file path for good, where ".." never takes it
// away. "%43:" is no drive letter to a parser, but it is "C:" in the form, which must read as itself.
bool driveLetter(std::string_view segment) {
    const bool letter = !segment.empty() && ((segment[0] >= 'A' && segment[0] <= 'Z') ||
                                             (segment[0] >= 'a' && segment[0] <= 'z'));
    return letter && (segment.substr(1) == ":" || segment.substr(1) == "|");
}

// A ".." takes the segment before it away, a "." goes, and either one last leaves the path ending in "/".
// None for a file path that a drive letter would begin.
std::optional<std::string> withoutDotSegments(std::string_view path, bool file) {
    std::vector<std::string_view> kept;
    for (size_t start = 1;;) {
        const size_t end = path.find('/', start);
        const bool last = end == std::string_view::npos;
        const std::string_view segment = path.substr(start, last ? std::string_view::npos : end - start);
        if (segment == "..") {
            if (!kept.empty()) kept.pop_back();
            if (last) kept.emplace_back();
        } else if (segment == ".") {
            if (last) kept.emplace_back();
        } else {
            if (file && kept.empty() && driveLetter(segment)) return std::nullopt;
            kept.push_back(segment);
        }
        if (last) break;
        start = end + 1;
    }
    std::string out;
    for (std::string_view segment : kept) out.append("/").append(segment);
    if (out.empty()) out = "/";
    return out;
}

}  // namespace

std::optional<NormalURL> NormalURL::of(std::string_view url) {
    // A parser strips these from either end before it reads, ".. " then being "..".
    if (url.empty() || static_cast<unsigned char>(url.front()) <= ' ' ||
        static_cast<unsigned char>(url.back()) <= ' ')
        return std::nullopt;
    const size_t colon = url.find("://");
    if (colon == std::string_view::npos) return std::nullopt;
    NormalURL form;
    form.scheme = lowered(url.substr(0, colon));
    const bool file = form.scheme == "file";
    if (!file && !form.web()) return std::nullopt;
    std::string_view rest = url.substr(colon + 3);
    rest = rest.substr(0, rest.find_first_of("?#"));
    const size_t slash = rest.find('/');
    const std::string_view authority = rest.substr(0, slash);
    const std::string_view path = slash == std::string_view::npos ? "/" : rest.substr(slash);
    if (file) {
        if ((!authority.empty() && lowered(authority) != "localhost") || slash == std::string_view::npos)
            return std::nullopt;
    } else if (!readOrigin(authority, form)) {
        return std::nullopt;
    }
    auto spelled = escapesInOneSpelling(path, form);
    auto resolved = spelled ? withoutDotSegments(*spelled, file) : std::nullopt;
    if (!resolved) return std::nullopt;
    form.path = std::move(*resolved);
    return form;
}

}  // namespace plat
