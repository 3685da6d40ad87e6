#pragma once
// The URL-connection delegate of the SDK's own requests: it holds its owner (a manager, a loader, a view)
// weakly, so a request that outlives its owner ends unheard, and hands each call on to the owner under
// the delegate's own name.
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

    // Starts `request` with `adapter` hearing its callbacks.
    static std::shared_ptr<plat::URLConnection> connect(const plat::URLRequest& request,
                                                        std::weak_ptr<Adapter> adapter) {
        return plat::URLConnection::create(request,
                                           std::make_shared<ADFRConnectionForwarder>(std::move(adapter)));
    }

  private:
    std::weak_ptr<Adapter> adapter_;
};
