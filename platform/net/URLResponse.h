#pragma once
// What a server answered, before the body: the final URL (after redirects), the HTTP status and header
// fields, and what they say of the body (MIME type, text encoding, expected length).
#include <cstdint>
#include <string>

#include "platform/net/HTTPHeaderFields.h"

namespace plat {

class URLResponse {
  public:
    URLResponse() = default;
    // An HTTP answer; MIME type, text encoding and expected length come from the header fields.
    URLResponse(std::string url, int statusCode, HTTPHeaderFields headers);

    const std::string& url() const { return url_; }
    // 0 for a response that did not come over HTTP.
    int statusCode() const { return statusCode_; }
    const HTTPHeaderFields& allHeaderFields() const { return headers_; }
    std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const {
        return headers_.value(field);
    }
    // Lower-case "type/subtype"; empty when the server named none.
    const std::string& mimeType() const { return mimeType_; }
    // The charset parameter of Content-Type, lower-case; empty when none.
    const std::string& textEncodingName() const { return textEncodingName_; }
    // Content-Length, or -1 when the length is not known in advance.
    int64_t expectedContentLength() const { return expectedContentLength_; }

    bool operator==(const URLResponse&) const = default;

  private:
    std::string url_;
    int statusCode_ = 0;
    HTTPHeaderFields headers_;
    std::string mimeType_;
    std::string textEncodingName_;
    int64_t expectedContentLength_ = -1;
};

}  // namespace plat
