#pragma once
// Fetches the offer list of the ad crops network for the wall and cleans its text so that it can stand
// inside a single-quoted script string of the wall pages. Main run loop only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Error.h"
#include "platform/base/Value.h"

template <typename Owner>
class ADFRConnectionForwarder;

namespace plat {
class URLConnection;
class URLResponse;
}  // namespace plat

class ZividedirWallJsonEntity;

// Both optional.
class ZividedirWallJsonEntityDelegate {
  public:
    virtual ~ZividedirWallJsonEntityDelegate() = default;
    virtual void zividedirCPIJsonFinish(ZividedirWallJsonEntity&) {}
    virtual void zividedirCPIJsonFailed(ZividedirWallJsonEntity&) {}
};

class ZividedirWallJsonEntity : public std::enable_shared_from_this<ZividedirWallJsonEntity> {
  public:
    static constexpr const char* kUserAgent = "8CHK.A/iPhone/4.2.0/4.3.4/iPhone Simulator/ja/";
    static constexpr double kTimeoutSeconds = 10;
    // An offer list is a few kilobytes; an answer past this is no offer list.
    static constexpr size_t kMaxAnswerBytes = 4u << 20;

    static std::shared_ptr<ZividedirWallJsonEntity> create();
    ~ZividedirWallJsonEntity();

    void loadCpiRequest(const std::string& url);
    void cancelgetInfoRequest();

    // No line breaks, no apostrophes (each becomes U+2019), every backslash doubled, then no whitespace
    // at all (Unicode's, U+3000 and U+00A0 included).
    static std::string cleanedListText(const std::string& text);

    int32_t status() const { return status_; }
    const std::optional<std::string>& jsonString() const { return jsonString_; }
    void setJsonString(std::optional<std::string> text) { jsonString_ = std::move(text); }
    // Retained.
    const std::shared_ptr<ZividedirWallJsonEntityDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::shared_ptr<ZividedirWallJsonEntityDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

  private:
    template <typename>
    friend class ADFRConnectionForwarder;
    ZividedirWallJsonEntity() = default;
    void connectionDidReceiveResponse(plat::URLConnection& connection, const plat::URLResponse& response);
    void connectionDidReceiveData(plat::URLConnection& connection, const plat::Bytes& data);
    void connectionDidFinishLoading(plat::URLConnection& connection);
    void connectionDidFailWithError(plat::URLConnection& connection, const plat::Error&);
    void tellFailed();

    std::shared_ptr<plat::URLConnection> getAdConnection_;
    plat::Bytes getAdReceivedData_;
    int32_t status_ = 0;
    std::optional<std::string> jsonString_;
    std::shared_ptr<ZividedirWallJsonEntityDelegate> delegate_;
};
