#pragma once
// The listening side of a small HTTP server on 127.0.0.1 (the local peers, the tests' loopback server)
// whose server library makes, binds and accepts on the socket itself, hands the socket over through a
// socket-options hook, and serves each accepted connection on a worker of its own.
//
//   plat::LocalListener listener;
//   server.set_socket_options([&](int fd) { listener.configure(fd); });
//   ... the library binds ...
//   int port = listener.listen();
//   listener.run([&] { server.listen_after_bind(); }, [&] { return server.is_running(); },
//                [&] { server.stop(); });
//   ...
//   listener.stop();  // or the destructor
//
// The stop does not wait on the connections the library still holds: a library that drains its queue
// before its accept loop returns would otherwise serve every queued connection first, each waiting out
// its read time-out when its client is silent (a TLS handshake that never completes).
#include <functional>
#include <future>
#include <thread>

namespace plat {

class LocalListener {
  public:
    // How long the system holds a fresh connection for its first bytes, as common servers wait.
    static constexpr int kFirstRequestSeconds = 30;

    LocalListener() = default;
    ~LocalListener();
    LocalListener(const LocalListener&) = delete;
    LocalListener& operator=(const LocalListener&) = delete;

    // For the library's socket-options hook, before the bind: address reuse (not port sharing), the
    // first bytes awaited by the system, and the socket remembered.
    void configure(int fd);
    // After the bind: a listen queue long enough for many waiting connections (the library's is a few
    // long). The bound port, or -1 when the socket cannot listen.
    int listen();
    // Runs `acceptLoop` on a thread of its own; true once `running` holds (the library hears a stop only
    // from then on), false when it did not within five seconds. `stopAccepting` ends the loop.
    bool run(std::function<void()> acceptLoop, const std::function<bool()>& running,
             std::function<void()> stopAccepting);
    // Ends the accept loop and shuts down every connection it accepted until its thread has ended, so
    // a connection queued or accepted as the stop begins fails at once instead of holding the stop.
    // Returns with the thread joined; does nothing when nothing runs.
    void stop();

    int port() const { return port_; }

  private:
    int fd_ = -1;
    int port_ = -1;
    std::thread thread_;
    std::future<void> ended_;
    std::function<void()> stopAccepting_;
};

// Shuts down (both ways) every connected socket of this process whose local port is `port`: the
// server's end of each connection accepted there. The descriptors stay open for their owners to close.
void shutdownAcceptedConnections(int port);

}  // namespace plat
