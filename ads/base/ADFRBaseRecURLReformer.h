#pragma once
// Appends extra parameters to an impression or click report URL, optionally switching it to https or to
// the path form ("/key/value"). The click and impression variants differ only in how they tell whether a
// URL is already in path form. Main thread only.
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ADFRBaseRecURLReformer {
  public:
    static constexpr const char* kIdfaPlaceholder = "[ZIZ_IDFA]";

    ADFRBaseRecURLReformer() { initializeVars(); }
    virtual ~ADFRBaseRecURLReformer() = default;

    void initializeVars();
    // A later value for the same key replaces the earlier one in its place.
    void addQureyStringKeyValue(const std::string& key, const std::string& value);
    std::optional<std::string> getValue(const std::string& key) const;
    void change_toHttps() { protocol_ = "https:"; }
    void change_toPathInfo() { separator_ = equal_ = start_ = "/"; }
    std::string getReformedRecURL(const std::string& url);
    virtual bool isPathInfoURL_local(const std::string& url) const { return isPathInfoURL(url); }

    static bool isPathInfoURL(const std::string& url);
    static const char* getPathInfoPart() { return "?"; }
    // Every "[ZIZ_IDFA]" replaced by the id, or removed when there is none.
    static std::string replaceIDFA(const std::string& url, const std::optional<std::string>& idfa);

    // The parameters in the order they were first added.
    const std::vector<std::pair<std::string, std::string>>& queryStringKeyValue() const { return params_; }
    const std::string& protocol() const { return protocol_; }
    const std::string& separator() const { return separator_; }
    const std::string& equal() const { return equal_; }
    const std::string& start() const { return start_; }

  private:
    std::vector<std::pair<std::string, std::string>> params_;
    std::string protocol_;
    std::string separator_;
    std::string equal_;
    std::string start_;
};

class ADFRRecClickURLReformer : public ADFRBaseRecURLReformer {
  public:
    bool isPathInfoURL_local(const std::string& url) const override { return isPathInfoURL(url); }
    static bool isPathInfoURL(const std::string& url);
    static const char* getPathInfoPart() { return "rec-click/"; }
};

class ADFRRecImpressionURLReformer : public ADFRBaseRecURLReformer {
  public:
    bool isPathInfoURL_local(const std::string& url) const override { return isPathInfoURL(url); }
    static bool isPathInfoURL(const std::string& url);
    static const char* getPathInfoPart() { return "rec-impression?"; }
};
