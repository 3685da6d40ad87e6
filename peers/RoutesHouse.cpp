#include "peers/RoutesHouse.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "peers/PeerServer.h"

namespace peers {
namespace {

// The key of tools/rtb/price_tokens.py, so that tokens of the service and of the SDK's table read alike.
constexpr std::string_view kPriceKey = "potemaru-local-exchange";

PeerAnswer json(int status, const nlohmann::json& body) {
    return PeerAnswer{.status = status, .contentType = "application/json", .body = body.dump()};
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A data file with "${PEER}" standing for this server's own http address.
std::string dataWithAddress(const PeerServer& s, const std::string& file, bool* found) {
    return replaceAll(s.dataFile(file, found), "${PEER}", "http://127.0.0.1:" + std::to_string(s.port()));
}

// The first 9 bytes of HMAC-SHA256 of the price text, in URL-safe Base64: 12 characters.
std::string priceToken(const std::string& priceText) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), kPriceKey.data(), static_cast<int>(kPriceKey.size()),
         reinterpret_cast<const unsigned char*>(priceText.data()), priceText.size(), digest, &length);
    std::string token = base64(std::string(reinterpret_cast<const char*>(digest), 9));
    for (char& c : token) c = c == '+' ? '-' : c == '/' ? '_' : c;
    return token;
}

PeerAnswer getad(const PeerServer& s, const PeerRequest& r) {
    if (r.param("aid").empty()) return json(400, {{"error", "no aid"}});
    bool found = false;
    std::string text = dataWithAddress(s, "ads/house/getad.json", &found);
    if (!found) return json(404, {{"error", "no ads/house/getad.json"}});
    return PeerAnswer{.contentType = "application/json", .body = text};
}

// The winning bid of ads/house/bid.json, under the request's own id.
PeerAnswer bid(const PeerServer& s, const PeerRequest& r) {
    nlohmann::json request = nlohmann::json::parse(r.body, nullptr, /*allow_exceptions=*/false);
    if (!request.is_object() || !request.contains("imp") || !request["id"].is_string())
        return json(400, {{"error", "not a bid request"}});
    bool found = false;
    nlohmann::json answer =
        nlohmann::json::parse(dataWithAddress(s, "ads/house/bid.json", &found), nullptr, false);
    if (!found || !answer.is_object()) return json(500, {{"error", "ads/house/bid.json is bad"}});
    answer["id"] = request["id"];
    return json(200, answer);
}

PeerAnswer price(const PeerRequest& r) {
    static const std::regex number(R"([0-9]+(\.[0-9]+)?)");
    const std::string price = r.param("price");
    if (r.param("ankey") != "1075" || !std::regex_match(price, number))
        return PeerAnswer{.status = 400, .body = "bad price request\n"};
    return PeerAnswer{.body = priceToken(price)};
}

}  // namespace

void addHouseNetwork(PeerServer& s) {
    s.endpoint("ads.house");
    s.endpoint("ads.exchange");
    s.endpoint("ads.price", "https");
    s.route("GET", "/zividedirpr/api/getad", [&s](const PeerRequest& r) { return getad(s, r); });
    s.route("POST", "/rtb/bid", [&s](const PeerRequest& r) { return bid(s, r); });
    s.route("GET", "/get-rtb-encrypted-price.php", [](const PeerRequest& r) { return price(r); });
    // The items' impressions and the exchange's notices are recorded like every request.
    for (const char* path : {"/zividedirpr/api/imp", "/rtb/imp"})
        s.route("GET", path, [](const PeerRequest&) { return PeerAnswer{.body = "ok"}; });
}

}  // namespace peers
