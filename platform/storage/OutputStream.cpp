#include "platform/storage/OutputStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace plat {

namespace {

const std::vector<uint8_t> kNoBytes;

class FdOutputStream : public OutputStream {
  public:
    FdOutputStream(int fd, bool owned) : fd_(fd), owned_(owned) {}
    FdOutputStream(std::string path, bool append) : path_(std::move(path)), append_(append), owned_(true) {}
    ~FdOutputStream() override { close(); }

    void open() override {
        if (fd_ >= 0 || path_.empty()) return;
        int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append_ ? O_APPEND : O_TRUNC);
        fd_ = ::open(path_.c_str(), flags, 0644);
    }

    long write(const uint8_t* bytes, size_t length) override {
        if (fd_ < 0) return -1;
        size_t done = 0;
        while (done < length) {
            ssize_t n = ::write(fd_, bytes + done, length - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        if (done == 0 && length > 0) return -1;
        return static_cast<long>(done);
    }

    void close() override {
        if (fd_ >= 0 && owned_) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
    std::string path_;
    bool append_ = false;
    bool owned_ = false;
};

class MemoryOutputStream : public OutputStream {
  public:
    void open() override {}
    long write(const uint8_t* bytes, size_t length) override {
        bytes_.insert(bytes_.end(), bytes, bytes + length);
        return static_cast<long>(length);
    }
    void close() override {}
    const std::vector<uint8_t>& memoryContents() const override { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

}  // namespace

const std::vector<uint8_t>& OutputStream::memoryContents() const {
    return kNoBytes;
}

std::shared_ptr<OutputStream> OutputStream::toFileDescriptor(int fd, bool closeOnClose) {
    return std::make_shared<FdOutputStream>(fd, closeOnClose);
}

std::shared_ptr<OutputStream> OutputStream::toFile(std::string path, bool append) {
    return std::make_shared<FdOutputStream>(std::move(path), append);
}

std::shared_ptr<OutputStream> OutputStream::toMemory() {
    return std::make_shared<MemoryOutputStream>();
}

}  // namespace plat
