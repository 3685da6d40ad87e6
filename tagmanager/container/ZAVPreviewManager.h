#pragma once
// Preview of an unpublished container version: the app hands the tag manager a preview URL of its own
// scheme; this process-wide object recognises it and remembers which container is previewed and the
// download path-and-query that fetches the preview version. A second form of URL ends the preview.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class ZAVPreviewManager {
  public:
    ZAVPreviewManager() = default;
    // The shared instance, made on first use.
    static std::shared_ptr<ZAVPreviewManager> instance();
    // Forgets the shared instance (tests start from no preview).
    static void resetInstance();

    // `url` is the URL's absolute text; none is no URL. True when the URL entered or ended a preview.
    bool generatePreviewDataForUrl(const std::optional<std::string>& url);
    bool isPreviewingContainer(const std::string& containerId) const;
    void clear();
    // The first query parameter's value, cut at any further "="; the query is not percent-decoded.
    static std::string containerIdForQuery(const std::string& query);
    // The text after the first "?" that follows the scheme, up to any "#"; empty when there is none.
    static std::string queryOfUrl(const std::string& url);

    static const std::string& enterPattern();
    static const std::string& leavePattern();
    // The whole text must match: a trailing line end does not pass.
    static bool matchesWhole(const std::string& pattern, const std::string& text);

    int64_t previewMode() const;
    void setPreviewMode(int64_t mode);
    std::optional<std::string> ctfeUrlPath() const;
    void setCtfeUrlPath(std::optional<std::string> path);
    std::optional<std::string> containerId() const;
    void setContainerId(std::optional<std::string> containerId);

  private:
    // Read by the storage's background reads while the main thread may change it.
    mutable std::mutex mutex_;
    int64_t previewMode_ = 0;
    std::optional<std::string> ctfeUrlPath_;
    std::optional<std::string> containerId_;
};
