#pragma once
// The URL-connection delegate of an ad view's own request: it holds the view weakly, so a request that
// outlives its view ends unheard, and hands each call on to the view under the delegate's own name.
#include <memory>

#include "platform/net/URLConnection.h"

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
