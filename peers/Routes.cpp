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
#include "peers/PeerServer.h"

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

}  // namespace

void addRoutes(PeerServer& server) {
    for (auto add : {addFiles, addStatus}) add(server);
}

}  // namespace peers
