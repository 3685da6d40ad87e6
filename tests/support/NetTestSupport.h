#pragma once
// Helpers for tests that load URLs on the main run loop.
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/net/Reachability.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/RunLoop.h"

namespace testsupport {

// Runs the main run loop until `done()` holds or `timeoutSeconds` of real time passed; returns done().
template <typename Pred>
bool runMainLoopUntil(Pred done, double timeoutSeconds = 10) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (!done() && std::chrono::steady_clock::now() < until) plat::RunLoop::main().runOnce(0.01);
    return done();
}

// Runs the main run loop for `seconds` of real time (to show that nothing more happens).
void runMainLoopFor(double seconds);

// Open file descriptors of this process right now.
size_t openFdCount();
// The ids of this process's threads right now, and how many threads run now that are not among `before`.
// Threads are told by id, not counted: a library's idle thread from an earlier test may end meanwhile.
std::set<long> threadIds();
size_t threadsNotIn(const std::set<long>& before);

// Writes down every delegate callback of a connection, in order, as short texts:
// "response 200", "data <n>", "finish", "fail <code>".
class RecordingDelegate : public plat::URLConnectionDelegate {
  public:
    void connectionDidReceiveResponse(plat::URLConnection&, const plat::URLResponse& response) override;
    void connectionDidReceiveData(plat::URLConnection&, const plat::Bytes& data) override;
    void connectionDidFinishLoading(plat::URLConnection&) override;
    void connectionDidFailWithError(plat::URLConnection&, const plat::Error& error) override;

    bool ended() const { return finished + failed > 0; }
    std::string bodyText() const { return std::string(body.begin(), body.end()); }

    std::vector<std::string> events;
    std::vector<plat::URLResponse> responses;
    plat::Bytes body;
    std::vector<plat::Error> errors;
    int finished = 0;
    int failed = 0;
};

// Sets the URL loader's CA file for its lifetime, then restores the system's; also frees the main
// thread's idle loader when it ends, so no connection outlives the test.
class URLLoadingScope {
  public:
    URLLoadingScope() = default;
    explicit URLLoadingScope(const std::string& caFile) { plat::URLConnection::setCAFile(caFile); }
    ~URLLoadingScope();
    URLLoadingScope(const URLLoadingScope&) = delete;
    URLLoadingScope& operator=(const URLLoadingScope&) = delete;
};

// A request over a bare TCP connection to 127.0.0.1, for what a server does with a client's own timing:
// `beforeSending` runs between the connect and the request. What came back until the server closed or reset
// the connection, or 10 s passed.
std::string rawExchange(int port, const std::string& request, const std::function<void()>& beforeSending);

// Forces every plat::Reachability's flags for its lifetime. (Forced flags are also cleared after each
// test of any program that uses this file.)
class ForcedReachability {
  public:
    explicit ForcedReachability(uint32_t flags);
    ~ForcedReachability();
    void set(uint32_t flags);
    ForcedReachability(const ForcedReachability&) = delete;
    ForcedReachability& operator=(const ForcedReachability&) = delete;
};

}  // namespace testsupport
