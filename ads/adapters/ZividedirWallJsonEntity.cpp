#include "ads/adapters/ZividedirWallJsonEntity.h"

#include "ads/base/ADFRConnectionForwarder.h"
#include "ads/base/ADFREndpoints.h"

#include "platform/base/Log.h"
#include "platform/base/Regex.h"
#include "platform/base/Utf8.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"

std::shared_ptr<ZividedirWallJsonEntity> ZividedirWallJsonEntity::create() {
    return std::shared_ptr<ZividedirWallJsonEntity>(new ZividedirWallJsonEntity());
}

ZividedirWallJsonEntity::~ZividedirWallJsonEntity() {
    if (getAdConnection_) getAdConnection_->cancel();
}

void ZividedirWallJsonEntity::loadCpiRequest(const std::string& url) {
    if (getAdConnection_) getAdConnection_->cancel();
    getAdReceivedData_.clear();
    if (ADFREndpoints::leadsNowhere(url)) {
        // Left as if it never answered: the wall's own time limit ends it.
        getAdConnection_.reset();
        status_ = 0;
        return;
    }
    plat::URLRequest request(url, plat::URLRequestCachePolicy::ReloadIgnoringLocalCacheData, kTimeoutSeconds);
    request.setValue(std::string(kUserAgent), "User-Agent");
    getAdConnection_ = ADFRConnectionForwarder<ZividedirWallJsonEntity>::connect(request, weak_from_this());
    status_ = 1;
}

void ZividedirWallJsonEntity::cancelgetInfoRequest() {
    if (status_ == 1 && getAdConnection_) getAdConnection_->cancel();
    getAdConnection_.reset();
    status_ = 0;
    getAdReceivedData_.clear();
}

void ZividedirWallJsonEntity::tellFailed() {
    // The delegate may drop this loader.
    auto keep = shared_from_this();
    if (auto delegate = delegate_) delegate->zividedirCPIJsonFailed(*this);
}

void ZividedirWallJsonEntity::connectionDidReceiveResponse(plat::URLConnection& connection,
                                                           const plat::URLResponse& response) {
    const int statusCode = response.statusCode();
    if (&connection != getAdConnection_.get() || statusCode == 200) return;
    plat::logInfo("ads: the offer list answered %d", statusCode);
    cancelgetInfoRequest();
    // Nobody would hear of it otherwise, and the wall would keep its loading box over the whole screen.
    tellFailed();
}

void ZividedirWallJsonEntity::connectionDidReceiveData(plat::URLConnection& connection,
                                                       const plat::Bytes& data) {
    if (&connection != getAdConnection_.get()) return;
    if (getAdReceivedData_.size() + data.size() > kMaxAnswerBytes) {
        plat::logWarning("ads: the offer list is larger than %zu bytes; dropped", kMaxAnswerBytes);
        cancelgetInfoRequest();
        tellFailed();
        return;
    }
    getAdReceivedData_.insert(getAdReceivedData_.end(), data.begin(), data.end());
}

void ZividedirWallJsonEntity::connectionDidFinishLoading(plat::URLConnection& connection) {
    if (&connection != getAdConnection_.get()) return;
    getAdConnection_.reset();
    status_ = 0;
    std::string text(getAdReceivedData_.begin(), getAdReceivedData_.end());
    getAdReceivedData_.clear();
    if (text.empty() || !plat::isValidUtf8(text)) {
        tellFailed();
        return;
    }
    jsonString_ = cleanedListText(text);
    auto keep = shared_from_this();
    if (auto delegate = delegate_) delegate->zividedirCPIJsonFinish(*this);
}

void ZividedirWallJsonEntity::connectionDidFailWithError(plat::URLConnection& connection,
                                                         const plat::Error&) {
    if (&connection != getAdConnection_.get()) return;
    getAdConnection_.reset();
    status_ = 0;
    getAdReceivedData_.clear();
    tellFailed();
}

std::string ZividedirWallJsonEntity::cleanedListText(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
            case '\n':
            case '\r':
                break;
            case '\'':
                out += "\u2019";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    static const auto whitespace = plat::Regex::create("\\s", plat::Regex::kCaseInsensitive);
    return whitespace ? whitespace->replaceAll(out, "") : out;
}
