#pragma once
// The one way the project writes a file that must never be seen half-written (saves, settings, caches):
// the bytes go to a temporary file in the same folder, are flushed to disk, and the temporary file is
// renamed over the target. A crash or a failed write leaves the previous file as it was.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace plat {

// False, with a log line, when any step fails; the temporary file is removed then.
bool writeFileAtomically(const std::filesystem::path& path, const void* data, size_t size);
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);
bool writeFileAtomically(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// Removes what a process killed between the temporary file and the rename left beside `path` (files
// named like writeFileAtomically's temporaries of that target). For a store's owner to call when it
// loads; returns how many were removed. Other files are never touched.
size_t removeStaleTemporaryFiles(const std::filesystem::path& path);

}  // namespace plat
