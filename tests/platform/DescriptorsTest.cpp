#include "platform/base/Descriptors.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

// Without close_range's close-on-exec mode, and with no descriptor free to list the open ones with, every
// descriptor is still marked: one below the limit, and one opened above it before it was lowered.
TEST(Descriptors, WithNoDescriptorFreeEveryOneIsMarkedCloseOnExecAllTheSame) {
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, 0), 0);
    const int high = ::fcntl(pipe[1], F_DUPFD, 900);
    rlimit old{};
    ::getrlimit(RLIMIT_NOFILE, &old);
    const rlimit none{static_cast<rlim_t>(::fcntl(0, F_DUPFD, 0)), old.rlim_max};
    ::close(static_cast<int>(none.rlim_cur));
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    plat::closeOnExecAll(false);
    ::setrlimit(RLIMIT_NOFILE, &old);
    for (int fd : {pipe[0], pipe[1], high}) {
        EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC) << fd;
        ::close(fd);
    }
}
