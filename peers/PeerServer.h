#pragma once
// The HTTP server of potemaru-peers: 127.0.0.1 only, files from the data folder, routes added by the
// contract functions in Routes.cpp, and every request written down as one JSON line.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/net/Endpoints.h"
#include "platform/net/LocalListener.h"

namespace httplib {
class Server;
}

namespace peers {

struct PeerRequest {
    std::string method;
    std::string path;
    std::string query;  // raw text after '?'
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;                  // decoded when it came gzip- or deflate-compressed
    std::string remoteAddress;         // the caller's address
    std::vector<std::string> matches;  // the route pattern's groups (matches[0] is the whole path)

    std::string header(const std::string& name) const;  // first value, any case; empty when absent
    std::string param(const std::string& name) const;   // a query parameter, decoded; empty when absent
};

struct PeerAnswer {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body{};
    std::vector<std::pair<std::string, std::string>> headers{};
};

class PeerServer {
  public:
    using Handler = std::function<PeerAnswer(const PeerRequest&)>;

    struct Options {
        int port = 0;
        // The https listener's port; 0: any free one. A restart that passes both ports back keeps every
        // endpoint a running client already has.
        int tlsPort = 0;
        std::string dataDir;
        std::string recordFile;  // empty: nothing recorded
        // server.pem, server.key and ca.pem for the https listener; empty: plain http only.
        std::string tlsDir;
    };

    explicit PeerServer(Options options);
    ~PeerServer();

    // `pattern` is a regular expression over the whole path; its groups reach the handler as matches.
    void route(const std::string& method, const std::string& pattern, Handler handler);
    // Names an endpoint this server stands for; the endpoints file maps it to this server (an https one
    // to the https listener, with its CA file).
    void endpoint(const std::string& name, const std::string& scheme = "http");
    const std::string& dataDir() const { return options_.dataDir; }
    // The contents of a file in the data folder; empty (and `found` false) when there is none.
    std::string dataFile(const std::string& relative, bool* found = nullptr) const;

    // Binds 127.0.0.1 and serves from a thread (the https listener from a second one, on a port of its
    // own); false (with a line on stderr) when it cannot bind either.
    bool start();
    int port() const { return port_; }
    int tlsPort() const { return tlsPort_; }
    void stop();
    plat::Endpoints::Table endpoints() const;
    // Writes one more line (a JSON object's text) to the record file, between whole request lines.
    void recordLine(const std::string& jsonLine);

  private:
    void record(const PeerRequest& request, int status);

    Options options_;
    std::unique_ptr<httplib::Server> server_;
    std::unique_ptr<httplib::Server> tlsServer_;
    plat::LocalListener listener_;
    plat::LocalListener tlsListener_;
    int port_ = 0;
    int tlsPort_ = 0;
    std::vector<std::pair<std::string, std::string>> endpoints_;
    std::mutex recordMutex_;
    int recordFd_ = -1;
};

// "+" as a space and %XX escapes decoded; a malformed escape stays as it is.
std::string formDecoded(std::string_view s);

// Standard Base64 without line breaks.
std::string base64(const std::string& bytes);

// Adds every outside party's routes and endpoint names (Routes.cpp).
void addRoutes(PeerServer& server);

}  // namespace peers
