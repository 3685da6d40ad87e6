#include "ads/settings/ADFRIpApiManager.h"

#include "ads/base/ADFRConnectionForwarder.h"
#include "ads/base/ADFREndpoints.h"
#include "platform/base/Json.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/WebView.h"

namespace {

std::shared_ptr<ADFRIpApiManager>& sharedSlot() {
    static std::shared_ptr<ADFRIpApiManager> shared;
    return shared;
}

constexpr size_t kMaxAnswerBytes = 64 * 1024;

}  // namespace

std::shared_ptr<ADFRIpApiManager> ADFRIpApiManager::sharedManager() {
    auto& shared = sharedSlot();
    if (!shared) shared = std::shared_ptr<ADFRIpApiManager>(new ADFRIpApiManager());
    return shared;
}

void ADFRIpApiManager::resetShared() {
    if (auto& shared = sharedSlot()) {
        if (shared->connection_) shared->connection_->cancel();
        shared.reset();
    }
}

void ADFRIpApiManager::setFinishLoadHandler(const std::shared_ptr<void>& object, Handler selector) {
    if (!object || !selector) return;
    handlers_.push_back(Registration{object, object.get(), std::move(selector)});
}

void ADFRIpApiManager::loadIpAndUa() {
    if (!ip_.empty()) {
        finishLoad();
        return;
    }
    ua_.clear();
    errorStr_.clear();
    received_.clear();
    if (connection_) connection_->cancel();
    if (!ADFREndpoints::isConfiguredOrSay(ADFREndpoints::Kind::IpEcho)) {
        // The waiting adapters hear it as a failed lookup, as if the server had not answered.
        errorStr_ = "no address lookup is configured";
        finishLoad();
        return;
    }
    plat::URLRequest request(ADFREndpoints::url(ADFREndpoints::Kind::IpEcho, kPath),
                             plat::URLRequestCachePolicy::UseProtocolCachePolicy, kTimeoutSeconds);
    request.setMaxBodyBytes(kMaxAnswerBytes);
    // The networks must see one client: the lookup, the agent it reports and the ad pages all say the same.
    request.setValue(plat::WebView::defaultUserAgent(), "User-Agent");
    connection_ = ADFRConnectionForwarder<ADFRIpApiManager>::connect(request, weak_from_this());
}

void ADFRIpApiManager::cancel(const void* object) {
    std::erase_if(handlers_, [object](const Registration& r) { return r.key == object; });
}

void ADFRIpApiManager::finishLoad() {
    if (connection_) connection_->cancel();
    connection_.reset();
    received_.clear();
    // Each caller waiting now is told once; callers that register later wait for the next load.
    std::vector<Registration> told;
    told.swap(handlers_);
    std::weak_ptr<ADFRIpApiManager> weak = weak_from_this();
    plat::RunLoop::main().post([weak, told = std::move(told)] {
        auto self = weak.lock();
        if (!self) return;
        for (const auto& r : told) {
            if (r.object.expired()) continue;
            r.selector(*self);
        }
    });
}

void ADFRIpApiManager::connectionDidReceiveResponse(plat::URLConnection& connection,
                                                    const plat::URLResponse& response) {
    if (&connection != connection_.get()) return;
    if (response.statusCode() != 200) {
        errorStr_ = "Error Status:" + std::to_string(response.statusCode());
        finishLoad();
    }
}

void ADFRIpApiManager::connectionDidReceiveData(plat::URLConnection& connection, const plat::Bytes& data) {
    if (&connection != connection_.get()) return;
    received_.insert(received_.end(), data.begin(), data.end());
}

void ADFRIpApiManager::connectionDidFinishLoading(plat::URLConnection& connection) {
    if (&connection != connection_.get()) return;
    auto json = plat::Json::parse(received_.data(), received_.size());
    ip_.clear();
    ua_.clear();
    if (json && json->isDictionary()) {
        ip_ = (*json)["ip"].toString();
        // What "navigator.userAgent" gives in a new web view, the agent the ad pages are loaded with.
        ua_ = plat::WebView::defaultUserAgent();
    }
    finishLoad();
}

void ADFRIpApiManager::connectionDidFailWithError(plat::URLConnection& connection, const plat::Error& error) {
    if (&connection != connection_.get()) return;
    errorStr_ = error.localizedDescription();
    finishLoad();
}
