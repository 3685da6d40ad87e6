#pragma once
// Where the tag-manager server lives: "tagmanager.server" in the endpoints table (https), by default
// under ".invalid", which resolves nowhere, so with nothing configured the tag manager is offline.
#include <string>

#include "platform/net/Endpoints.h"

class ZAVEndpoints {
  public:
    static constexpr const char* kServerName = "tagmanager.server";
    static constexpr const char* kDefaultHost = "server.tagmanager.invalid";

    static plat::Endpoint serverEndpoint();
    // The endpoints file or the app names the server. Without it no container is fetched and no hit is
    // sent (they stay stored); `offlineLine` has the first such check in this process say so once.
    static bool isConfigured(bool offlineLine = true);
    // What the app sets: beats the default, not the endpoints file.
    static void setServerEndpoint(plat::Endpoint endpoint);
    // "https://host:port", no trailing slash.
    static std::string serverAddress() { return serverEndpoint().url(); }
    static std::string serverHost() { return serverEndpoint().host; }
    // The authority to trust for the server (the endpoints file's "ca_file"); empty for the system's.
    static std::string caFile() { return serverEndpoint().caFile; }

    ZAVEndpoints() = delete;
};
