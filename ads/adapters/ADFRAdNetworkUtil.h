#pragma once
// What the network adapters share: the one fetch of their ad answer, the one-picture ad page, and the
// text forms their networks expect.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "ads/base/ADFREndpoints.h"
#include "ads/base/ADFRTextUtil.h"
#include "ads/settings/ADFRIpApiManager.h"
#include "platform/net/URLConnection.h"

class ADFRAdNetworkUtil {
  public:
    // Sends `request` for `adapter` (a view held by a shared pointer, weakly here: a fetch that outlives
    // its adapter ends unheard) and returns the connection, which the adapter keeps as getAdConnection();
    // only that connection is heard. An answer whose status is not 200 shows the empty page at once
    // (`onErrorStatus` first, then finishLoad) and, unless that ended the fetch, its body still comes; a
    // failure shows the empty page; a finished body goes to `toHtml`, which makes the adapter's page of it.
    template <typename Adapter, typename ToHtml>
    static std::shared_ptr<plat::URLConnection> fetchPage(const plat::URLRequest& request, Adapter& adapter,
                                                          ToHtml toHtml) {
        return fetchPage(request, adapter, std::move(toHtml), [](Adapter&, int) {});
    }
    template <typename Adapter, typename ToHtml, typename OnErrorStatus>
    static std::shared_ptr<plat::URLConnection> fetchPage(const plat::URLRequest& request, Adapter& adapter,
                                                          ToHtml toHtml, OnErrorStatus onErrorStatus) {
        // A network whose server is not configured gets nothing: the empty page at once.
        if (ADFREndpoints::leadsNowhere(request.url())) {
            adapter.finishLoad();
            return nullptr;
        }
        std::weak_ptr<Adapter> weak = std::static_pointer_cast<Adapter>(adapter.shared_from_this());
        return plat::URLConnection::create(
            request, std::make_shared<PageFetch<Adapter, ToHtml, OnErrorStatus>>(weak, std::move(toHtml),
                                                                                 std::move(onErrorStatus)));
    }

    // The one-picture ad page: `markup` centred on a `bgColor` page, links opening outside.
    static std::string adPage(std::string_view markup, std::string_view bgColor = "#ffffff");
    // A picture that links to `link`, as wide as the page; `closeAnchor` false leaves the anchor open,
    // as some networks' own pages have it.
    static std::string pictureLink(std::string_view link, std::string_view image, bool closeAnchor);

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

    // So "!*'();:@&=+$,/?%#[]" and spaces never reach a query as they are.
    static std::string percentEscaped(std::string_view text) {
        return ADFRTextUtil::escapeAllButUnreserved(text);
    }
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

  private:
    // The empty page must show when the status arrives, before the body, so the fetch hears the
    // connection's steps rather than its end alone.
    template <typename Adapter, typename ToHtml, typename OnErrorStatus>
    class PageFetch final : public plat::URLConnectionDelegate {
      public:
        PageFetch(std::weak_ptr<Adapter> adapter, ToHtml toHtml, OnErrorStatus onErrorStatus)
            : adapter_(std::move(adapter)),
              toHtml_(std::move(toHtml)),
              onErrorStatus_(std::move(onErrorStatus)) {}
        void connectionDidReceiveResponse(plat::URLConnection& c,
                                          const plat::URLResponse& response) override {
            auto a = current(c);
            if (!a || response.statusCode() == 200) return;
            onErrorStatus_(*a, response.statusCode());
            a->finishLoad();
        }
        void connectionDidReceiveData(plat::URLConnection& c, const plat::Bytes& data) override {
            if (current(c)) body_.insert(body_.end(), data.begin(), data.end());
        }
        void connectionDidFinishLoading(plat::URLConnection& c) override {
            if (auto a = current(c)) toHtml_(*a, std::exchange(body_, {}));
        }
        void connectionDidFailWithError(plat::URLConnection& c, const plat::Error&) override {
            if (auto a = current(c)) a->finishLoad();
        }

      private:
        std::shared_ptr<Adapter> current(plat::URLConnection& c) const {
            auto a = adapter_.lock();
            return a && a->getAdConnection().get() == &c ? a : nullptr;
        }
        std::weak_ptr<Adapter> adapter_;
        ToHtml toHtml_;
        OnErrorStatus onErrorStatus_;
        plat::Bytes body_;
    };
};
