// The ad networks' own servers (Gamefeat, Zucks, InMobi, Millennial Media, Leadbolt) as the network
// adapters ask them: each answers its path from a file under ads/networks/, with "${HOST}" in the file
// replaced by the host and port the request was sent to, so links and images point back here. Every
// request is recorded like any other.
#include "peers/PeerServer.h"

namespace peers {
namespace {

PeerAnswer networkFile(const PeerServer& s, const PeerRequest& r, const std::string& file,
                       const std::string& contentType) {
    bool found = false;
    std::string body = s.dataFile("ads/networks/" + file, &found);
    if (!found) return PeerAnswer{.status = 404, .body = "no ads/networks/" + file + "\n"};
    std::string host = r.header("Host");
    if (host.empty()) host = "127.0.0.1:" + std::to_string(s.port());
    const std::string mark = "${HOST}";
    for (size_t at = body.find(mark); at != std::string::npos; at = body.find(mark, at + host.size()))
        body.replace(at, mark.size(), host);
    return PeerAnswer{.contentType = contentType, .body = body};
}

}  // namespace

void addAdNetworks(PeerServer& s) {
    for (const char* name :
         {"ads.gamefeat", "ads.zucks", "ads.inmobi", "ads.inmobi-script", "ads.millennial", "ads.leadbolt"})
        s.endpoint(name);
    struct Route {
        const char* method;
        const char* pattern;
        const char* file;
        const char* contentType;
    };
    static constexpr Route kRoutes[] = {
        {"GET", "/webapi/v1/requestCustomAds/", "gamefeat.json", "application/json"},
        {"GET", "/opt/api/v2", "zucks.json", "application/json"},
        {"GET", "/zucks/imp", "ok.txt", "text/plain"},
        {"POST", "/showad/v2", "inmobi.html", "text/html"},
        {"GET", R"(/ad/inmobi\.js)", "inmobi.js", "application/javascript"},
        {"GET", "/getAd", "millennial.html", "text/html"},
        {"GET", "/api/ad_feed", "leadbolt.html", "text/html"},
    };
    for (const Route& route : kRoutes)
        s.route(route.method, route.pattern, [&s, route](const PeerRequest& r) {
            return networkFile(s, r, route.file, route.contentType);
        });
}

}  // namespace peers
