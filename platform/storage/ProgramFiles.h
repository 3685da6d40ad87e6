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

// Whether the program that runs is one of the build's own, not installed.
bool runsFromBuild();

// The assets/ folder of the checkout the library was built from, for the build's own programs.
std::filesystem::path checkoutAssets();

}  // namespace plat
