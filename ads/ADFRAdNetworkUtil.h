#pragma once
// What the network adapters share: the delegate of their request's connection, which holds the adapter
// weakly (a request that outlives its adapter ends unheard), and the text forms their networks expect.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net/URLConnection.h"

// Hands a connection's callbacks to the adapter while it lives.
template <typename Adapter>
class ADFRConnectionForwarder : public plat::URLConnectionDelegate {
  public:
    explicit ADFRConnectionForwarder(std::weak_ptr<Adapter> adapter) : adapter_(std::move(adapter)) {}
    void connectionDidReceiveResponse(plat::URLConnection& c, const plat::URLResponse& r) override {
        if (auto a = adapter_.lock()) a->connectionDidReceiveResponse(c, r);
    }
    void connectionDidReceiveData(plat::URLConnection& c, const plat::Bytes& d) override {
        if (auto a = adapter_.lock()) a->connectionDidReceiveData(c, d);
    }
    void connectionDidFinishLoading(plat::URLConnection& c) override {
        if (auto a = adapter_.lock()) a->connectionDidFinishLoading(c);
    }
    void connectionDidFailWithError(plat::URLConnection& c, const plat::Error& e) override {
        if (auto a = adapter_.lock()) a->connectionDidFailWithError(c, e);
    }

  private:
    std::weak_ptr<Adapter> adapter_;
};

class ADFRAdNetworkUtil {
  public:
    // The text's UTF-8 bytes with every byte but A-Z, a-z, 0-9, "-", ".", "_" and "~" written as %XX
    // (upper-case hex), so "!*'();:@&=+$,/?%#[]" and spaces never reach a query as they are.
    static std::string percentEscaped(std::string_view text);
    // The leading decimal integer (after white space, with an optional sign), clamped to 32 bits; 0 when
    // the text does not start with one.
    static int32_t intValue(std::string_view text);
    // The text as the inside of a JSON string. Text without quotes, backslashes or control characters
    // comes back unchanged.
    static std::string jsonEscaped(std::string_view text);
    // The bytes as text when they are UTF-8; none otherwise.
    static std::optional<std::string> utf8Text(const plat::Bytes& bytes);
    // In an ad tag, the first `key`, optional spaces, ":", optional spaces and a double-quoted run of
    // ASCII letters and digits: that run. None when the tag holds no such text.
    static std::optional<std::string> tagValue(std::string_view tag, std::string_view key);
};
