#pragma once
// The web view delegate of an ad view that shows a page. The view owns it and clears it from the web view
// when it goes; a view that is being destroyed (or was never shared) hears nothing and refuses every
// navigation.
#include "platform/ui/WebView.h"

template <typename Owner>
class ZIZRadWebDelegate : public plat::WebViewDelegate {
  public:
    explicit ZIZRadWebDelegate(Owner* owner) : owner_(owner) {}
    bool webViewShouldStartLoadWithRequest(plat::WebView&, const plat::URLRequest& request,
                                           plat::WebViewNavigationType type) override {
        // A view on its way out checks nothing any more, so it lets nothing through either.
        auto keep = owner_->weak_from_this().lock();
        return keep && owner_->shouldStartLoad(request.url(), static_cast<int>(type));
    }
    void webViewDidFinishLoad(plat::WebView&) override {
        if (auto keep = owner_->weak_from_this().lock()) owner_->didFinishLoad();
    }
    void webViewDidFailLoadWithError(plat::WebView&, const plat::Error&) override {
        if (auto keep = owner_->weak_from_this().lock()) owner_->didFailLoad();
    }

  private:
    Owner* owner_;
};
