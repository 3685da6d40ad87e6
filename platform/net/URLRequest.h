#pragma once
// What to load: URL, method, header fields, body, time-out and cache policy. A value; copies are
// independent. The cache policy is kept for whoever reads it back: nothing here caches answers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/base/Value.h"
#include "platform/net/HTTPHeaderFields.h"

namespace plat {

enum class URLRequestCachePolicy {
    UseProtocolCachePolicy = 0,
    ReloadIgnoringLocalCacheData = 1,
    ReturnCacheDataElseLoad = 2,
    ReturnCacheDataDontLoad = 3,
    ReloadIgnoringLocalAndRemoteCacheData = 4,
    ReloadRevalidatingCacheData = 5,
};

class URLRequest {
  public:
    static constexpr double kDefaultTimeoutInterval = 60;
    // The largest answer body a connection accepts unless the request says otherwise.
    static constexpr size_t kDefaultMaxBodyBytes = 32u << 20;

    URLRequest() = default;
    explicit URLRequest(std::string url,
                        URLRequestCachePolicy cachePolicy = URLRequestCachePolicy::UseProtocolCachePolicy,
                        double timeoutInterval = kDefaultTimeoutInterval);

    const std::string& url() const { return url_; }
    void setURL(std::string url) { url_ = std::move(url); }

    // "GET" unless set; stored upper-case.
    const std::string& httpMethod() const { return method_; }
    void setHTTPMethod(std::string_view method);

    const HTTPHeaderFields& allHTTPHeaderFields() const { return headers_; }
    std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const {
        return headers_.value(field);
    }
    // Replaces the field; an empty optional removes it.
    void setValue(std::optional<std::string> value, std::string_view field);
    void addValue(std::string_view value, std::string_view field) { headers_.add(field, value); }

    const Bytes& httpBody() const { return body_; }
    void setHTTPBody(Bytes body) { body_ = std::move(body); }
    void setHTTPBody(std::string_view body) { body_.assign(body.begin(), body.end()); }

    // Seconds the connection may stay silent (nothing sent, nothing received) before it fails;
    // zero or less means the default.
    double timeoutInterval() const { return timeout_; }
    void setTimeoutInterval(double seconds) { timeout_ = seconds; }

    URLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
    void setCachePolicy(URLRequestCachePolicy policy) { cachePolicy_ = policy; }

    // An answer body larger than this fails the load instead of growing without bound.
    size_t maxBodyBytes() const { return maxBodyBytes_; }
    void setMaxBodyBytes(size_t bytes) { maxBodyBytes_ = bytes; }

    // Off (the default), a POST redirected by 301, 302 or 303 goes on as a GET without its body, as
    // browsers do. On, every followed redirect repeats the same method and body: for uploads whose
    // answer decides what the sender deletes.
    bool keepsMethodOnRedirect() const { return keepsMethodOnRedirect_; }
    void setKeepsMethodOnRedirect(bool keep) { keepsMethodOnRedirect_ = keep; }

    // A PEM file of the authorities to trust for this request alone (an endpoints section's "ca_file").
    // Empty: the loader's default, which is the system's store unless the app named another.
    const std::string& caFile() const { return caFile_; }
    void setCAFile(std::string path) { caFile_ = std::move(path); }

    bool operator==(const URLRequest&) const = default;

  private:
    std::string url_;
    std::string method_ = "GET";
    HTTPHeaderFields headers_;
    Bytes body_;
    double timeout_ = kDefaultTimeoutInterval;
    URLRequestCachePolicy cachePolicy_ = URLRequestCachePolicy::UseProtocolCachePolicy;
    size_t maxBodyBytes_ = kDefaultMaxBodyBytes;
    bool keepsMethodOnRedirect_ = false;
    std::string caFile_;
};

}  // namespace plat
