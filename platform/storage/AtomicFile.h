#pragma once
// The one way the project writes a file that must never be seen half-written (saves, settings, caches):
// the bytes go to a temporary file in the same folder, are flushed to disk, and the temporary file is
// renamed over the target. A crash or a failed write leaves the previous file as it was.
// A target that is a symbolic link stays one: the write goes to the file the link names, and a temporary
// beside that file is renamed over it. The file written is always readable and writable by its owner.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
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

// The file a write to `path` lands in: `path`, or where its chain of symbolic links ends (which need not
// exist yet). Empty, with errno ELOOP, when the chain never ends.
std::optional<std::filesystem::path> linkTarget(const std::filesystem::path& path);

// A new, empty temporary file for `path`, named as writeFileAtomically names its own so that
// removeStaleTemporaryFiles finds it when it is left behind. The descriptor (close-on-exec), or -1 with
// errno set; `temporary` receives its path.
int createTemporaryFile(const std::filesystem::path& path, std::string& temporary);

// Makes the names in `folder` durable (after a rename or link into it).
void syncFolder(const std::filesystem::path& folder);

}  // namespace plat
