#pragma once
// Helpers that make the computed parts of a hit: device facts, identifiers, hashing and counters.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/Locale.h"
#include "platform/base/Value.h"
#include "platform/ui/Geometry.h"

class RUVHitUtil {
  public:
    // "en" for none, else the first one lower-cased.
    static std::string systemLanguageFromLanguages(const std::vector<std::string>& languages);
    static std::string systemLanguage();
    static std::string systemCountryFromLocale(const plat::Locale& locale);
    static std::string systemCountry();
    static std::string userAgentStringWithProduct(const std::string& product, const std::string& version,
                                                  const std::string& deviceModel,
                                                  const std::string& systemName,
                                                  const std::string& systemVersion,
                                                  const std::string& systemLanguage,
                                                  const std::string& systemCountry);
    static std::string userAgentString();
    // The hardware model ("hw.machine"), read once.
    static std::string deviceModelVersion();
    // Native pixels, "640x1136" in portrait, exchanged when the screen's bounds are wider than high;
    // empty for a program that shows no screen, whose hits then carry no size.
    static std::string systemScreenResolution();
    static plat::Rect swapDimensionsOfRect(plat::Rect rect);
    static std::string systemScreenColorDepth() { return "24-bit"; }
    static int64_t millisecondsElapsedFrom(double fromSeconds, double toSeconds);
    // The sampling hash: over the first UTF-16 unit of each character sequence, last to first; "" gives 1.
    static uint32_t ruvHash(std::string_view utf8);
    // A new version-4 UUID in its 36-character text form, lower case.
    static std::string generateClientId();
    // MD5 of "identifier:clientId" as 32 lower-case hex digits.
    static std::string hashIdfa(const std::string& identifier, const std::string& clientId);
    // Process-wide, seeded from the system's random source, strictly increasing from any thread.
    static std::string cacheBuster();
    // 32 bits from the kernel's generator. Identifiers that must differ between processes draw here,
    // never from the program's seeded generator, which every unseeded or equally seeded run repeats.
    static uint32_t systemRandom32();

    // A stored hit stamped on a virtual clock (a headless run) carries this parameter with the value
    // kVirtualClock. Only "&" keys are sent, so it stays on the device.
    static constexpr const char* kStampClockKey = "ruvClock";
    static constexpr const char* kVirtualClock = "virtual";
    // Whether a stored record's time can be compared with the clock now running. A hit stamped on a
    // headless run's virtual clock has no known age on the real clock: its time says nothing of when,
    // in real time, it was stored.
    static bool hasKnownAge(const plat::Value& record);
    RUVHitUtil() = delete;
};
