#pragma once
// Scratch files for fuzz targets that read from a path: one folder per process, in memory (/dev/shm) where
// the system has it, since a disk's writes and syncs would bound the run to a few hundred inputs a second.
// The folder goes when the process ends.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

inline std::string fuzzScratchFile(const char* name) {
    static const std::filesystem::path dir = [] {
        std::error_code error;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, error) || access(base.c_str(), W_OK) != 0)
            base = std::filesystem::temp_directory_path();
        std::string path = (base / "potemaru-fuzz-XXXXXX").string();
        if (!mkdtemp(path.data())) std::abort();
        return std::filesystem::path(path);
    }();
    // Registered once the folder's name is built, so it runs before that name is destroyed.
    static const bool removedAtExit = [] {
        return std::atexit([] {
                   std::error_code ec;
                   std::filesystem::remove_all(dir, ec);
               }) == 0;
    }();
    (void)removedAtExit;
    return (dir / name).string();
}

// Writes the input to the named scratch file and returns its path; aborts when the file cannot be written.
inline std::string fuzzWriteScratch(const char* name, const uint8_t* data, size_t size) {
    std::string path = fuzzScratchFile(name);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    return path;
}
