// The tag-manager server: containers from tagmanager/<id> (a supplemented resource in the wire format),
// the same for preview queries, and the pixel that the container's tags load. A reply names this
// server wherever the committed file says "http://peers.invalid", so pixels come back here.
#include <cctype>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "peers/PeerServer.h"
#include "wire/ZAVWireArray.h"
#include "wire/ZAVWireExtensionField.h"
#include "wire/ZAVWireRootObject.h"
#include "wire/ZAVWireString.h"
#include "wire/schema/ZAVPServing.h"

namespace peers {
namespace {

constexpr const char* kPlaceholder = "http://peers.invalid";
// The smallest transparent GIF.
constexpr unsigned char kGif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80,
                                  0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0x21, 0xf9, 0x04,
                                  0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00,
                                  0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};

// Container ids name files: letters, digits, '-', '_' and '.', not leading.
bool plainId(const std::string& id) {
    if (id.empty() || id.size() > 64 || id[0] == '.') return false;
    for (char c : id)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') return false;
    return true;
}

void rewriteValues(const ZAVWireMutableArrayPtr& values, const std::string& origin, int depth);

void rewriteValue(ZAVPValue& value, const std::string& origin, int depth) {
    if (depth > 32) return;  // the committed files nest a few levels at most
    if (value.hasString()) {
        const std::string& text = value.string()->utf8();
        if (text.rfind(kPlaceholder, 0) == 0)
            value.setString(ZAVWireString::create(origin + text.substr(std::string(kPlaceholder).size())));
    }
    for (const auto& array :
         {value.listItemArray(), value.mapKeyArray(), value.mapValueArray(), value.templateTokenArray()})
        rewriteValues(array, origin, depth + 1);
}

void rewriteValues(const ZAVWireMutableArrayPtr& values, const std::string& origin, int depth) {
    if (!values) return;
    for (size_t i = 0; i < values->count(); ++i)
        if (auto v = std::dynamic_pointer_cast<ZAVPValue>(values->objectAtIndex(i)))
            rewriteValue(*v, origin, depth);
}

PeerAnswer wire(const std::shared_ptr<ZAVWireGeneratedMessage>& message) {
    auto data = message->data();
    return PeerAnswer{.contentType = "application/octet-stream",
                      .body = std::string(reinterpret_cast<const char*>(data->bytes()), data->length())};
}

// "/r?id=<id>&v=…[&pv=<fingerprint>]", previews with "vuz_auth" and "vuz_preview" besides: the
// container, or one without resource when the caller already has this fingerprint.
PeerAnswer container(const PeerServer& s, const PeerRequest& r) {
    const std::string id = r.param("id");
    bool found = false;
    std::string bytes = plainId(id) ? s.dataFile("tagmanager/" + id, &found) : "";
    if (!found) return PeerAnswer{.status = 404, .body = "unknown container\n"};
    std::shared_ptr<ZAVPSupplementedResource> message;
    try {
        message = ZAVPSupplementedResource::parseFromData(ZAVWireData::create(bytes),
                                                          ZAVPServingRoot::extensionRegistry());
    } catch (const std::exception& e) {
        return PeerAnswer{.status = 500, .body = "tagmanager/" + id + " is bad: " + e.what() + "\n"};
    }
    std::string fingerprint = message->hasFingerprint() ? message->fingerprint()->utf8() : "";
    if (fingerprint.empty() && message->hasResource() && message->resource()->hasVersion())
        fingerprint = message->resource()->version()->utf8();
    const std::string previous = r.param("pv");
    if (!fingerprint.empty() && previous == fingerprint) {
        auto unchanged = ZAVPSupplementedResource::message();
        unchanged->setFingerprint(ZAVWireString::create(fingerprint));
        return wire(unchanged);
    }
    if (message->hasResource())
        rewriteValues(message->resource()->valueArray(), "http://127.0.0.1:" + std::to_string(s.port()), 0);
    return wire(message);
}

}  // namespace

void addTagManagerRoutes(PeerServer& s) {
    s.endpoint("tagmanager.server", "https");
    s.route("GET", "/r", [&s](const PeerRequest& r) { return container(s, r); });
    // Pixels of the container's tags: written down with who sent them, answered with a 1 x 1 picture.
    s.route("GET", "/px.*", [&s](const PeerRequest& r) {
        nlohmann::json line{
            {"pixel", true}, {"path", r.path}, {"query", r.query}, {"user_agent", r.header("User-Agent")}};
        s.recordLine(line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
        return PeerAnswer{.contentType = "image/gif",
                          .body = std::string(reinterpret_cast<const char*>(kGif), sizeof kGif)};
    });
}

}  // namespace peers
