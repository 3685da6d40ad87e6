// The offer wall's outside parties: the ad crops offer service (the list of a site id from
// wall/offers-<site>.json, its beacon and its icons) and the host of the wall pages' script library.
// Every request is recorded like any other, the beacon's included.
#include <cctype>
#include <fstream>
#include <sstream>

#include "peers/PeerServer.h"

namespace peers {
namespace {

constexpr const char* kJqueryFile = "/usr/share/javascript/jquery/jquery.min.js";
// The smallest transparent GIF: the beacon is a hidden 1 x 1 picture.
constexpr unsigned char kPixel[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80,
                                    0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0x21, 0xf9, 0x04,
                                    0x01, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x01,
                                    0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};

std::string readWhole(const char* path, bool* found) {
    std::ifstream in(path, std::ios::binary);
    *found = static_cast<bool>(in);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool plainSiteId(const std::string& site) {
    if (site.empty() || site.size() > 64) return false;
    for (char c : site)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
    return true;
}

// "{{origin}}" in a list file stands for this server's own address, so icons and the beacon come here.
std::string withOrigin(std::string text, const std::string& origin) {
    const std::string marker = "{{origin}}";
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + origin.size()))
        text.replace(at, marker.size(), origin);
    return text;
}

}  // namespace

void addWallRoutes(PeerServer& s) {
    s.endpoint("ads.adcrops");
    s.endpoint("ads.jquery");
    s.route("GET", "/jquery.min.js", [](const PeerRequest&) {
        bool found = false;
        std::string script = readWhole(kJqueryFile, &found);
        if (!found) return PeerAnswer{.status = 404, .body = "no script library (libjs-jquery)\n"};
        return PeerAnswer{.contentType = "application/javascript", .body = script};
    });
    s.route("GET", "/ad/p/txt", [&s](const PeerRequest& r) {
        const std::string site = r.param("_site");
        bool found = false;
        std::string list = plainSiteId(site) ? s.dataFile("wall/offers-" + site + ".json", &found) : "";
        if (!found) return PeerAnswer{.status = 404, .body = "unknown site\n"};
        return PeerAnswer{.contentType = "application/json",
                          .body = withOrigin(list, "http://127.0.0.1:" + std::to_string(s.port()))};
    });
    s.route("GET", "/ad/p/beacon", [](const PeerRequest&) {
        return PeerAnswer{.contentType = "image/gif",
                          .body = std::string(reinterpret_cast<const char*>(kPixel), sizeof kPixel)};
    });
}

}  // namespace peers
