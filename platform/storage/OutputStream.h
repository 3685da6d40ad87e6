#pragma once
// A byte sink that is opened, written to and closed, over a file descriptor or over memory.
// write() answers how many bytes it took; a file sink loops on short writes, so a count below the one
// asked means the descriptor refused the rest (disk full, closed pipe) and -1 means nothing could be written.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

class OutputStream {
  public:
    virtual ~OutputStream() = default;

    // A sink over an open descriptor; closeOnClose hands the descriptor's ownership to the stream.
    static std::shared_ptr<OutputStream> toFileDescriptor(int fd, bool closeOnClose = false);
    // Opens (creates or truncates) the file when the stream is opened; null-safe: a failed open makes every
    // write answer -1.
    static std::shared_ptr<OutputStream> toFile(std::string path, bool append = false);
    // Collects everything written; memoryContents() answers it.
    static std::shared_ptr<OutputStream> toMemory();

    virtual void open() = 0;
    virtual long write(const uint8_t* bytes, size_t length) = 0;
    virtual void close() = 0;
    // The bytes collected by a memory sink; empty for the other kinds.
    virtual const std::vector<uint8_t>& memoryContents() const;
};

}  // namespace plat
