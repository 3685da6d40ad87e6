#pragma once
// The URL-connection delegate of an adapter's own request: it holds the adapter weakly, so an adapter
// that went away hears nothing of its request, and forwards each call to the adapter's handler.
#include <memory>

#include "platform/net/URLConnection.h"

template <typename Owner>
class ADFRConnectionForwarder : public plat::URLConnectionDelegate {
  public:
    explicit ADFRConnectionForwarder(std::weak_ptr<Owner> owner) : owner_(std::move(owner)) {}
    void connectionDidReceiveResponse(plat::URLConnection& c, const plat::URLResponse& response) override {
        if (auto o = owner_.lock()) o->didReceiveResponse(c, response);
    }
    void connectionDidReceiveData(plat::URLConnection& c, const plat::Bytes& data) override {
        if (auto o = owner_.lock()) o->didReceiveData(c, data);
    }
    void connectionDidFinishLoading(plat::URLConnection& c) override {
        if (auto o = owner_.lock()) o->didFinishLoading(c);
    }
    void connectionDidFailWithError(plat::URLConnection& c, const plat::Error&) override {
        if (auto o = owner_.lock()) o->didFail(c);
    }

  private:
    std::weak_ptr<Owner> owner_;
};
