#pragma once
// Regular expressions with the phone's Unicode rules: patterns and subjects are UTF-8, and the classes
// follow Unicode properties, so "\s" also matches U+00A0 and U+3000 and "\d" every decimal digit.
// Positions are byte offsets into the subject. Each search has a work limit: a pattern that would
// backtrack without end fails with a log line (as if nothing matched) instead of hanging.
// A compiled Regex is immutable and may be used from several threads at once.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/Error.h"

namespace plat {

class Regex {
  public:
    enum Option : unsigned { kNone = 0, kCaseInsensitive = 1u << 0 };
    static constexpr uint32_t kMatchLimit = 5'000'000;
    static constexpr size_t kCacheCount = 64;
    static constexpr const char* kErrorDomain = "NSCocoaErrorDomain";
    static constexpr int64_t kErrorCode = 2048;

    struct Range {
        size_t location = 0;
        size_t length = 0;
        bool operator==(const Range&) const = default;
    };
    struct Match {
        Range range;
        // One per capture group; empty for a group that took no part in the match.
        std::vector<std::optional<Range>> groups;
        // The matched text, and each group's (empty when it took no part).
        std::string text;
        std::vector<std::string> groupTexts;
        const std::string& group(size_t n) const;  // 0 is the whole match
    };

    // Null, with a log line and `error` filled when given, for a pattern that does not compile.
    static std::shared_ptr<const Regex> create(std::string_view pattern, unsigned options = kNone,
                                               Error* error = nullptr);
    // The same through a bounded cache of compiled patterns (the least recently used goes first).
    static std::shared_ptr<const Regex> cached(std::string_view pattern, unsigned options = kNone);

    ~Regex();
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;

    const std::string& pattern() const { return pattern_; }
    unsigned options() const { return options_; }
    size_t numberOfCaptureGroups() const { return groupCount_; }

    // The first match at or after byte `start`.
    std::optional<Match> firstMatch(std::string_view subject, size_t start = 0) const;
    // Every match, left to right; empty when a search fails.
    std::vector<Match> allMatches(std::string_view subject) const { return matches(subject, SIZE_MAX); }
    size_t numberOfMatches(std::string_view subject) const { return allMatches(subject).size(); }
    // Every match replaced by `replacement`, in which "$0".."$99" stand for groups (a number is read as
    // long as it names a group) and a backslash takes the next character literally.
    std::string replaceAll(std::string_view subject, std::string_view replacement) const;
    // The subject unchanged when a search fails.
    // Only the first match replaced.
    std::string replaceFirst(std::string_view subject, std::string_view replacement) const;
    // The replacement template filled from one match.
    std::string expand(const Match& match, std::string_view replacement) const;

  private:
    struct Code;
    Regex(std::string pattern, unsigned options, std::unique_ptr<Code> code, size_t groups);
    enum class Outcome { Found, None, Failed };
    std::string replace(std::string_view subject, std::string_view replacement, size_t maxCount) const;
    // Up to `limit` matches; empty when any search fails, so a failure never leaves half a result.
    std::vector<Match> matches(std::string_view subject, size_t limit) const;
    // A failed search (work limit, bad offset) is logged.
    Outcome search(std::string_view subject, size_t start, Match* out) const;

    std::string pattern_;
    unsigned options_;
    std::unique_ptr<Code> code_;
    size_t groupCount_;
};

}  // namespace plat
