#pragma once
// An http(s) or file address taken apart in the one form the web engine's URL parser gives it, so that
// two spellings of one address compare equal: the scheme and host in lower case, the scheme's default
// port, the path's "." and ".." segments resolved (escaped ones too) and its escapes in one spelling
// (unreserved characters decoded, the rest as upper-case %XX, a raw space or non-ASCII byte escaped).
// The query and fragment are left out.
#include <optional>
#include <string>
#include <string_view>

namespace plat {

struct NormalURL {
    std::string scheme;
    // Empty for a file address.
    std::string host;
    // -1 for a file address.
    int port = -1;
    // From "/", with no "." or ".." segment.
    std::string path;
    // The path as written escapes a "/" or "\" of a web address. A server that decodes them before it
    // resolves ".." reads "..%2F" as a step up and "x%2F/.." as none, so such an address may stand
    // elsewhere than its form says. (A file address that escapes a "/" is refused; in a file name a "\"
    // is a byte like any other.) Not part of the address: two spellings compare equal whatever it holds.
    bool escapedSeparator = false;

    // None for any other scheme, a user name before the host, a file address on a host other than
    // "localhost", and an address this form cannot be sure to read as the engine does: a space or
    // control character at either end (which a parser strips), a malformed escape, an encoded NUL, a raw
    // backslash or control character (which a parser reads as "/" or drops), a host or port it cannot
    // read, an escaped "/" in a file address (no file name holds one, and a reader that decodes it would
    // step out of the folder), or a file path that a drive letter ("C:", "C|") would begin, which a
    // parser keeps where a ".." after it would take it away.
    static std::optional<NormalURL> of(std::string_view url);

    bool web() const { return scheme == "http" || scheme == "https"; }
    bool sameOrigin(const NormalURL& other) const {
        return scheme == other.scheme && host == other.host && port == other.port;
    }
    bool operator==(const NormalURL& other) const { return sameOrigin(other) && path == other.path; }
};

}  // namespace plat
