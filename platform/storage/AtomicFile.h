#pragma once
// The one way the project writes a file that must never be seen half-written (saves, settings, caches):
// the bytes go to a temporary file in the same folder, are flushed to disk, and the temporary file is
// renamed over the target. A crash or a failed write leaves the previous file as it was.
// A save writes its own path: a symbolic link there is replaced, and nothing at its end is touched. Only a
// file the player may keep elsewhere is written through its link (Links::WriteThrough), into the file where
// the chain ends, beside which the temporary is made. Either way only a regular file is ever replaced: a
// folder, FIFO, device or socket in the final name fails the save with one line and is left as it is. The
// file written is always readable and writable by its owner.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// What a save does with a symbolic link in its place.
enum class Links { Replace, WriteThrough };

// False, with a log line, when any step fails; the temporary file is removed then.
bool writeFileAtomically(const std::filesystem::path& path, const void* data, size_t size,
                         Links links = Links::Replace);
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         Links links = Links::Replace);
bool writeFileAtomically(const std::filesystem::path& path, const std::vector<uint8_t>& bytes,
                         Links links = Links::Replace);

// Removes what a process killed between the temporary file and the rename left where the saves of `path`
// (made with the same `links`) put their temporaries: files named like writeFileAtomically's temporaries
// of that target. For a store's owner to call when it loads; returns how many were removed. Other files
// are never touched.
size_t removeStaleTemporaryFiles(const std::filesystem::path& path, Links links = Links::Replace);
// The same for every file anywhere under `folder` (links are not followed), whichever file each temporary
// was for: for a folder that no save is writing in now, such as a home just taken.
size_t removeStaleTemporaryFilesUnder(const std::filesystem::path& folder);

// The file a write through `path` lands in: `path`, or where its chain of symbolic links ends (which need
// not exist yet). It follows as many links as the system's own lookup does; empty, with errno ELOOP, when
// the chain is longer or never ends.
std::optional<std::filesystem::path> linkTarget(const std::filesystem::path& path);

// A new, empty temporary file for `path`, named as writeFileAtomically names its own so that
// removeStaleTemporaryFiles finds it when it is left behind. The descriptor (close-on-exec), or -1 with
// errno set; `temporary` receives its path.
int createTemporaryFile(const std::filesystem::path& path, std::string& temporary);

// The length of the name of a temporary file made for `fileName` (createTemporaryFile's, a save's).
size_t temporaryNameLength(std::string_view fileName);

// Writes all `size` bytes to `fd`, going on after interruptions and short writes; false with errno set.
bool writeAll(int fd, const void* data, size_t size);

// Makes the names in `folder` durable (after a rename or link into it).
void syncFolder(const std::filesystem::path& folder);

}  // namespace plat
