#pragma once
// Where the collection server lives: an https and an http endpoint, in the "analytics" section of the
// endpoints table ("analytics.https", "analytics.http"), with defaults under ".invalid" that resolve
// nowhere. The section's CA file is the authority trusted for them.
#include <string>

#include "platform/net/Endpoints.h"

class RUVEndpoints {
  public:
    static constexpr const char* kHttpsName = "analytics.https";
    static constexpr const char* kHttpName = "analytics.http";

    static plat::Endpoint httpsEndpoint();
    static plat::Endpoint httpEndpoint();
    // What the app sets: beats the defaults, not the endpoints file.
    static void setHttpsEndpoint(plat::Endpoint endpoint);
    static void setHttpEndpoint(plat::Endpoint endpoint);

    static std::string httpsURL() { return httpsEndpoint().url("/collect"); }
    static std::string httpsBatchURL() { return httpsEndpoint().url("/batch"); }
    static std::string httpURL() { return httpEndpoint().url("/collect"); }
    static std::string httpBatchURL() { return httpEndpoint().url("/batch"); }
    // The endpoints file or the app names a collection endpoint. With the built-in defaults alone no
    // hit is sent: they stay stored for a run that has a collection server.
    static bool isConfigured();

    // The CA file of the endpoint a URL goes to; empty for the system's.
    static std::string caFileFor(const std::string& url);

    // Seconds a request may stay idle; 0 or less means the platform's default.
    static double timeoutInterval();
    static void setTimeoutInterval(double seconds);

    // A URL whose host is under ".invalid", or that cannot be read: never looked up, never reached.
    static bool isInvalidHost(const std::string& url);
    static std::string hostOf(const std::string& url);

    RUVEndpoints() = delete;
};
