#include "tagmanager/container/ZAVResourceLoader.h"

#include <exception>

#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"
#include "tagmanager/base/ZAVEndpoints.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/runtime/ZAVMacros.h"
#include "wire/ZAVWireExtensionField.h"
#include "wire/ZAVWireRootObject.h"
#include "wire/schema/ZAVPServing.h"

namespace {

bool blank(const std::string& text) {
    return text.find_first_not_of(" \t\n\r\v\f") == std::string::npos;
}

}  // namespace

ZAVResourceLoader::ZAVResourceLoader(const std::string& containerId)
    : ctfeServerAddress_(ZAVEndpoints::serverAddress()),
      ctfeUrlPathAndQuery_("/r?id=" + containerId),
      containerId_(containerId),
      defaultCtfeUrlPathAndQuery_(ctfeUrlPathAndQuery_) {}

std::shared_ptr<ZAVResourceLoader> ZAVResourceLoader::initWithContainerId(const std::string& containerId) {
    return std::shared_ptr<ZAVResourceLoader>(new ZAVResourceLoader(containerId));
}

std::string ZAVResourceLoader::sdkVersion() {
    return zavFormat("i%ld", static_cast<long>(ZAVRuntimeVersion::versionNumber()));
}

void ZAVResourceLoader::setCtfeUrlPathAndQuery(const std::optional<std::string>& pathAndQuery) {
    ctfeUrlPathAndQuery_ = pathAndQuery ? *pathAndQuery : defaultCtfeUrlPathAndQuery_;
}

std::string ZAVResourceLoader::ctfeUrl() const {
    std::string url = ctfeServerAddress_ + ctfeUrlPathAndQuery_ + "&v=" + sdkVersion();
    if (previousVersion_ && !blank(*previousVersion_)) url += "&pv=" + *previousVersion_;
    return url;
}

void ZAVResourceLoader::loadResourceAsync() {
    const std::string url = ctfeUrl();
    plat::URLRequest request(url);
    request.setMaxBodyBytes(kMaxResponseBytes);
    // The endpoints file may name an authority of its own for the server (the local peers' test CA).
    const std::string server = ZAVEndpoints::serverAddress();
    const std::string ca = ZAVEndpoints::caFile();
    if (!ca.empty() && url.rfind(server, 0) == 0) request.setCAFile(ca);
    connection_ = plat::URLConnection::create(request, shared_from_this());
    if (!callback_) return;
    if (connection_)
        callback_->startLoad();
    else
        callback_->onFailure(ZAVLoadFailureNotAvailable);
}

void ZAVResourceLoader::connectionDidReceiveResponse(plat::URLConnection&,
                                                     const plat::URLResponse& response) {
    responseData_.emplace();
    statusCode_ = response.statusCode();
}

void ZAVResourceLoader::connectionDidReceiveData(plat::URLConnection& connection, const plat::Bytes& data) {
    if (!responseData_) responseData_.emplace();
    // The request already caps the body; this guards a connection that was given none.
    if (responseData_->size() + data.size() > kMaxResponseBytes) {
        connection.cancel();
        connectionDidFailWithError(
            connection,
            plat::Error::withDescription(plat::URLError::kDomain, plat::URLError::kDataLengthExceedsMaximum,
                                         "The answer is too large."));
        return;
    }
    responseData_->insert(responseData_->end(), data.begin(), data.end());
}

void ZAVResourceLoader::connectionDidFailWithError(plat::URLConnection&, const plat::Error& error) {
    auto self = shared_from_this();  // dropping the connection may drop the last other holder
    responseData_.reset();
    connection_.reset();
    ZAVLog::warning(zavFormat("Error when loading resources from url: %s %s", ctfeUrl().c_str(),
                              error.localizedDescription().c_str()));
    if (callback_) callback_->onFailure(ZAVLoadFailureNotAvailable);
}

void ZAVResourceLoader::connectionDidFinishLoading(plat::URLConnection&) {
    auto self = shared_from_this();
    try {
        if (statusCode_ != 200 && statusCode_ != 404) {
            ZAVLog::warning(zavFormat("Error when loading resources from url: %s status code = %ld",
                                      ctfeUrl().c_str(), static_cast<long>(statusCode_)));
            if (callback_) callback_->onFailure(ZAVLoadFailureIOError);
        } else if (statusCode_ == 404) {
            ZAVLog::warning(zavFormat(
                "No data was retrieved from the given url:%s. Make sure container_id:%s is correct.",
                ctfeUrl().c_str(), containerId_.c_str()));
            if (callback_) callback_->onFailure(ZAVLoadFailureServerError);
        } else {
            try {
                auto data = ZAVWireData::create(responseData_ ? *responseData_ : plat::Bytes());
                auto message =
                    ZAVPSupplementedResource::parseFromData(data, ZAVPServingRoot::extensionRegistry());
                // A whole container's description is large: made only when someone reads it.
                if (ZAVLog::logLevel() <= ZAVLoggerLogLevelVerbose)
                    ZAVLog::verbose("Successfully loaded supplemented resource: " + message->description());
                if (!message->hasResource() &&
                    (!message->hasSupplementalArray() || message->supplementalArray_Count() == 0))
                    ZAVLog::verbose("No change for container: " + containerId_);
                if (callback_) callback_->onSuccess(message);
            } catch (const std::exception&) {
                ZAVLog::warning("Error when parsing downloaded resources from url: " + ctfeUrl());
                if (callback_) callback_->onFailure(ZAVLoadFailureServerError);
            }
            ZAVLog::verbose("Load resource from network finished");
        }
    } catch (const std::exception& e) {
        // A callback that raised while told of a failure: the download is over either way.
        ZAVLog::warning(std::string("Load callback raised: ") + e.what());
    }
    connection_.reset();
}
