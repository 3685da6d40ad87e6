#include "peers/PeerServer.h"

#include <fcntl.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <strings.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/base/PercentEncoding.h"
#include "platform/base/Utf8.h"

namespace peers {
namespace {

// The server library files the connection's addresses among the header fields; they were never sent.
bool serverNote(const std::string& name) {
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT";
}

std::string queryOf(const httplib::Request& req) {
    auto q = req.target.find('?');
    return q == std::string::npos ? std::string() : req.target.substr(q + 1);
}

PeerRequest toPeerRequest(const httplib::Request& req) {
    PeerRequest r;
    r.method = req.method;
    r.path = req.path;
    r.query = queryOf(req);
    for (const auto& [key, value] : req.headers)
        if (!serverNote(key)) r.headers.emplace_back(key, value);
    r.body = req.body;
    r.remoteAddress = req.remote_addr;
    for (const auto& m : req.matches) r.matches.push_back(m.str());
    return r;
}

std::string contentTypeFor(const std::string& path) {
    static const std::pair<const char*, const char*> types[] = {
        {".png", "image/png"},         {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},       {".gif", "image/gif"},
        {".webp", "image/webp"},       {".html", "text/html; charset=utf-8"},
        {".css", "text/css"},          {".js", "application/javascript"},
        {".json", "application/json"}, {".txt", "text/plain; charset=utf-8"},
        {".xml", "application/xml"},   {".plist", "application/xml"},
        {".svg", "image/svg+xml"},
    };
    for (const auto& [ext, type] : types) {
        std::string e = ext;
        if (path.size() >= e.size() && path.compare(path.size() - e.size(), e.size(), e) == 0) return type;
    }
    return "application/octet-stream";
}

}  // namespace

std::string formDecoded(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out += ' ';
            continue;
        }
        const int high = s[i] == '%' && i + 2 < s.size() ? plat::hexDigitValue(s[i + 1]) : -1;
        const int low = high >= 0 ? plat::hexDigitValue(s[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string base64(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

std::string PeerRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
    return {};
}

std::string PeerRequest::param(const std::string& name) const {
    std::string_view rest = query;
    while (!rest.empty()) {
        size_t amp = rest.find('&');
        std::string_view pair = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        size_t eq = pair.find('=');
        if (formDecoded(pair.substr(0, eq)) == name)
            return eq == std::string_view::npos ? std::string() : formDecoded(pair.substr(eq + 1));
    }
    return {};
}

PeerServer::PeerServer(Options options)
    : options_(std::move(options)), server_(std::make_unique<httplib::Server>()) {
    if (!options_.recordFile.empty()) {
        recordFd_ = ::open(options_.recordFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (recordFd_ < 0) std::perror(("potemaru-peers: " + options_.recordFile).c_str());
    }
    if (!options_.tlsDir.empty()) {
        std::string cert = options_.tlsDir + "/server.pem";
        std::string key = options_.tlsDir + "/server.key";
        auto tls = std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str());
        if (tls->is_valid()) {
            tlsServer_ = std::move(tls);
        } else {
            std::fprintf(stderr, "potemaru-peers: no usable certificate in %s; https is off\n",
                         options_.tlsDir.c_str());
        }
    }
    for (httplib::Server* server : {server_.get(), tlsServer_.get()}) {
        if (!server) continue;
        server->set_tcp_nodelay(true);
        // The idle time between answers.
        server->set_keep_alive_timeout(1);
    }
}

PeerServer::~PeerServer() {
    stop();
    if (recordFd_ >= 0) ::close(recordFd_);
}

void PeerServer::route(const std::string& method, const std::string& pattern, Handler handler) {
    // The request is written down before the answer leaves, so whoever got the answer finds the record.
    auto wrapped = [this, handler = std::move(handler)](const httplib::Request& req, httplib::Response& res) {
        PeerRequest request = toPeerRequest(req);
        PeerAnswer a = handler(request);
        record(request, a.status);
        res.status = a.status;
        for (const auto& [key, value] : a.headers) res.set_header(key, value);
        res.set_content(a.body, a.contentType.c_str());
    };
    for (httplib::Server* server : {server_.get(), tlsServer_.get()}) {
        if (!server) continue;
        if (method == "GET") {
            server->Get(pattern, wrapped);
        } else if (method == "POST") {
            server->Post(pattern, wrapped);
        } else if (method == "PUT") {
            server->Put(pattern, wrapped);
        } else if (method == "DELETE") {
            server->Delete(pattern, wrapped);
        } else {
            std::fprintf(stderr, "potemaru-peers: method %s is not routed\n", method.c_str());
            return;
        }
    }
}

void PeerServer::endpoint(const std::string& name, const std::string& scheme) {
    endpoints_.emplace_back(name, scheme);
}

std::string PeerServer::dataFile(const std::string& relative, bool* found) const {
    namespace fs = std::filesystem;
    if (found) *found = false;
    std::error_code ec;
    fs::path base = fs::weakly_canonical(options_.dataDir, ec);
    fs::path path = ec ? fs::path() : fs::weakly_canonical(base / relative, ec);
    // Only regular files inside the data folder are served (no way out through "..", "/" or a link).
    auto rel = path.lexically_relative(base);
    if (ec || rel.empty() || *rel.begin() == ".." || !fs::is_regular_file(path, ec)) return {};
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream out;
    out << in.rdbuf();
    if (found) *found = true;
    return out.str();
}

namespace {

// Binds 127.0.0.1 (`port` 0: any free port) and serves through `listener`; the port, or -1.
int serve(httplib::Server& server, int port, plat::LocalListener& listener) {
    server.set_socket_options([&listener](int sock) { listener.configure(sock); });
    bool bound =
        port == 0 ? server.bind_to_any_port("127.0.0.1") > 0 : server.bind_to_port("127.0.0.1", port);
    if (!bound || listener.listen() <= 0 ||
        !listener.run([&server] { server.listen_after_bind(); }, [&server] { return server.is_running(); },
                      [&server] { server.stop(); })) {
        std::fprintf(stderr, "potemaru-peers: cannot listen on 127.0.0.1:%d\n", port);
        return -1;
    }
    return listener.port();
}

}  // namespace

bool PeerServer::start() {
    // Last, as routes match in the order added: any other GET is a file of the data folder, and the
    // rest is not found.
    route("GET", ".*", [this](const PeerRequest& r) {
        bool found = false;
        std::string body = r.path.size() > 1 ? dataFile(r.path.substr(1), &found) : std::string();
        if (!found) return PeerAnswer{.status = 404, .body = "not found\n"};
        return PeerAnswer{.contentType = contentTypeFor(r.path), .body = std::move(body)};
    });
    for (const char* method : {"POST", "PUT", "DELETE"})
        route(method, ".*",
              [](const PeerRequest&) { return PeerAnswer{.status = 404, .body = "not found\n"}; });
    port_ = serve(*server_, options_.port, listener_);
    if (port_ <= 0) return false;
    if (tlsServer_) {
        tlsPort_ = serve(*tlsServer_, options_.tlsPort, tlsListener_);
        if (tlsPort_ <= 0) return false;
    }
    return true;
}

void PeerServer::stop() {
    tlsListener_.stop();
    listener_.stop();
}

plat::Endpoints::Table PeerServer::endpoints() const {
    plat::Endpoints::Table table;
    for (const auto& [name, scheme] : endpoints_) {
        if (scheme == "https") {
            if (tlsPort_ > 0)
                table[name] = plat::Endpoint{scheme, "127.0.0.1", tlsPort_, options_.tlsDir + "/ca.pem"};
        } else {
            table[name] = plat::Endpoint{scheme, "127.0.0.1", port_};
        }
    }
    return table;
}

void PeerServer::recordLine(const std::string& jsonLine) {
    if (recordFd_ < 0) return;
    std::string text = jsonLine + "\n";
    std::lock_guard<std::mutex> lock(recordMutex_);
    ssize_t n = ::write(recordFd_, text.data(), text.size());
    (void)n;
}

void PeerServer::record(const PeerRequest& r, int status) {
    if (recordFd_ < 0) return;
    nlohmann::json line;
    line["time"] = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    line["method"] = r.method;
    line["path"] = r.path;
    line["query"] = r.query;
    nlohmann::json headers = nlohmann::json::object();
    for (const auto& [key, value] : r.headers) {
        if (headers.contains(key)) {
            headers[key] = headers[key].get<std::string>() + ", " + value;
        } else {
            headers[key] = value;
        }
    }
    line["headers"] = headers;
    if (plat::isValidUtf8(r.body)) {
        line["body"] = r.body;
    } else {
        line["body_base64"] = base64(r.body);
    }
    line["status"] = status;
    std::string text = line.dump() + "\n";
    std::lock_guard<std::mutex> lock(recordMutex_);
    // One write per line, so a reader never sees half a line from two requests.
    ssize_t n = ::write(recordFd_, text.data(), text.size());
    (void)n;
}

}  // namespace peers
