#include "platform/base/Regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "platform/base/Cache.h"
#include "platform/base/Lasting.h"
#include "platform/base/Log.h"

namespace plat {

struct Regex::Code {
    pcre2_code* code = nullptr;
    pcre2_match_context* context = nullptr;
    ~Code() {
        pcre2_match_context_free(context);
        pcre2_code_free(code);
    }
};

namespace {

std::string pcreMessage(int code) {
    PCRE2_UCHAR buffer[256];
    if (pcre2_get_error_message(code, buffer, sizeof buffer) < 0) return "error " + std::to_string(code);
    return reinterpret_cast<const char*>(buffer);
}

struct MatchData {
    explicit MatchData(const pcre2_code* code) : data(pcre2_match_data_create_from_pattern(code, nullptr)) {}
    ~MatchData() { pcre2_match_data_free(data); }
    pcre2_match_data* data;
};

// Length of the UTF-8 sequence starting with `lead` (1 for a stray byte, so scanning always advances).
size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2) return 2;
    return 1;
}

}  // namespace

Regex::Regex(std::string pattern, unsigned options, std::unique_ptr<Code> code, size_t groups)
    : pattern_(std::move(pattern)), options_(options), code_(std::move(code)), groupCount_(groups) {}

Regex::~Regex() = default;

const std::string& Regex::Match::group(size_t n) const {
    static const Lasting<std::string> empty;
    if (n == 0) return text;
    return n <= groupTexts.size() ? groupTexts[n - 1] : *empty;
}

std::shared_ptr<const Regex> Regex::create(std::string_view pattern, unsigned options, Error* error) {
    // Subjects that are not valid UTF-8 are searched rather than refused (MATCH_INVALID_UTF).
    uint32_t flags = PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF;
    if (options & kCaseInsensitive) flags |= PCRE2_CASELESS;
    int code = 0;
    PCRE2_SIZE offset = 0;
    auto compiled = std::make_unique<Code>();
    compiled->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), flags, &code,
                                   &offset, nullptr);
    if (!compiled->code) {
        std::string message = pcreMessage(code);
        logWarning("Regex: pattern \"%.*s\" does not compile at offset %zu: %s",
                   static_cast<int>(pattern.size()), pattern.data(), static_cast<size_t>(offset),
                   message.c_str());
        if (error) *error = Error::withDescription(kErrorDomain, kErrorCode, message);
        return nullptr;
    }
    compiled->context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(compiled->context, kMatchLimit);
    uint32_t groups = 0;
    pcre2_pattern_info(compiled->code, PCRE2_INFO_CAPTURECOUNT, &groups);
    return std::shared_ptr<const Regex>(
        new Regex(std::string(pattern), options, std::move(compiled), groups));
}

std::shared_ptr<const Regex> Regex::cached(std::string_view pattern, unsigned options) {
    static Lasting<Cache<std::string, std::shared_ptr<const Regex>>> cache(0, kCacheCount);
    std::string key = std::to_string(options) + ':' + std::string(pattern);
    if (auto hit = cache->object(key)) return *hit;
    auto regex = create(pattern, options);
    if (regex) cache->setObject(key, regex);
    return regex;
}

Regex::Outcome Regex::search(std::string_view subject, size_t start, Match* out) const {
    if (start > subject.size()) return Outcome::None;
    MatchData match(code_->code);
    if (!match.data) return Outcome::Failed;
    int rc = pcre2_match(code_->code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), start, 0,
                         match.data, code_->context);
    if (rc == PCRE2_ERROR_NOMATCH) return Outcome::None;
    if (rc < 0) {
        logWarning("Regex: search with \"%s\" failed: %s", pattern_.c_str(), pcreMessage(rc).c_str());
        return Outcome::Failed;
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match.data);
    out->range = Range{ovector[0], ovector[1] - ovector[0]};
    out->text.assign(subject.substr(ovector[0], ovector[1] - ovector[0]));
    out->groups.assign(groupCount_, std::nullopt);
    out->groupTexts.assign(groupCount_, std::string());
    for (size_t i = 1; i <= groupCount_ && i < static_cast<size_t>(rc); ++i) {
        if (ovector[2 * i] == PCRE2_UNSET) continue;
        out->groups[i - 1] = Range{ovector[2 * i], ovector[2 * i + 1] - ovector[2 * i]};
        out->groupTexts[i - 1].assign(subject.substr(ovector[2 * i], ovector[2 * i + 1] - ovector[2 * i]));
    }
    return Outcome::Found;
}

std::optional<Regex::Match> Regex::firstMatch(std::string_view subject, size_t start) const {
    Match m;
    if (search(subject, start, &m) != Outcome::Found) return std::nullopt;
    return m;
}

std::vector<Regex::Match> Regex::matches(std::string_view subject, size_t limit) const {
    std::vector<Match> out;
    size_t at = 0;
    while (at <= subject.size() && out.size() < limit) {
        Match m;
        Outcome outcome = search(subject, at, &m);
        if (outcome == Outcome::Failed) return {};
        if (outcome == Outcome::None) break;
        size_t end = m.range.location + m.range.length;
        // After an empty match the next search starts one character further on, so it cannot repeat.
        if (m.range.length == 0) {
            at = end < subject.size() ? end + sequenceLength(static_cast<unsigned char>(subject[end]))
                                      : end + 1;
        } else {
            at = end;
        }
        out.push_back(std::move(m));
    }
    return out;
}

std::string Regex::expand(const Match& match, std::string_view replacement) const {
    std::string out;
    for (size_t i = 0; i < replacement.size(); ++i) {
        char c = replacement[i];
        if (c == '\\' && i + 1 < replacement.size()) {
            out += replacement[++i];
            continue;
        }
        if (c == '$' && i + 1 < replacement.size() && replacement[i + 1] >= '0' &&
            replacement[i + 1] <= '9') {
            size_t n = static_cast<size_t>(replacement[++i] - '0');
            // Further digits belong to the number only while it still names a group.
            while (i + 1 < replacement.size() && replacement[i + 1] >= '0' && replacement[i + 1] <= '9') {
                size_t longer = n * 10 + static_cast<size_t>(replacement[i + 1] - '0');
                if (longer > groupCount_) break;
                n = longer;
                ++i;
            }
            out += match.group(n);
            continue;
        }
        out += c;
    }
    return out;
}

std::string Regex::replace(std::string_view subject, std::string_view replacement, size_t maxCount) const {
    std::string out;
    size_t copied = 0;
    for (const Match& m : matches(subject, maxCount)) {
        out.append(subject.substr(copied, m.range.location - copied));
        out += expand(m, replacement);
        copied = m.range.location + m.range.length;
    }
    out.append(subject.substr(copied));
    return out;
}

std::string Regex::replaceAll(std::string_view subject, std::string_view replacement) const {
    return replace(subject, replacement, SIZE_MAX);
}

std::string Regex::replaceFirst(std::string_view subject, std::string_view replacement) const {
    return replace(subject, replacement, 1);
}

}  // namespace plat
