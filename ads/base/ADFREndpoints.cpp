#include "ads/base/ADFREndpoints.h"

#include <cctype>
#include <optional>

#include <arpa/inet.h>

#include "platform/base/PercentEncoding.h"
#include "platform/net/FileURL.h"

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

namespace {

// An address taken apart: its origin (scheme, host, port) and its path. A file address's path is the
// decoded one, as the engine may spell the escapes of one folder in more than one way; a web address's
// path stays as the server reads it.
struct Place {
    std::string scheme, host;
    int port = -1;
    std::string path;
    bool web() const { return scheme == "http" || scheme == "https"; }
    bool sameOrigin(const Place& other) const {
        return scheme == other.scheme && host == other.host && port == other.port;
    }
};

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// An http(s) or file address; none for anything else.
std::optional<Place> placeOf(const std::string& url) {
    const size_t colon = url.find("://");
    if (colon == std::string::npos) return std::nullopt;
    Place place;
    place.scheme = lowered(url.substr(0, colon));
    if (!place.web() && place.scheme != "file") return std::nullopt;
    const size_t authorityEnd = url.find_first_of("/?#", colon + 3);
    std::string authority = url.substr(colon + 3, authorityEnd - (colon + 3));
    // A user name before the host would make "http://site@other/" look like the site.
    if (authority.find('@') != std::string::npos) return std::nullopt;
    if (place.web()) place.port = place.scheme == "https" ? 443 : 80;
    place.host = authority;
    const size_t portAt = authority.rfind(':');
    if (place.web() && portAt != std::string::npos && authority.find(']', portAt) == std::string::npos) {
        place.host = authority.substr(0, portAt);
        const std::string digits = authority.substr(portAt + 1);
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        place.port = std::stoi(digits);
    }
    place.host = lowered(place.host);
    if (!place.web()) {
        auto path = plat::pathFromFileURL(url);
        if (!path) return std::nullopt;
        if (place.host == "localhost") place.host.clear();
        place.path = path->string();
        return place;
    }
    if (authorityEnd != std::string::npos && url[authorityEnd] == '/')
        place.path = url.substr(authorityEnd, url.find_first_of("?#", authorityEnd) - authorityEnd);
    if (place.path.empty()) place.path = "/";
    return place;
}

}  // namespace

bool ADFREndpoints::sameOrigin(const std::string& a, const std::string& b) {
    auto first = placeOf(a);
    auto second = placeOf(b);
    return first && second && first->web() && first->sameOrigin(*second);
}

bool ADFREndpoints::withinPage(const std::string& url, const std::string& page) {
    auto place = placeOf(url);
    auto own = placeOf(page);
    if (!place || !own || !place->sameOrigin(*own)) return false;
    const std::string& base = own->path;
    const std::string& path = place->path;
    // A ".." is refused however it is spelled ("%2e%2e" too).
    const std::string plain = place->web() ? plat::percentDecoded(path).value_or(path) : path;
    if (path.compare(0, base.size(), base) != 0 || (plain + "/").find("/../") != std::string::npos)
        return false;
    // "/wall" holds "/wall/x" but not "/wallx".
    return path.size() == base.size() || base.back() == '/' || path[base.size()] == '/';
}

bool ADFREndpoints::isAdServerPage(const std::string& url) {
    return url == "about:blank" || sameOrigin(url, ADFREndpoints::url(Kind::SiteRoot, "/"));
}
