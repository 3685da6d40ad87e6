#include "analytics/base/RUVHitUtil.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>

#include <sys/random.h>

#include "analytics/base/RUVStringUtil.h"
#include "analytics/base/RUVWorker.h"
#include "platform/base/Clock.h"
#include "platform/base/Digest.h"
#include "platform/base/Lasting.h"
#include "platform/base/Random.h"
#include "platform/base/Uuid.h"
#include "platform/ui/Device.h"
#include "platform/ui/Window.h"

namespace {
// Next code point of UTF-8 text; a malformed byte reads as U+FFFD and is skipped alone.
char32_t nextCodePoint(std::string_view s, size_t& i) {
    const auto b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t cp = len == 1 ? b : b & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    i += len;
    return cp;
}

// Marks that join the character before them into one composed sequence.
bool extendsSequence(char32_t cp) {
    return (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x1AB0 && cp <= 0x1AFF) ||
           (cp >= 0x1DC0 && cp <= 0x1DFF) || (cp >= 0x20D0 && cp <= 0x20FF) ||
           (cp >= 0xFE00 && cp <= 0xFE0F) || (cp >= 0xFE20 && cp <= 0xFE2F) || cp == 0x3099 || cp == 0x309A ||
           cp == 0x200D || (cp >= 0x1F3FB && cp <= 0x1F3FF) || (cp >= 0xE0100 && cp <= 0xE01EF);
}

uint16_t firstUtf16Unit(char32_t cp) {
    if (cp < 0x10000) return static_cast<uint16_t>(cp);
    return static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10));
}

}  // namespace

std::string RUVHitUtil::systemLanguageFromLanguages(const std::vector<std::string>& languages) {
    if (languages.empty()) return "en";
    std::string s = languages.front();
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string RUVHitUtil::systemLanguage() {
    return systemLanguageFromLanguages(plat::Locale::preferredLanguages());
}

std::string RUVHitUtil::systemCountryFromLocale(const plat::Locale& locale) {
    std::string s = locale.countryCode();
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string RUVHitUtil::systemCountry() {
    return systemCountryFromLocale(plat::Locale::current());
}

std::string RUVHitUtil::userAgentStringWithProduct(const std::string& product, const std::string& version,
                                                   const std::string& deviceModel,
                                                   const std::string& systemName,
                                                   const std::string& systemVersion,
                                                   const std::string& systemLanguage,
                                                   const std::string& systemCountry) {
    return product + "/" + version + " (" + deviceModel + "; U; CPU " + systemName + " " + systemVersion +
           " like Mac OS X; " + systemLanguage + "-" + systemCountry + ")";
}

std::string RUVHitUtil::userAgentString() {
    const auto& device = plat::Device::current();
    return userAgentStringWithProduct("ZediveAnalytics", RUVWorker::kVersion, device.model(),
                                      device.systemName(), device.systemVersion(), systemLanguage(),
                                      systemCountry());
}

std::string RUVHitUtil::deviceModelVersion() {
    static const plat::Lasting<std::string> machine(plat::Device::current().hardwareMachine());
    return *machine;
}

plat::Rect RUVHitUtil::swapDimensionsOfRect(plat::Rect rect) {
    std::swap(rect.width, rect.height);
    return rect;
}

std::string RUVHitUtil::systemScreenResolution() {
    const plat::Screen& screen = plat::Screen::main();
    if (!screen.shown()) return {};
    const plat::Rect bounds = screen.bounds();
    // The native bounds are the panel's pixels in portrait, whatever the orientation.
    plat::Rect native{0, 0, std::min(bounds.width, bounds.height) * screen.scale(),
                      std::max(bounds.width, bounds.height) * screen.scale()};
    if (bounds.width > bounds.height) native = swapDimensionsOfRect(native);
    char text[48];
    std::snprintf(text, sizeof text, "%dx%d", static_cast<int>(native.width),
                  static_cast<int>(native.height));
    return text;
}

int64_t RUVHitUtil::millisecondsElapsedFrom(double fromSeconds, double toSeconds) {
    return static_cast<int64_t>((toSeconds - fromSeconds) * 1000);
}

uint32_t RUVHitUtil::ruvHash(std::string_view utf8) {
    if (utf8.empty()) return 1;
    std::vector<uint16_t> firsts;
    for (size_t i = 0; i < utf8.size();) {
        const char32_t cp = nextCodePoint(utf8, i);
        if (!firsts.empty() && extendsSequence(cp)) continue;
        firsts.push_back(firstUtf16Unit(cp));
    }
    uint32_t h = 0;
    for (auto it = firsts.rbegin(); it != firsts.rend(); ++it) {
        const uint32_t c = *it;
        h = ((h << 6) & 0x0FFFFFC0u) + c + (c << 14);
        const uint32_t g = h & 0x0FE00000u;
        if (g != 0) h ^= g >> 21;
    }
    return h;
}

std::string RUVHitUtil::generateClientId() {
    return plat::Uuid::random().lowercaseString();
}

std::string RUVHitUtil::hashIdfa(const std::string& identifier, const std::string& clientId) {
    return plat::Digest::md5Hex(identifier + ":" + clientId);
}

std::string RUVHitUtil::cacheBuster() {
    static std::atomic<uint64_t> counter{[] {
        const auto high = static_cast<uint64_t>(systemRandom32());
        const auto low = static_cast<uint64_t>(systemRandom32());
        return (high << 32) | low;
    }()};
    return RUVStringUtil::uintString(counter.fetch_add(1));
}

uint32_t RUVHitUtil::systemRandom32() {
    uint32_t value = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(&value);
    size_t filled = 0;
    while (filled < sizeof value) {
        const ssize_t n = getrandom(bytes + filled, sizeof value - filled, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            // No kernel generator (a very old kernel): the program's generator is all there is.
            return static_cast<uint32_t>(plat::Random::random()) ^
                   (static_cast<uint32_t>(plat::Random::random()) << 1);
        }
        filled += static_cast<size_t>(n);
    }
    return value;
}

bool RUVHitUtil::hasKnownAge(const plat::Value& record) {
    const std::string* clock = record["parameters"][kStampClockKey].stringIf();
    if (!clock || *clock != kVirtualClock) return true;
    return plat::Clock::shared().isVirtual();
}
