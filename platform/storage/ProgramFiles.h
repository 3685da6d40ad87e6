#pragma once
// Where a program's own read-only files are. An installed program finds them from its own place
// (<prefix>/bin/potemaru → <prefix>/share/potemaru/), wherever the tree was moved or unpacked; only a
// program that the build made and runs from the build's programs folder reads files of the checkout, so an
// installed one never opens the checkout or the build.
#include <filesystem>

namespace plat {

// <prefix>/share/potemaru/<relative> for the program that runs, whether or not it exists; empty when the
// program's own place cannot be read.
std::filesystem::path installedDataPath(const std::filesystem::path& relative);

// The root of the checkout that built the program that runs, when it is one of the build's own programs
// (its folder holds the build's note "potemaru-checkout"); empty for any other, an installed one above all.
std::filesystem::path checkoutFolder();

}  // namespace plat
