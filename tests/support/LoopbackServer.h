#pragma once
// A real HTTP or HTTPS server on 127.0.0.1 (port 0) for network tests and benchmarks.
//
//   testsupport::LoopbackServer server;                       // or LoopbackServer({.https = true})
//   server.route("GET", "/settings", {.status = 200, .headers = {{"Content-Type", "application/json"}},
//                                     .body = "{}"});
//   server.route("POST", "/collect", [](const RecordedRequest& r) { return Answer{.status = 204}; });
//   server.redirect("/old", "/settings");
//   server.route("GET", "/hang", {.fault = Fault::Stall});
//   ... send requests to server.url("/settings") ...
//   ASSERT_TRUE(server.waitForRequests(1));
//   EXPECT_EQ(server.requests()[0].body, "...");
//
// Routes match the exact path (the query is not part of it); an unrouted request gets 404. Every request
// that reached the server is logged, in arrival order, with a gzip or deflate body already decoded.
// Waits are bounded by real time. An HTTPS server signs its certificate (127.0.0.1 and localhost) with a
// test CA made when it starts; point clients at caFile() to trust it.
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

enum class Fault {
    None,
    CloseBeforeAnswer,  // the connection closes without a byte of answer (an empty reply)
    Reset,              // the connection is reset (TCP RST) without an answer
    Stall,              // nothing is ever sent; the server holds the connection until it stops
    PartialBody,        // status and headers promise body.size() bytes; only partialBytes come, then a close
    NotHttp,            // the body alone goes out, with no status line or headers, then a close
};

struct Answer {
    int status = 200;
    HeaderList headers{};
    std::string body{};
    double delaySeconds = 0;  // wait before answering (the wait ends early when the server stops)
    // With chunkBytes > 0 the body goes out in chunks of that size (chunked transfer), chunkDelaySeconds
    // apart: a slow but steady answer.
    size_t chunkBytes = 0;
    double chunkDelaySeconds = 0;
    Fault fault = Fault::None;
    size_t partialBytes = 0;  // for Fault::PartialBody
};

struct RecordedRequest {
    std::string method;
    std::string path;   // without the query
    std::string query;  // the raw text after '?', empty when none
    HeaderList headers{};
    std::string body;  // decoded when Content-Encoding was gzip or deflate
    bool tls = false;

    // First value of a header, compared without case; empty when absent.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
};

class LoopbackServer {
  public:
    struct Options {
        bool https = false;
        // Worker threads (each connection holds one from its first request until it closes).
        size_t threads = 16;
        // Seconds an idle kept-alive connection stays open between answers; 0 closes each connection after
        // one answer. A fresh connection waits for its first request far longer (half a minute), holding no
        // worker meanwhile.
        int keepAliveSeconds = 1;
    };
    using Responder = std::function<Answer(const RecordedRequest&)>;

    LoopbackServer();
    explicit LoopbackServer(Options options);
    // Releases stalled and delayed answers, stops and joins every thread.
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    bool https() const { return options_.https; }
    // "http://127.0.0.1:<port><path>" (https for an HTTPS server).
    std::string url(const std::string& path = "/") const;
    // PEM file of the CA that signed the server's certificate; empty for plain HTTP.
    std::string caFile() const;

    void route(const std::string& method, const std::string& path, Answer answer);
    void route(const std::string& method, const std::string& path, Responder responder);
    // Any method on `path` answers `status` with Location `to` (a path on this server, or a full URL).
    void redirect(const std::string& path, const std::string& to, int status = 302);

    std::vector<RecordedRequest> requests() const;
    size_t requestCount() const;
    // Requests to one path, in arrival order.
    std::vector<RecordedRequest> requestsTo(const std::string& path) const;
    // True once at least `count` requests were logged; false when `timeoutSeconds` of real time ran out.
    bool waitForRequests(size_t count, double timeoutSeconds = 5) const;
    void clearLog();
    // Lets answers waiting on Fault::Stall or a delay go on now (they then answer, or close for a stall).
    void releaseWaits();

  private:
    struct Impl;
    Options options_;
    int port_ = 0;
    std::unique_ptr<Impl> impl_;
};

// A CA and a leaf certificate for 127.0.0.1 and localhost, made with fresh EC keys. The files live in a
// temporary folder removed with the object.
class TestCertificates {
  public:
    TestCertificates();
    ~TestCertificates();
    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

    const std::filesystem::path& caFile() const { return caFile_; }
    const std::filesystem::path& certFile() const { return certFile_; }
    const std::filesystem::path& keyFile() const { return keyFile_; }

  private:
    std::filesystem::path dir_;
    std::filesystem::path caFile_;
    std::filesystem::path certFile_;
    std::filesystem::path keyFile_;
};

// A port on 127.0.0.1 where every connection is refused: bound but never listened on, and held for this
// object's life, so no server of this process or of a test running beside it can take the port meanwhile
// (a port freed by a server that stopped can be handed to the next one at once).
class RefusedPort {
  public:
    RefusedPort();
    ~RefusedPort();
    RefusedPort(const RefusedPort&) = delete;
    RefusedPort& operator=(const RefusedPort&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port><path>".
    std::string url(const std::string& path) const;

  private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace testsupport
