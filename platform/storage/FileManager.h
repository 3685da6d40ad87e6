#pragma once
// Files and folders: existence, kinds, creation, removal, listing, attributes and whole-file reads.
// Every call reports failure by its result (false, an empty optional) with a log line where an
// operation was asked for and could not be done; simple questions (exists?) do not log.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/base/Value.h"

namespace plat {

class FileManager {
  public:
    enum class FileType { Regular, Directory, SymbolicLink, Other };

    struct Attributes {
        FileType type = FileType::Other;
        uint64_t size = 0;             // bytes, for regular files
        Value::Date modificationDate;  // seconds since 1970
        uint32_t permissions = 0;      // the mode bits, e.g. 0644
    };

    // Follows symbolic links, as a file lookup by path does.
    static bool fileExists(const std::filesystem::path& path);
    static bool fileExists(const std::filesystem::path& path, bool* isDirectory);
    static bool isDirectory(const std::filesystem::path& path);
    static bool isRegularFile(const std::filesystem::path& path);
    static bool isReadable(const std::filesystem::path& path);

    // With intermediates, missing parents are made too, and an existing folder is success.
    static bool createDirectory(const std::filesystem::path& path, bool withIntermediates = true);
    // Removes a file, or a folder with everything in it. A path that does not exist is a failure.
    static bool removeItem(const std::filesystem::path& path);
    // Renames within a file system; the destination must not exist.
    static bool moveItem(const std::filesystem::path& from, const std::filesystem::path& to);
    // Moves a damaged file out of the way to "<path><suffix>", or "<path><suffix>-2", "-3", ... when that
    // name is taken, so a file set aside earlier is never replaced. The new path; empty with `error` set
    // when it cannot be moved. Logs nothing: the caller says in its own line what was set aside.
    static std::filesystem::path moveAside(const std::filesystem::path& path, const std::string& suffix,
                                           std::error_code& error);
    // The longest name moveAside may give a file named `fileName` with `suffix`: the last "-n" it tries.
    static size_t longestAsideName(std::string_view fileName, std::string_view suffix);
    // The same for a file and the files that belong with it ("<path><companion>", such as a database's
    // log): all go under one free name, "<aside><companion>" beside "<aside>", and none replaces anything.
    // Companions that are not there are skipped; when the file itself is missing its companions still go.
    static std::filesystem::path moveAside(const std::filesystem::path& path, const std::string& suffix,
                                           std::span<const char* const> companions, std::error_code& error);
    // Copies the file and the named companions (each one that is there) under one free name as moveAside
    // would choose it, leaving the originals in place; nothing is replaced. Only regular files are copied,
    // and never by a read that blocks. Each copy is whole on disk before it takes its name, and the file's
    // copy takes its name after its companions', so a kept name never holds part of a copy nor stands
    // without its companions. Before the first companion's copy takes its name, a record ".<kept name>"
    // beside it, listing each companion's copy by its ending and inode, is on disk; it goes once the file's
    // copy has followed. A copy cut short by a kill leaves temporaries that removeStaleTemporaryFiles(path)
    // clears away, and companions placed without their file, which removeUnplacedCopies takes back.
    static std::filesystem::path copyAside(const std::filesystem::path& path, const std::string& suffix,
                                           std::span<const char* const> companions, std::error_code& error);
    // Removes, with a line each, the companions that a copyAside of `path` cut short by a kill placed
    // without their file. A kept name is the file's name, then `keptSuffix` (the part of the suffixes given
    // to copyAside that never changes, such as ".damaged-"), then only digits and dashes (what changes, and
    // the "-n" of a taken name). Only a record of such a name is obeyed, and only for a companion that is
    // still the very file its copy placed (a regular file with the inode the record lists), so a stale or
    // forged record never removes a live file, another store's, or one set aside on purpose. Every record
    // of `path` it finds is removed: one that names no kept name with a line, touching nothing it names; a
    // folder at a record's name only when empty, with a line either way. How many companions were removed.
    static size_t removeUnplacedCopies(const std::filesystem::path& path, const std::string& keptSuffix,
                                       std::span<const char* const> companions);
    static bool copyItem(const std::filesystem::path& from, const std::filesystem::path& to);

    // Names (not paths) of the folder's entries, sorted; empty optional when it cannot be listed.
    static std::optional<std::vector<std::string>> contentsOfDirectory(const std::filesystem::path& path);
    // Does not follow a final symbolic link, so a link reports itself.
    static std::optional<Attributes> attributesOfItem(const std::filesystem::path& path);

    // The whole content of a regular file; an empty optional (and a log line) for a missing file, a
    // folder or anything else that is not a regular file, or a file larger than maxSize bytes.
    static constexpr uint64_t kDefaultMaxReadSize = 256ull * 1024 * 1024;
    static std::optional<Bytes> contentsAtPath(const std::filesystem::path& path,
                                               uint64_t maxSize = kDefaultMaxReadSize);

    // The one way a stored file is read. Only Read says anything about what the file holds: a file that
    // could not be read now (no permission, no descriptor free, an I/O error, a folder in its place) is
    // to be left exactly as it is. Logs nothing; the caller says what it does about it.
    struct ReadResult {
        enum class Status {
            Read,        // `bytes` holds the whole file
            Missing,     // nothing at the path
            Unreadable,  // something is there but could not be read whole; `error` says why
            TooLarge,    // a regular file of more than maxSize bytes, not read
        };
        Status status = Status::Missing;
        Bytes bytes;
        std::error_code error;
        bool read() const { return status == Status::Read; }
    };
    static ReadResult readFile(const std::filesystem::path& path, uint64_t maxSize = kDefaultMaxReadSize);
    // Written atomically (see writeFileAtomically).
    static bool createFile(const std::filesystem::path& path, const Bytes& contents);
};

}  // namespace plat
