#pragma once
// What the network adapters share: the delegate of their request's connection, which holds the adapter
// weakly (a request that outlives its adapter ends unheard), and the text forms their networks expect.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ads/base/ADFRConnectionForwarder.h"
#include "ads/settings/ADFRIpApiManager.h"
#include "platform/net/URLConnection.h"

class ADFRAdNetworkUtil {
  public:
    // Starts `request` with `adapter` (a view held by a shared pointer) hearing its callbacks.
    template <typename Adapter>
    static std::shared_ptr<plat::URLConnection> startConnection(const plat::URLRequest& request,
                                                                Adapter& adapter) {
        std::weak_ptr<Adapter> weak = std::static_pointer_cast<Adapter>(adapter.shared_from_this());
        return plat::URLConnection::create(request, std::make_shared<ADFRConnectionForwarder<Adapter>>(weak));
    }
    // Has `manager` learn the address and user agent and tell `adapter` (by finishIpManager) when it
    // knows them, as long as the adapter lives.
    template <typename Adapter>
    static void askIpManager(ADFRIpApiManager& manager, Adapter& adapter) {
        auto self = std::static_pointer_cast<Adapter>(adapter.shared_from_this());
        std::weak_ptr<Adapter> weak = self;
        manager.setFinishLoadHandler(self, [weak](ADFRIpApiManager& m) {
            if (auto a = weak.lock()) a->finishIpManager(m);
        });
        manager.loadIpAndUa();
    }
    // "(null)" is what an address or user agent reads when the lookup had none to give.
    static bool isNullText(const std::string& text) { return text == "(null)"; }

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
