// The contracts potemaru-peers serves. Each outside party is one small function that names its endpoint
// and adds its routes; add it to the list at the bottom.
//
//   void addAdServer(PeerServer& s) {
//       s.endpoint("ads");
//       s.route("GET", "/zividedir/api/getinfo/app_id/(\\w+)", [&s](const PeerRequest& r) {
//           return PeerAnswer{.contentType = "application/json",
//                             .body = s.dataFile("ads/getinfo-" + r.matches[1] + ".json")};
//       });
//   }
//
// Files under the data folder are served as they are at their own path, before any route.
#include <nlohmann/json.hpp>

#include "peers/PeerServer.h"
#include "peers/RoutesHouse.h"

namespace peers {
namespace {

// The data folder itself: any file, at its path.
void addFiles(PeerServer& s) {
    s.endpoint("files");
}

// Whether the program is up (scripts and tests wait on it).
void addStatus(PeerServer& s) {
    s.route("GET", "/status", [](const PeerRequest&) { return PeerAnswer{.body = "ok\n"}; });
}

PeerAnswer json(int status, const nlohmann::json& body) {
    return PeerAnswer{.status = status, .contentType = "application/json", .body = body.dump()};
}

// The settings of a media id from ads/<id>.json: the file names each ad's HTML by "html_file" (a file
// under ads/), which goes out as Base64 in "html", the way the real server sends it.
PeerAnswer adSettings(const PeerServer& s, const std::string& mediaId) {
    bool found = false;
    std::string text = s.dataFile("ads/" + mediaId + ".json", &found);
    if (!found) return json(404, {{"result", "ng"}, {"reason", "unknown media id"}});
    nlohmann::json settings = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!settings.is_object())
        return json(500, {{"result", "ng"}, {"reason", "ads/" + mediaId + ".json is bad"}});
    if (auto list = settings.find("settings"); list != settings.end() && list->is_array()) {
        for (auto& entry : *list) {
            auto file = entry.find("html_file");
            if (file == entry.end() || !file->is_string()) continue;
            bool htmlFound = false;
            std::string html = s.dataFile("ads/" + file->get<std::string>(), &htmlFound);
            if (!htmlFound)
                return json(500, {{"result", "ng"}, {"reason", "no ads/" + file->get<std::string>()}});
            entry["html"] = base64(html);
            entry.erase("html_file");
        }
    }
    return json(200, settings);
}

// The ad server: settings over https (CDN mirror and primary are the same here), reports and the IP echo
// over http, and the site root (the data folder's ads/ files) that ad HTML resolves against.
void addAdServer(PeerServer& s) {
    s.endpoint("ads.settings_mirror", "https");
    s.endpoint("ads.settings", "https");
    for (const char* name : {"ads.impression", "ads.click", "ads.ip", "ads.site", "ads.staging"})
        s.endpoint(name);
    s.route("GET", R"(/zividedir/api/getinfo/app_id/([0-9A-Za-z_-]+)(/.*)?)",
            [&s](const PeerRequest& r) { return adSettings(s, r.matches[1]); });
    // Reports are recorded like every request; the answer is never read.
    s.route("GET", "/zividedir/api/rec-impression",
            [](const PeerRequest&) { return PeerAnswer{.body = "ok"}; });
    s.route("GET", R"(/zividedir/api/rec-click/.*)",
            [](const PeerRequest&) { return PeerAnswer{.body = "ok"}; });
    s.route("GET", "/ua.php", [](const PeerRequest& r) { return json(200, {{"ip", r.remoteAddress}}); });
}

// One hit's "name=value&..." payload as a JSON object of decoded fields.
nlohmann::json hitFields(std::string_view payload) {
    nlohmann::json fields = nlohmann::json::object();
    while (!payload.empty()) {
        size_t amp = payload.find('&');
        std::string_view item = payload.substr(0, amp);
        payload = amp == std::string_view::npos ? std::string_view() : payload.substr(amp + 1);
        if (item.empty()) continue;
        size_t eq = item.find('=');
        std::string value = eq == std::string_view::npos ? std::string() : formDecoded(item.substr(eq + 1));
        std::string name = formDecoded(item.substr(0, eq));
        fields[name] = value;  // bytes that are not UTF-8 are replaced when the line is written
    }
    return fields;
}

void recordHit(PeerServer& s, const PeerRequest& r, std::string_view payload) {
    std::string encoding = r.header("Content-Encoding");
    nlohmann::json line{{"hit", true},
                        {"path", r.path},
                        {"method", r.method},
                        {"encoding", encoding.empty() ? "identity" : encoding},
                        {"fields", hitFields(payload)}};
    s.recordLine(line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

// The analytics collection server: single hits to "/collect" (GET query or POST body) and batches to
// "/batch" (one hit per line, the body already inflated), over http and https. Every hit is recorded
// as a line of its own with its decoded fields; the answer is always 200.
void addCollectionServer(PeerServer& s) {
    s.endpoint("analytics.https", "https");
    s.endpoint("analytics.http");
    s.route("GET", "/collect", [&s](const PeerRequest& r) {
        recordHit(s, r, r.query);
        return PeerAnswer{};
    });
    s.route("POST", "/collect", [&s](const PeerRequest& r) {
        recordHit(s, r, r.body);
        return PeerAnswer{};
    });
    s.route("POST", "/batch", [&s](const PeerRequest& r) {
        std::string_view rest = r.body;
        while (!rest.empty()) {
            size_t nl = rest.find('\n');
            std::string_view line = rest.substr(0, nl);
            rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
            if (!line.empty()) recordHit(s, r, line);
        }
        return PeerAnswer{};
    });
}

}  // namespace

void addWallRoutes(PeerServer& server);  // RoutesWall.cpp
void addAdNetworks(PeerServer& s);       // RoutesNetworks.cpp

// RoutesTagManager.cpp
void addTagManagerRoutes(PeerServer& s);

void addRoutes(PeerServer& server) {
    for (auto add : {addFiles, addStatus, addAdServer, addCollectionServer}) add(server);
    addWallRoutes(server);
    addHouseNetwork(server);
    addAdNetworks(server);
    addTagManagerRoutes(server);
}

}  // namespace peers
