#include "tests/support/NetTestSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

namespace testsupport {
namespace fs = std::filesystem;

// At least one pass, so what is due already runs however late this thread gets a processor.
void runMainLoopFor(double seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do plat::RunLoop::main().runOnce(0.01);
    while (std::chrono::steady_clock::now() < until);
}

// Files under /proc and /sys are left out: once a web view has run, the web engine's memory monitor
// thread opens and closes such files on its own schedule, and nothing these counts are for opens one.
size_t openFdCount() {
    size_t n = 0;
    std::error_code ec;
    for (auto it = fs::directory_iterator("/proc/self/fd", ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        std::error_code gone;  // closed since the listing was read
        std::string target = fs::read_symlink(it->path(), gone).string();
        n += !gone && target.rfind("/proc/", 0) != 0 && target.rfind("/sys/", 0) != 0;
    }
    return n;
}

std::set<long> threadIds() {
    std::set<long> ids;
    std::error_code ec;
    for (auto it = fs::directory_iterator("/proc/self/task", ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
        ids.insert(std::stol(it->path().filename().string()));
    return ids;
}
size_t threadsNotIn(const std::set<long>& before) {
    size_t n = 0;
    for (long id : threadIds()) n += before.count(id) == 0;
    return n;
}

void RecordingDelegate::connectionDidReceiveResponse(plat::URLConnection&,
                                                     const plat::URLResponse& response) {
    events.push_back("response " + std::to_string(response.statusCode()));
    responses.push_back(response);
    body.clear();
}

void RecordingDelegate::connectionDidReceiveData(plat::URLConnection&, const plat::Bytes& data) {
    events.push_back("data " + std::to_string(data.size()));
    body.insert(body.end(), data.begin(), data.end());
}

void RecordingDelegate::connectionDidFinishLoading(plat::URLConnection&) {
    events.push_back("finish");
    ++finished;
}

void RecordingDelegate::connectionDidFailWithError(plat::URLConnection&, const plat::Error& error) {
    events.push_back("fail " + std::to_string(error.code()));
    errors.push_back(error);
    ++failed;
}

std::string rawExchange(int port, const std::string& request, const std::function<void()>& beforeSending) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) ::close(fd);
        ADD_FAILURE() << "no connection to 127.0.0.1:" << port;
        return {};
    }
    beforeSending();
    // A connection the server already ended may refuse the bytes; what comes back tells.
    (void)::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string got;
    char buffer[4096];
    for (pollfd readable{fd, POLLIN, 0}; ::poll(&readable, 1, 10000) > 0;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;  // closed, or reset
        got.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return got;
}

ForcedReachability::ForcedReachability(uint32_t flags) {
    set(flags);
}
ForcedReachability::~ForcedReachability() {
    plat::Reachability::forceFlags(std::nullopt);
}
void ForcedReachability::set(uint32_t flags) {
    plat::Reachability::forceFlags(flags);
}

namespace {
// No test hands forced reachability, or a kept-alive connection of the main thread's loader, on to the
// next one: a later test that counts open descriptors would see it close.
class ResetURLLoading : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override {
        plat::Reachability::forceFlags(std::nullopt);
        plat::URLConnection::closeIdleConnections();
    }
};
const bool kListenerInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new ResetURLLoading);
    return true;
}();
}  // namespace

URLLoadingScope::~URLLoadingScope() {
    plat::URLConnection::setCAFile("");
    plat::URLConnection::closeIdleConnections();
}

}  // namespace testsupport
