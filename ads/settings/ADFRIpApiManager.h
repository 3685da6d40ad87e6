#pragma once
// One shared lookup of the device's public IP address (from the ad server's IP echo endpoint) and of the
// user agent, for the adapters that send both to their networks. Once the address is known it is kept
// for the life of the process. Main thread only.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Value.h"

namespace plat {
class Error;
class URLConnection;
class URLResponse;
}  // namespace plat

template <typename>
class ADFRConnectionForwarder;
class ADFRIpApiManager : public std::enable_shared_from_this<ADFRIpApiManager> {
  public:
    static constexpr double kTimeoutSeconds = 3.0;
    static constexpr const char* kPath = "/ua.php";
    using Handler = std::function<void(ADFRIpApiManager&)>;

    static std::shared_ptr<ADFRIpApiManager> sharedManager();
    // Forgets the shared instance (the end of a test).
    static void resetShared();

    // `selector` runs with this manager, on a later run-loop turn, when the load ends, as long as
    // `object` lives. Every caller that registered is told once; a later registration adds to the earlier.
    void setFinishLoadHandler(const std::shared_ptr<void>& object, Handler selector);
    void loadIpAndUa();
    // Forgets `object`'s handlers only (the load, if any, runs on).
    void cancel(const void* object);
    void finishLoad();

    const std::string& ip() const { return ip_; }
    const std::string& ua() const { return ua_; }
    const std::string& errorStr() const { return errorStr_; }

  private:
    // A running request never keeps the manager alive.
    template <typename>
    friend class ADFRConnectionForwarder;
    struct Registration {
        std::weak_ptr<void> object;
        const void* key;
        Handler selector;
    };

    ADFRIpApiManager() = default;
    void connectionDidReceiveResponse(plat::URLConnection& connection, const plat::URLResponse& response);
    void connectionDidReceiveData(plat::URLConnection& connection, const plat::Bytes& data);
    void connectionDidFinishLoading(plat::URLConnection& connection);
    void connectionDidFailWithError(plat::URLConnection& connection, const plat::Error& error);

    std::shared_ptr<plat::URLConnection> connection_;
    std::vector<Registration> handlers_;
    plat::Bytes received_;
    std::string ip_;
    std::string ua_;
    std::string errorStr_;
};
