#include "ads/base/ADFREndpoints.h"

#include <arpa/inet.h>

#include <mutex>
#include <set>

#include "platform/base/Lasting.h"
#include "platform/base/Log.h"
#include "platform/net/NormalURL.h"

namespace {

struct Entry {
    ADFREndpoints::Kind kind;
    const char* name;
    const char* scheme;
    const char* host;
};

constexpr Entry kEntries[] = {
    {ADFREndpoints::Kind::SettingsMirror, "ads.settings_mirror", "https", "settings-mirror.ads.invalid"},
    {ADFREndpoints::Kind::Settings, "ads.settings", "https", "settings.ads.invalid"},
    {ADFREndpoints::Kind::Impression, "ads.impression", "http", "report.ads.invalid"},
    {ADFREndpoints::Kind::ClickApi, "ads.click", "http", "report.ads.invalid"},
    {ADFREndpoints::Kind::IpEcho, "ads.ip", "http", "ip.ads.invalid"},
    {ADFREndpoints::Kind::SiteRoot, "ads.site", "http", "site.ads.invalid"},
    {ADFREndpoints::Kind::Staging, "ads.staging", "http", "staging.ads.invalid"},
    {ADFREndpoints::Kind::AdCrops, "ads.adcrops", "http", "adcrops.ads.invalid"},
    {ADFREndpoints::Kind::Jquery, "ads.jquery", "http", "jquery.ads.invalid"},
    {ADFREndpoints::Kind::HouseNetwork, "ads.house", "http", "house.ads.invalid"},
    {ADFREndpoints::Kind::PriceToken, "ads.price", "https", "price.ads.invalid"},
    {ADFREndpoints::Kind::Exchange, "ads.exchange", "http", "exchange.ads.invalid"},
    {ADFREndpoints::Kind::Gamefeat, "ads.gamefeat", "http", "gamefeat.ads.invalid"},
    {ADFREndpoints::Kind::Zucks, "ads.zucks", "http", "zucks.ads.invalid"},
    {ADFREndpoints::Kind::InMobi, "ads.inmobi", "http", "inmobi.ads.invalid"},
    {ADFREndpoints::Kind::InMobiScript, "ads.inmobi-script", "http", "inmobi-script.ads.invalid"},
    {ADFREndpoints::Kind::Millennial, "ads.millennial", "http", "millennial.ads.invalid"},
    {ADFREndpoints::Kind::Leadbolt, "ads.leadbolt", "http", "leadbolt.ads.invalid"},
};

const Entry& entryOf(ADFREndpoints::Kind kind) {
    for (const auto& e : kEntries)
        if (e.kind == kind) return e;
    return kEntries[0];
}

// What was said about unconfigured endpoints in this process; "ads" for the ad server as a whole.
struct OfflineLines {
    std::mutex mutex;
    std::set<std::string> said;
};

OfflineLines& offlineLines() {
    static plat::Lasting<OfflineLines> lines;
    return *lines;
}

bool firstTimeFor(const std::string& name) {
    auto& lines = offlineLines();
    std::lock_guard<std::mutex> lock(lines.mutex);
    return lines.said.insert(name).second;
}

bool isLoopback(const std::string& host) {
    if (host == "localhost" || host == "::1" || host == "[::1]") return true;
    in_addr address{};
    return inet_pton(AF_INET, host.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

}  // namespace

std::string ADFREndpoints::name(Kind kind) {
    return entryOf(kind).name;
}

void ADFREndpoints::registerDefaults() {
    auto& table = plat::Endpoints::shared();
    for (const auto& e : kEntries) {
        // Defaults only fill what no layer names, so a reset table gets them back on the next use.
        if (!table.find(e.name)) {
            int port = std::string(e.scheme) == "https" ? 443 : 80;
            table.setDefault(e.name, plat::Endpoint{e.scheme, e.host, port});
        }
    }
}

void ADFREndpoints::setEndpoint(Kind kind, plat::Endpoint endpoint) {
    plat::Endpoints::shared().setOverride(name(kind), std::move(endpoint));
}

plat::Endpoint ADFREndpoints::endpoint(Kind kind) {
    registerDefaults();
    if (auto e = plat::Endpoints::shared().find(name(kind))) return *e;
    const Entry& e = entryOf(kind);
    return plat::Endpoint{e.scheme, e.host, std::string(e.scheme) == "https" ? 443 : 80};
}

bool ADFREndpoints::isConfigured(Kind kind) {
    return plat::Endpoints::shared().isConfigured(name(kind));
}

bool ADFREndpoints::isConfiguredOrSay(Kind kind) {
    if (isConfigured(kind)) return true;
    if (firstTimeFor(name(kind)))
        plat::logInfo("ads: \"%s\" is not configured; nothing is sent there", name(kind).c_str());
    return false;
}

bool ADFREndpoints::leadsNowhere(const std::string& url) {
    auto place = plat::NormalURL::of(url);
    if (!place) return true;
    bool named = false;
    std::optional<Kind> unconfigured;
    for (const auto& e : kEntries) {
        if (endpoint(e.kind).host != place->host) continue;
        if (isConfigured(e.kind))
            named = true;
        else if (!unconfigured)
            unconfigured = e.kind;
    }
    if (!named && unconfigured && !isConfiguredOrSay(*unconfigured)) return true;
    return plat::Endpoints::leadsNowhere(url);
}

std::string ADFREndpoints::pageBaseURL() {
    return isConfiguredOrSay(Kind::SiteRoot) ? url(Kind::SiteRoot, "/") : "";
}

bool ADFREndpoints::adServerUnconfigured() {
    if (isConfigured(Kind::SettingsMirror) || isConfigured(Kind::Settings)) return false;
    if (firstTimeFor("ads"))
        plat::logInfo(
            "ads: no ad server is configured (no \"ads\" endpoints); the ads stay offline: no settings "
            "are fetched and nothing is sent");
    return true;
}

void ADFREndpoints::forgetOfflineLines() {
    auto& lines = offlineLines();
    std::lock_guard<std::mutex> lock(lines.mutex);
    lines.said.clear();
}

std::string ADFREndpoints::settingsURL(Kind kind, const std::string& path) {
    plat::Endpoint e = endpoint(kind);
    e.scheme = "https";
    return e.url(path);
}

std::string ADFREndpoints::url(Kind kind, const std::string& path) {
    return endpoint(kind).url(path);
}

std::string ADFREndpoints::hostAndPort(Kind kind) {
    plat::Endpoint e = endpoint(kind);
    return e.host + ":" + std::to_string(e.port);
}

void ADFREndpoints::trustCertificateAuthorityOf(Kind kind, plat::URLRequest& request) {
    plat::Endpoint e = endpoint(kind);
    if (!e.caFile.empty()) request.setCAFile(e.caFile);
}

bool ADFREndpoints::settingsHostsOnLoopback() {
    return isLoopback(endpoint(Kind::SettingsMirror).host) && isLoopback(endpoint(Kind::Settings).host);
}

bool ADFREndpoints::sameOrigin(const std::string& a, const std::string& b) {
    auto first = plat::NormalURL::of(a);
    auto second = plat::NormalURL::of(b);
    return first && second && first->web() && first->sameOrigin(*second);
}

bool ADFREndpoints::withinPage(const std::string& url, const std::string& page) {
    auto place = plat::NormalURL::of(url);
    auto own = plat::NormalURL::of(page);
    if (!place || !own || !place->sameOrigin(*own) || place->escapedSeparator) return false;
    const std::string& base = own->path;
    const std::string& path = place->path;
    if (path.compare(0, base.size(), base) != 0) return false;
    // "/wall" holds "/wall/x" but not "/wallx".
    return path.size() == base.size() || base.back() == '/' || path[base.size()] == '/';
}

bool ADFREndpoints::isAdServerPage(const std::string& url) {
    return url == "about:blank" ||
           (isConfigured(Kind::SiteRoot) && sameOrigin(url, ADFREndpoints::url(Kind::SiteRoot, "/")));
}
