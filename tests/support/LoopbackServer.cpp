#include "tests/support/LoopbackServer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <stdexcept>

#include "platform/net/LocalListener.h"

namespace testsupport {
namespace fs = std::filesystem;

namespace {

bool sameName(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// The server library files the connection's addresses among the header fields; they were never sent.
bool serverNote(const std::string& name) {
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT";
}

// ---- certificates ----------------------------------------------------------------------------------

struct X509Deleter {
    void operator()(X509* x) const { X509_free(x); }
};
struct KeyDeleter {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
using X509Ptr = std::unique_ptr<X509, X509Deleter>;
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyDeleter>;

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test certificate: ") + what);
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    check(ext != nullptr, "extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

X509Ptr makeCertificate(EVP_PKEY* key, const char* commonName, long serial, X509* issuer, EVP_PKEY* issuerKey,
                        bool ca) {
    X509Ptr cert(X509_new());
    check(cert != nullptr, "X509_new");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 7 * 24 * 3600);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("potemaru tests"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName),
                               -1, -1, 0);
    X509* signer = issuer ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    if (ca) {
        addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
        addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    } else {
        addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
        addExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
        addExtension(cert.get(), signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
        addExtension(cert.get(), signer, NID_authority_key_identifier, "keyid");
    }
    check(X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()) > 0, "sign");
    return cert;
}

KeyPtr makeKey() {
    KeyPtr key(EVP_EC_gen("P-256"));
    check(key != nullptr, "EC key");
    return key;
}

void writePem(const fs::path& path, X509* cert, EVP_PKEY* key) {
    FILE* f = std::fopen(path.c_str(), "w");
    check(f != nullptr, "open PEM file");
    bool ok = cert ? PEM_write_X509(f, cert) == 1
                   : PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    ok = (std::fclose(f) == 0) && ok;
    check(ok, "write PEM file");
}

// ---- sockets ----------------------------------------------------------------------------------------

int portOf(const sockaddr_storage& addr) {
    if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(addr).sin_port);
    if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(addr).sin6_port);
    return -1;
}

// The server's end of the connection a request came on: the TLS session knows it; for plain HTTP the
// one socket of this process whose local and peer ports match is it.
int connectionFd(const httplib::Request& req, int serverPort) {
    if (req.ssl) return SSL_get_fd(req.ssl);
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int found = -1;
    while (dirent* entry = readdir(dir)) {
        int fd = std::atoi(entry->d_name);
        if (fd <= 2 || fd == dirfd(dir)) continue;
        sockaddr_storage local{}, peer{};
        socklen_t localLen = sizeof local, peerLen = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen) != 0) continue;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0) continue;
        if (portOf(local) == serverPort && portOf(peer) == req.remote_port) {
            found = fd;
            break;
        }
    }
    closedir(dir);
    return found;
}

// Sends a TCP reset now: disconnecting an established socket aborts it. The descriptor stays open
// for the server to close as usual.
void resetConnection(int fd) {
    sockaddr unspec{};
    unspec.sa_family = AF_UNSPEC;
    ::connect(fd, &unspec, sizeof unspec);
}

}  // namespace

// ---- TestCertificates -----------------------------------------------------------------------------

TestCertificates::TestCertificates() {
    std::string pattern = (fs::temp_directory_path() / "potemaru-certs-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    caFile_ = dir_ / "ca.pem";
    certFile_ = dir_ / "server.pem";
    keyFile_ = dir_ / "server.key";
    KeyPtr caKey = makeKey();
    X509Ptr ca = makeCertificate(caKey.get(), "potemaru test CA", 1, nullptr, nullptr, true);
    KeyPtr leafKey = makeKey();
    X509Ptr leaf = makeCertificate(leafKey.get(), "127.0.0.1", 2, ca.get(), caKey.get(), false);
    writePem(caFile_, ca.get(), nullptr);
    writePem(certFile_, leaf.get(), nullptr);
    writePem(keyFile_, nullptr, leafKey.get());
}

TestCertificates::~TestCertificates() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

// ---- RecordedRequest ------------------------------------------------------------------------------

std::string RecordedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (sameName(key, name)) return value;
    return {};
}

bool RecordedRequest::hasHeader(const std::string& name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& h) { return sameName(h.first, name); });
}

// ---- LoopbackServer -------------------------------------------------------------------------------

struct LoopbackServer::Impl {
    std::unique_ptr<TestCertificates> certificates;
    std::unique_ptr<httplib::Server> server;
    plat::LocalListener listener;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::map<std::string, Responder> routes;  // "METHOD path", or "* path" for any method
    std::vector<RecordedRequest> log;
    uint64_t releases = 0;  // bumped by releaseWaits(): waits that began before it end
    bool stopping = false;

    bool isStopping() {
        std::lock_guard<std::mutex> lock(mutex);
        return stopping;
    }

    // Waits up to `seconds` unless released or stopping; true when the full time passed.
    bool waitFor(double seconds) {
        std::unique_lock<std::mutex> lock(mutex);
        uint64_t began = releases;
        auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        return !changed.wait_until(lock, until, [&] { return releases != began || stopping; });
    }

    void handle(const httplib::Request& req, httplib::Response& res, int serverPort, bool tls) {
        RecordedRequest record;
        record.method = req.method;
        record.path = req.path;
        auto q = req.target.find('?');
        if (q != std::string::npos) record.query = req.target.substr(q + 1);
        for (const auto& [key, value] : req.headers)
            if (!serverNote(key)) record.headers.emplace_back(key, value);
        record.body = req.body;
        record.tls = tls;

        Responder responder;
        {
            std::lock_guard<std::mutex> lock(mutex);
            log.push_back(record);
            auto it = routes.find(req.method + " " + req.path);
            if (it == routes.end()) it = routes.find("* " + req.path);
            if (it != routes.end()) responder = it->second;
        }
        changed.notify_all();
        if (!responder) {
            res.status = 404;
            res.set_content("no route", "text/plain");
            return;
        }
        Answer answer = responder(record);
        if (answer.delaySeconds > 0) waitFor(answer.delaySeconds);

        switch (answer.fault) {
            case Fault::None:
                break;
            case Fault::CloseBeforeAnswer:
            case Fault::Reset:
            case Fault::Stall:
            case Fault::NotHttp: {
                int fd = connectionFd(req, serverPort);
                if (answer.fault == Fault::Stall) waitFor(600);
                if (answer.fault == Fault::NotHttp && req.ssl)
                    SSL_write(const_cast<SSL*>(req.ssl), answer.body.data(),
                              static_cast<int>(answer.body.size()));
                else if (answer.fault == Fault::NotHttp && fd >= 0)
                    ::send(fd, answer.body.data(), answer.body.size(), MSG_NOSIGNAL);
                if (fd >= 0) {
                    if (answer.fault == Fault::Reset)
                        resetConnection(fd);
                    else
                        ::shutdown(fd, SHUT_RDWR);
                }
                res.status = 500;  // never reaches the client: the socket is already closed
                return;
            }
            case Fault::PartialBody: {
                res.status = answer.status;
                for (const auto& [key, value] : answer.headers) res.set_header(key, value);
                auto body = std::make_shared<std::string>(answer.body);
                size_t partial = std::min(answer.partialBytes, body->size());
                res.set_content_provider(body->size(), res.get_header_value("Content-Type"),
                                         [body, partial](size_t offset, size_t, httplib::DataSink& sink) {
                                             if (offset < partial)
                                                 sink.write(body->data() + offset, partial - offset);
                                             return false;  // the rest never comes: the server closes
                                         });
                return;
            }
        }
        res.status = answer.status;
        if (answer.chunkBytes > 0) {
            for (const auto& [key, value] : answer.headers)
                if (!sameName(key, "Content-Type")) res.set_header(key, value);
            auto body = std::make_shared<std::string>(answer.body);
            size_t step = answer.chunkBytes;
            double pause = answer.chunkDelaySeconds;
            std::string type = "application/octet-stream";
            for (const auto& [key, value] : answer.headers)
                if (sameName(key, "Content-Type")) type = value;
            res.set_chunked_content_provider(
                type, [this, body, step, pause](size_t offset, httplib::DataSink& sink) {
                    if (offset > 0 && pause > 0) waitFor(pause);
                    if (isStopping()) return false;
                    if (offset >= body->size()) {
                        sink.done();
                    } else {
                        sink.write(body->data() + offset, std::min(step, body->size() - offset));
                    }
                    return true;
                });
            return;
        }
        std::string contentType;
        for (const auto& [key, value] : answer.headers) {
            if (sameName(key, "Content-Type"))
                contentType = value;
            else
                res.set_header(key, value);
        }
        if (!contentType.empty()) {
            res.set_content(answer.body, contentType.c_str());
        } else {
            res.body = answer.body;
        }
    }
};

LoopbackServer::LoopbackServer() : LoopbackServer(Options{}) {}

LoopbackServer::LoopbackServer(Options options) : options_(options), impl_(std::make_unique<Impl>()) {
    // A client that hangs up mid-answer must not kill the test process.
    signal(SIGPIPE, SIG_IGN);
    if (options_.https) {
        impl_->certificates = std::make_unique<TestCertificates>();
        impl_->server = std::make_unique<httplib::SSLServer>(impl_->certificates->certFile().c_str(),
                                                             impl_->certificates->keyFile().c_str());
    } else {
        impl_->server = std::make_unique<httplib::Server>();
    }
    httplib::Server& server = *impl_->server;
    if (!server.is_valid()) throw std::runtime_error("loopback server: cannot set up the server");
    // Headers and body go out in separate writes; without this each answer waits on a delayed ACK.
    server.set_tcp_nodelay(true);
    size_t threads = std::max<size_t>(1, options_.threads);
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    if (options_.keepAliveSeconds <= 0) {
        server.set_keep_alive_max_count(1);
    } else {
        server.set_keep_alive_timeout(options_.keepAliveSeconds);
        server.set_keep_alive_max_count(1u << 20);  // a kept-alive connection is not cut after a few answers
    }
    Impl* impl = impl_.get();
    bool tls = options_.https;
    auto handler = [impl, this, tls](const httplib::Request& req, httplib::Response& res) {
        impl->handle(req, res, port_, tls);
    };
    server.Get(".*", handler);
    server.Post(".*", handler);
    server.Put(".*", handler);
    server.Patch(".*", handler);
    server.Delete(".*", handler);
    server.Options(".*", handler);
    plat::LocalListener& listener = impl_->listener;
    server.set_socket_options([&listener](int sock) { listener.configure(sock); });
    if (server.bind_to_any_port("127.0.0.1") <= 0 || (port_ = listener.listen()) <= 0)
        throw std::runtime_error("loopback server: cannot bind 127.0.0.1");
    if (!listener.run([&server] { server.listen_after_bind(); }, [&server] { return server.is_running(); },
                      [&server] { server.stop(); }))
        throw std::runtime_error("loopback server: the accept loop did not start");
}

LoopbackServer::~LoopbackServer() {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->changed.notify_all();
    // Kept-alive and queued connections would hold their workers until they time out; they end now.
    impl_->listener.stop();
}

std::string LoopbackServer::url(const std::string& path) const {
    std::string p = path.empty() || path[0] != '/' ? "/" + path : path;
    return std::string(options_.https ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + p;
}

std::string LoopbackServer::caFile() const {
    return impl_->certificates ? impl_->certificates->caFile().string() : std::string();
}

void LoopbackServer::route(const std::string& method, const std::string& path, Answer answer) {
    route(method, path, [answer](const RecordedRequest&) { return answer; });
}

void LoopbackServer::route(const std::string& method, const std::string& path, Responder responder) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->routes[method + " " + path] = std::move(responder);
}

void LoopbackServer::redirect(const std::string& path, const std::string& to, int status) {
    std::string location = to.find("://") == std::string::npos ? url(to) : to;
    route("*", path, Answer{.status = status, .headers = {{"Location", location}}, .body = {}});
}

std::vector<RecordedRequest> LoopbackServer::requests() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->log;
}

size_t LoopbackServer::requestCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->log.size();
}

std::vector<RecordedRequest> LoopbackServer::requestsTo(const std::string& path) const {
    std::vector<RecordedRequest> out;
    for (auto& r : requests())
        if (r.path == path) out.push_back(std::move(r));
    return out;
}

bool LoopbackServer::waitForRequests(size_t count, double timeoutSeconds) const {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    return impl_->changed.wait_until(lock, until, [&] { return impl_->log.size() >= count; });
}

void LoopbackServer::clearLog() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->log.clear();
}

void LoopbackServer::releaseWaits() {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        ++impl_->releases;
    }
    impl_->changed.notify_all();
}

RefusedPort::RefusedPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("RefusedPort: no port on 127.0.0.1 can be bound");
    port_ = ntohs(address.sin_port);
}

RefusedPort::~RefusedPort() {
    if (fd_ >= 0) ::close(fd_);
}

std::string RefusedPort::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace testsupport
