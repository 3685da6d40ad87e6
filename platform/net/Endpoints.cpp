#include "platform/net/Endpoints.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/base/Lasting.h"
#include "platform/net/NormalURL.h"

namespace plat {

std::string Endpoint::url(const std::string& path) const {
    return scheme + "://" + host + ":" + std::to_string(port) + path;
}

Endpoints& Endpoints::shared() {
    static Lasting<Endpoints> endpoints;
    return *endpoints;
}

void Endpoints::setDefault(const std::string& name, Endpoint endpoint) {
    std::lock_guard<std::mutex> lock(mutex_);
    defaults_[name] = std::move(endpoint);
}

void Endpoints::setOverride(const std::string& name, Endpoint endpoint) {
    std::lock_guard<std::mutex> lock(mutex_);
    overrides_[name] = std::move(endpoint);
}

void Endpoints::removeOverride(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    overrides_.erase(name);
}

void Endpoints::setFileTable(Table table) {
    std::lock_guard<std::mutex> lock(mutex_);
    file_ = std::move(table);
}

std::optional<Endpoint> Endpoints::find(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Table* layer : {&file_, &overrides_, &defaults_}) {
        auto it = layer->find(name);
        if (it != layer->end()) return it->second;
    }
    return std::nullopt;
}

bool Endpoints::isConfigured(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return file_.count(name) != 0 || overrides_.count(name) != 0;
}

bool Endpoints::leadsNowhere(std::string_view url) {
    auto place = NormalURL::of(url);
    if (!place) return true;
    std::string_view host = place->host;
    // "x.invalid." is the same name to a resolver.
    if (host.ends_with('.')) host.remove_suffix(1);
    return host == "invalid" || host.ends_with(".invalid");
}

Endpoints::Table Endpoints::effectiveTable() const {
    std::lock_guard<std::mutex> lock(mutex_);
    Table out = defaults_;
    for (const Table* layer : {&overrides_, &file_})
        for (const auto& [name, endpoint] : *layer) out[name] = endpoint;
    return out;
}

void Endpoints::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    defaults_.clear();
    overrides_.clear();
    file_.clear();
}

namespace {

bool validHost(const std::string& host) {
    if (host.empty() || host.size() > 253) return false;
    for (unsigned char c : host) {
        bool ok = std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
        if (!ok) return false;
    }
    return true;
}

// One endpoint object; an empty result with `why` set when it is bad.
std::optional<Endpoint> parseEndpoint(const nlohmann::json& value, const std::string& where,
                                      std::string& why) {
    auto fail = [&](const std::string& reason) -> std::optional<Endpoint> {
        why = where + reason;
        return std::nullopt;
    };
    if (!value.is_object()) return fail("not an object");
    for (const auto& [key, v] : value.items()) {
        (void)v;
        if (key != "scheme" && key != "host" && key != "port") return fail("unknown key \"" + key + "\"");
    }
    Endpoint e;
    auto scheme = value.find("scheme");
    if (scheme == value.end() || !scheme->is_string()) return fail("\"scheme\" must be a string");
    e.scheme = scheme->get<std::string>();
    if (e.scheme != "http" && e.scheme != "https") return fail("\"scheme\" must be http or https");
    auto host = value.find("host");
    if (host == value.end() || !host->is_string()) return fail("\"host\" must be a string");
    e.host = host->get<std::string>();
    if (!validHost(e.host)) return fail("\"host\" is not a host name or address");
    auto port = value.find("port");
    if (port == value.end() || !port->is_number_integer()) return fail("\"port\" must be an integer");
    int64_t p = port->is_number_unsigned()
                    ? static_cast<int64_t>(std::min<uint64_t>(port->get<uint64_t>(), 1u << 20))
                    : port->get<int64_t>();
    if (p < 1 || p > 65535) return fail("\"port\" must be from 1 to 65535");
    e.port = static_cast<int>(p);
    return e;
}

// A section holds endpoints (objects) and an optional CA file; an endpoint holds no object.
bool isSection(const nlohmann::json& value) {
    if (!value.is_object() || value.contains("scheme")) return false;
    for (const auto& [key, v] : value.items())
        if (key != "ca_file" && !v.is_object()) return false;
    return true;
}

}  // namespace

std::optional<Endpoints::Table> Endpoints::parse(const std::string& text, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<Table> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (text.size() > kMaxFileBytes) return fail("the file is larger than 1 MiB");
    nlohmann::json json = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded()) return fail("not valid JSON");
    if (!json.is_object()) return fail("the top level is not a JSON object");
    Table table;
    std::string why;
    for (const auto& [name, value] : json.items()) {
        if (name.empty()) return fail("an endpoint has an empty name");
        if (name.find('.') != std::string::npos)
            return fail("endpoint \"" + name + "\": a name has no \".\"");
        if (!isSection(value) || value.empty()) {
            auto e = parseEndpoint(value, "endpoint \"" + name + "\": ", why);
            if (!e) return fail(why);
            table[name] = std::move(*e);
            continue;
        }
        std::string caFile;
        if (auto ca = value.find("ca_file"); ca != value.end()) {
            if (!ca->is_string() || ca->get<std::string>().empty())
                return fail("section \"" + name + "\": \"ca_file\" must be a file name");
            caFile = ca->get<std::string>();
        }
        for (const auto& [member, endpoint] : value.items()) {
            if (member == "ca_file") continue;
            std::string full = name + "." + member;
            if (member.empty() || member.find('.') != std::string::npos)
                return fail("section \"" + name + "\": \"" + member + "\" is no endpoint name");
            auto e = parseEndpoint(endpoint, "endpoint \"" + full + "\": ", why);
            if (!e) return fail(why);
            e->caFile = caFile;
            table[full] = std::move(*e);
        }
    }
    return table;
}

namespace {

// "" when `path` names a regular file that can be read, else why not.
std::string unreadableFileReason(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? "no such file" : std::string(std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return "is a folder, not a file";
    if (!S_ISREG(st.st_mode)) return "is not a regular file";
    if (::access(path.c_str(), R_OK) != 0) return "cannot be read";
    return "";
}

}  // namespace

std::optional<Endpoints::Table> Endpoints::readFile(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<Table> {
        if (error) *error = why;
        return std::nullopt;
    };
    // Not blocking, and checked on the descriptor itself: opening a pipe would wait for a writer for
    // ever, and only a regular file has an end to read up to.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(errno == ENOENT || errno == ENOTDIR ? "no such file" : "cannot read the file");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = S_ISDIR(st.st_mode);
        ::close(fd);
        return fail(folder ? "is a folder, not a file" : "is not a regular file");
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return fail("cannot read the file");
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() > kMaxFileBytes) break;
    }
    ::close(fd);
    auto table = parse(text, error);
    if (!table) return table;
    // A missing authority would only show later, as every secure load of that section failing.
    for (const auto& [name, endpoint] : *table) {
        if (endpoint.caFile.empty()) continue;
        std::string why = unreadableFileReason(endpoint.caFile);
        if (!why.empty()) {
            auto dot = name.find('.');
            return fail("section \"" + name.substr(0, dot) + "\": \"ca_file\" " + endpoint.caFile + ": " +
                        why);
        }
    }
    return table;
}

bool Endpoints::loadFile(const std::string& path, std::string* error) {
    auto table = readFile(path, error);
    if (!table) return false;
    shared().setFileTable(std::move(*table));
    return true;
}

std::string Endpoints::toJson(const Table& table) {
    nlohmann::json json = nlohmann::json::object();
    for (const auto& [name, e] : table) {
        nlohmann::json entry = {{"scheme", e.scheme}, {"host", e.host}, {"port", e.port}};
        auto dot = name.find('.');
        if (dot == std::string::npos) {
            json[name] = entry;
            continue;
        }
        nlohmann::json& section = json[name.substr(0, dot)];
        section[name.substr(dot + 1)] = entry;
        if (!e.caFile.empty()) section["ca_file"] = e.caFile;
    }
    return json.dump(2) + "\n";
}

}  // namespace plat
