#pragma once
// File addresses ("file:///...") of local paths. The path is percent-encoded as the web engine spells
// file addresses, so a folder named with spaces, '%', '#', '?' or non-ASCII letters gives an address that
// leads back to that folder, and any reader of the address gets the same path.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

// "file://" and the absolute path (a relative one is taken from the current folder) cleaned of "." and
// ".." segments, which the web engine resolves in any address it is given, and of doubled "/"; every byte
// but A-Z a-z 0-9 "-._~" and "/" as upper-case %XX. Empty for an empty path.
std::string fileURLFromPath(const std::filesystem::path& path);

// The path a file address names, read as the engine reads it (NormalURL): the host empty or "localhost",
// the query and fragment left out, "." and ".." segments resolved, the escapes decoded (either case of
// hex). None for any other address and any that form refuses (a malformed escape, an encoded NUL or "/",
// a raw backslash or control character, a space or control character at either end, a drive letter
// first).
std::optional<std::filesystem::path> pathFromFileURL(std::string_view url);

}  // namespace plat
