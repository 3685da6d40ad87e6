#pragma once
// One container download: a GET of the tag-manager server's "/r?id=…" on the run loop of the thread that
// starts it, the reply parsed as a supplemented resource and reported to the load callback. The running
// connection keeps the loader alive until the download ends.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Value.h"
#include "platform/net/URLConnection.h"
#include "tagmanager/container/ZAVLoadCallback.h"

class ZAVResourceLoader : public plat::URLConnectionDelegate,
                          public std::enable_shared_from_this<ZAVResourceLoader> {
  public:
    // A reply body larger than this fails the download (as a failed connection) instead of growing.
    static constexpr size_t kMaxResponseBytes = 8u << 20;

    static std::shared_ptr<ZAVResourceLoader> initWithContainerId(const std::string& containerId);
    // "i" and the rule runtime's version number.
    static std::string sdkVersion();

    const std::shared_ptr<ZAVLoadCallback>& callback() const { return callback_; }
    void setCallback(std::shared_ptr<ZAVLoadCallback> callback) { callback_ = std::move(callback); }
    const std::string& ctfeServerAddress() const { return ctfeServerAddress_; }
    void setCtfeServerAddress(std::string address) { ctfeServerAddress_ = std::move(address); }
    const std::string& ctfeUrlPathAndQuery() const { return ctfeUrlPathAndQuery_; }
    // None restores the default "/r?id=<container id>".
    void setCtfeUrlPathAndQuery(const std::optional<std::string>& pathAndQuery);
    const std::optional<std::string>& previousVersion() const { return previousVersion_; }
    void setPreviousVersion(std::optional<std::string> version) { previousVersion_ = std::move(version); }
    const std::string& containerId() const { return containerId_; }
    const std::string& defaultCtfeUrlPathAndQuery() const { return defaultCtfeUrlPathAndQuery_; }
    const std::shared_ptr<plat::URLConnection>& connection() const { return connection_; }
    int64_t statusCode() const { return statusCode_; }
    const std::optional<plat::Bytes>& responseData() const { return responseData_; }

    // Server address, path and query, "&v=" and the SDK version, and "&pv=" with the previous version
    // when that is not blank.
    std::string ctfeUrl() const;
    void loadResourceAsync();

    void connectionDidReceiveResponse(plat::URLConnection& connection,
                                      const plat::URLResponse& response) override;
    void connectionDidReceiveData(plat::URLConnection& connection, const plat::Bytes& data) override;
    void connectionDidFailWithError(plat::URLConnection& connection, const plat::Error& error) override;
    void connectionDidFinishLoading(plat::URLConnection& connection) override;

  private:
    explicit ZAVResourceLoader(const std::string& containerId);

    std::shared_ptr<ZAVLoadCallback> callback_;
    std::string ctfeServerAddress_;
    std::string ctfeUrlPathAndQuery_;
    std::optional<std::string> previousVersion_;
    std::shared_ptr<plat::URLConnection> connection_;
    std::optional<plat::Bytes> responseData_;
    int64_t statusCode_ = 0;
    std::string containerId_;
    std::string defaultCtfeUrlPathAndQuery_;
};
