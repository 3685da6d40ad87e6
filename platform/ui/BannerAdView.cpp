#include "platform/ui/BannerAdView.h"

#include <atomic>
#include <map>

#include "platform/runloop/RunLoop.h"

namespace plat {

namespace {

// The banners whose answer is still to come, by request number: an answer for a banner that went away
// finds nobody.
std::map<uint64_t, BannerAdView*>& pending() {
    static std::map<uint64_t, BannerAdView*> requests;
    return requests;
}

std::atomic<uint64_t> nextRequest{1};

}  // namespace

BannerAdView::BannerAdView(AdType type)
    : View(type == kMediumRectangle ? Rect{0, 0, 300, 250} : Rect{0, 0, 320, 50}), type_(type) {
    requestTask_ = nextRequest++;
    pending()[requestTask_] = this;
    const uint64_t request = requestTask_;
    RunLoop::main().post([request] {
        auto it = pending().find(request);
        if (it == pending().end()) return;
        BannerAdView* banner = it->second;
        pending().erase(it);
        auto keep = banner->weak_from_this().lock();
        auto delegate = banner->delegate_.lock();
        if (!keep || !delegate) return;
        delegate->bannerViewDidFailToReceiveAdWithError(
            *banner, Error::withDescription(kErrorDomain, kInventoryUnavailable, "No ad is available here"));
    });
}

BannerAdView::~BannerAdView() {
    pending().erase(requestTask_);
}

}  // namespace plat
