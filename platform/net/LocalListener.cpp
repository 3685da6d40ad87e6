#include "platform/net/LocalListener.h"
#include "platform/runloop/Thread.h"

#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <utility>

namespace plat {
namespace {

int portOfAddress(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return -1;
}

}  // namespace

void shutdownAcceptedConnections(int port) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return;
    while (dirent* entry = readdir(dir)) {
        int fd = std::atoi(entry->d_name);
        if (fd <= 2 || fd == dirfd(dir)) continue;
        sockaddr_storage local{}, peer{};
        socklen_t localLength = sizeof local, peerLength = sizeof peer;
        // The listening socket has no peer and is left alone.
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0)
            continue;
        if (portOfAddress(local) == port) ::shutdown(fd, SHUT_RDWR);
    }
    closedir(dir);
}

LocalListener::~LocalListener() {
    stop();
}

void LocalListener::configure(int fd) {
    // Address reuse only: a restart on the same port binds over connections still closing, but a port
    // another program listens on is refused rather than shared with it.
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    // The system holds a fresh connection until its first bytes arrive (or, silent, until
    // kFirstRequestSeconds passed): a client that connects ahead, as a browser does, or sends late on a
    // loaded machine takes no worker meanwhile, and the keep-alive time only bounds the idle time between
    // answers. Such connections wait in the listen queue, which listen() makes long.
    int seconds = kFirstRequestSeconds;
    setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
    fd_ = fd;
}

int LocalListener::listen() {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::listen(fd_, SOMAXCONN) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    port_ = portOfAddress(address);
    return port_;
}

bool LocalListener::run(std::function<void()> acceptLoop, const std::function<bool()>& running,
                        std::function<void()> stopAccepting) {
    stopAccepting_ = std::move(stopAccepting);
    std::promise<void> ended;
    ended_ = ended.get_future();
    thread_ = std::thread([loop = std::move(acceptLoop), ended = std::move(ended)]() mutable {
        Thread::holdQuitsBack();
        loop();
        ended.set_value();
    });
    for (int i = 0; i < 5000 && !running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return running();
}

void LocalListener::stop() {
    if (!thread_.joinable()) return;
    stopAccepting_();
    // Once the loop has returned, its library has closed every connection it accepted; until then a
    // connection may still be accepted, queued or served, and each found is shut down, which fails its
    // pending read at once.
    do {
        shutdownAcceptedConnections(port_);
    } while (ended_.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready);
    thread_.join();
}

}  // namespace plat
