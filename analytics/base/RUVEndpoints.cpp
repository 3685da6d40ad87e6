#include "analytics/base/RUVEndpoints.h"

#include <atomic>
#include <cctype>

namespace {
constexpr const char* kDefaultHost = "collect.analytics.invalid";
std::atomic<double> gTimeout{0};

plat::Endpoint lookup(const char* name, const char* scheme, int port) {
    auto& table = plat::Endpoints::shared();
    // Filled only when no layer names it, so a reset table gets it back on the next use.
    if (!table.find(name)) table.setDefault(name, plat::Endpoint{scheme, kDefaultHost, port});
    if (auto e = table.find(name)) return *e;
    return plat::Endpoint{scheme, kDefaultHost, port};
}

}  // namespace

plat::Endpoint RUVEndpoints::httpsEndpoint() {
    return lookup(kHttpsName, "https", 443);
}
plat::Endpoint RUVEndpoints::httpEndpoint() {
    return lookup(kHttpName, "http", 80);
}
void RUVEndpoints::setHttpsEndpoint(plat::Endpoint e) {
    plat::Endpoints::shared().setOverride(kHttpsName, std::move(e));
}
void RUVEndpoints::setHttpEndpoint(plat::Endpoint e) {
    plat::Endpoints::shared().setOverride(kHttpName, std::move(e));
}

bool RUVEndpoints::isConfigured() {
    auto& table = plat::Endpoints::shared();
    return table.isConfigured(kHttpsName) || table.isConfigured(kHttpName);
}

std::string RUVEndpoints::caFileFor(const std::string& url) {
    for (const plat::Endpoint& e : {httpsEndpoint(), httpEndpoint()})
        if (url.rfind(e.url(), 0) == 0 && !e.caFile.empty()) return e.caFile;
    return "";
}

double RUVEndpoints::timeoutInterval() {
    return gTimeout.load();
}
void RUVEndpoints::setTimeoutInterval(double seconds) {
    gTimeout.store(seconds);
}

std::string RUVEndpoints::hostOf(const std::string& url) {
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = url.find_first_of(":/?#", start);
    std::string host = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!host.empty() && host.back() == '.') host.pop_back();
    return host;
}

bool RUVEndpoints::isInvalidHost(const std::string& url) {
    return plat::Endpoints::leadsNowhere(url);
}
