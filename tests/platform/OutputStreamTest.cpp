#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "platform/storage/OutputStream.h"
#include "tests/support/TestSupport.h"

TEST(OutputStream, MemoryCollectsEverything) {
    auto s = plat::OutputStream::toMemory();
    s->open();
    const uint8_t a[] = {1, 2, 3};
    EXPECT_EQ(s->write(a, 3), 3);
    EXPECT_EQ(s->write(a, 0), 0);
    EXPECT_EQ(s->write(a + 1, 2), 2);
    s->close();
    EXPECT_EQ(s->memoryContents(), (std::vector<uint8_t>{1, 2, 3, 2, 3}));
}

TEST(OutputStream, FileWritesAllBytesAndClosesOwnedDescriptor) {
    testsupport::TempDir dir;
    std::string path = (dir.path() / "out.bin").string();
    auto s = plat::OutputStream::toFile(path);
    s->open();
    std::string big(300000, 'x');  // larger than a pipe or page, so short writes would show
    EXPECT_EQ(s->write(reinterpret_cast<const uint8_t*>(big.data()), big.size()),
              static_cast<long>(big.size()));
    s->close();
    std::ifstream in(path, std::ios::binary);
    std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(back, big);
    EXPECT_EQ(s->write(reinterpret_cast<const uint8_t*>("a"), 1), -1);
}

TEST(OutputStream, PipeWithReaderLoopsOverShortWrites) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    auto s = plat::OutputStream::toFileDescriptor(fds[1], true);
    s->open();
    std::string big(200000, 'y');
    std::string got;
    std::thread reader([&] {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fds[0], buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
    });
    EXPECT_EQ(s->write(reinterpret_cast<const uint8_t*>(big.data()), big.size()),
              static_cast<long>(big.size()));
    s->close();
    reader.join();
    ::close(fds[0]);
    EXPECT_EQ(got, big);
}

TEST(OutputStream, FullDeviceAndBadPathReportFailure) {
    auto full = plat::OutputStream::toFile("/dev/full");
    full->open();
    const uint8_t a[] = {1, 2, 3};
    EXPECT_EQ(full->write(a, 3), -1);
    full->close();
    auto bad = plat::OutputStream::toFile("/nonexistent-dir/x/y");
    bad->open();
    EXPECT_EQ(bad->write(a, 3), -1);
    bad->close();
}

TEST(OutputStream, BorrowedDescriptorStaysOpen) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    {
        auto s = plat::OutputStream::toFileDescriptor(fds[1]);
        s->open();
        s->close();
    }
    EXPECT_NE(fcntl(fds[1], F_GETFD), -1);
    ::close(fds[0]);
    ::close(fds[1]);
}
