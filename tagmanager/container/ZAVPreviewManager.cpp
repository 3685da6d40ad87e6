#include "tagmanager/container/ZAVPreviewManager.h"

#include "platform/base/Regex.h"
#include "tagmanager/base/ZAVLog.h"

namespace {

std::mutex instanceMutex;
std::shared_ptr<ZAVPreviewManager> sharedInstance;

}  // namespace

std::shared_ptr<ZAVPreviewManager> ZAVPreviewManager::instance() {
    std::lock_guard<std::mutex> lock(instanceMutex);
    if (!sharedInstance) sharedInstance = std::make_shared<ZAVPreviewManager>();
    return sharedInstance;
}

void ZAVPreviewManager::resetInstance() {
    std::lock_guard<std::mutex> lock(instanceMutex);
    sharedInstance.reset();
}

const std::string& ZAVPreviewManager::enterPattern() {
    static const std::string pattern =
        R"(^zodaruzivu.c.\S+:\/\/preview\/p\?id=\S+&vuz_auth=\S+&vuz_preview=\d+$)";
    return pattern;
}

const std::string& ZAVPreviewManager::leavePattern() {
    static const std::string pattern = R"(^zodaruzivu.c.\S+:\/\/preview\/p\?id=\S+&vuz_preview=$)";
    return pattern;
}

bool ZAVPreviewManager::matchesWhole(const std::string& pattern, const std::string& text) {
    // "$" also matches before a final line end; "\z" holds the match to the very end of the text.
    auto regex = plat::Regex::cached("(?:" + pattern + ")\\z");
    if (!regex) return false;
    auto match = regex->firstMatch(text);
    return match && match->range.location == 0 && match->range.length == text.size();
}

std::string ZAVPreviewManager::queryOfUrl(const std::string& url) {
    size_t schemeEnd = url.find("://");
    size_t question = url.find('?', schemeEnd == std::string::npos ? 0 : schemeEnd);
    if (question == std::string::npos) return {};
    size_t fragment = url.find('#', question);
    return url.substr(question + 1,
                      fragment == std::string::npos ? std::string::npos : fragment - question - 1);
}

std::string ZAVPreviewManager::containerIdForQuery(const std::string& query) {
    std::string first = query.substr(0, query.find('&'));
    size_t equals = first.find('=');
    if (equals == std::string::npos) return {};
    size_t end = first.find('=', equals + 1);
    return first.substr(equals + 1, end == std::string::npos ? std::string::npos : end - equals - 1);
}

bool ZAVPreviewManager::generatePreviewDataForUrl(const std::optional<std::string>& url) {
    if (!url) return false;
    std::string line = "Preview Url = " + *url;
    ZAVLog::info(line);
    std::string query = queryOfUrl(*url);
    if (matchesWhole(enterPattern(), *url)) {
        std::lock_guard<std::mutex> lock(mutex_);
        previewMode_ = 1;
        ctfeUrlPath_ = "/r?" + query;
        containerId_ = containerIdForQuery(query);
        return true;
    }
    if (matchesWhole(leavePattern(), *url)) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (containerId_ && containerIdForQuery(query) == *containerId_) {
            previewMode_ = 0;
            ctfeUrlPath_.reset();
            return true;
        }
    }
    ZAVLog::info("Not a tag manager " + line);
    return false;
}

bool ZAVPreviewManager::isPreviewingContainer(const std::string& containerId) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return previewMode_ == 1 && containerId_ && *containerId_ == containerId;
}

void ZAVPreviewManager::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    previewMode_ = 0;
    ctfeUrlPath_.reset();
    containerId_.reset();
}

int64_t ZAVPreviewManager::previewMode() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return previewMode_;
}

void ZAVPreviewManager::setPreviewMode(int64_t mode) {
    std::lock_guard<std::mutex> lock(mutex_);
    previewMode_ = mode;
}

std::optional<std::string> ZAVPreviewManager::ctfeUrlPath() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ctfeUrlPath_;
}

void ZAVPreviewManager::setCtfeUrlPath(std::optional<std::string> path) {
    std::lock_guard<std::mutex> lock(mutex_);
    ctfeUrlPath_ = std::move(path);
}

std::optional<std::string> ZAVPreviewManager::containerId() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return containerId_;
}

void ZAVPreviewManager::setContainerId(std::optional<std::string> containerId) {
    std::lock_guard<std::mutex> lock(mutex_);
    containerId_ = std::move(containerId);
}
