#pragma once
// Turns a stored hit into its wire payload and wraps payloads into requests for the collection server.
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Value.h"
#include "platform/net/URLRequest.h"

class RUVRequestBuilder {
  public:
    enum Compression : unsigned { kNone = 0, kDeflate = 1, kGzip = 2 };

    RUVRequestBuilder();
    // The hit's "&" parameters but "&z" in key order, then "ht", "qt" (when it waited 1 ms or more), "z".
    std::string parametersForHit(const plat::Value& hit) const;
    // "&z" skipped; keys in the dictionary's order.
    std::vector<std::string> encodeParameters(const plat::Value::Dictionary& parameters) const;
    std::string encodeParameter(const std::string& name, const std::string& value) const;
    // A string itself, a number's text; nothing for anything else (null included).
    static std::optional<std::string> parameterValueToString(const plat::Value& value);
    plat::URLRequest baseRequest() const;
    plat::URLRequest requestPostUrl(const std::string& url, const std::string& payload,
                                    unsigned compression) const;
    plat::URLRequest requestGetUrl(const std::string& url, const std::string& payload) const;
    const std::string& userAgent() const { return userAgent_; }
    void setUserAgent(std::string userAgent) { userAgent_ = std::move(userAgent); }

  private:
    std::string userAgent_;
};
