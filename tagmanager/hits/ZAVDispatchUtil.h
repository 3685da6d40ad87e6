#pragma once
// The hit-delivery layer's worker thread "ZAVThread" (store, dispatch timer, hit requests and their
// completions all run on it, one piece of work at a time, in the order handed in), where the hit store
// lives, and the User-Agent of hit requests.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Locale.h"
#include "platform/runloop/RunLoop.h"

class ZAVDispatchUtil {
  public:
    using Block = std::function<void()>;
    static constexpr const char* kThreadName = "ZAVThread";
    static constexpr const char* kProduct = "ZuruziVarOvozivi";
    static constexpr const char* kVersion = "3.12";

    // A timer on ZAVThread's run loop, tagged with the thread it was made on, so a timer of an ended
    // thread is never mistaken for one of its successor.
    struct Timer {
        uint64_t generation = 0;
        plat::RunLoop::TimerId id = 0;
        explicit operator bool() const { return id != 0; }
    };

    ZAVDispatchUtil() = delete;

    // Runs `block` on ZAVThread (made and started on first use): at once when called there, else queued
    // behind earlier work; with `wait` the caller blocks until it has run. An exception the block throws
    // is dropped: a failed store step must not end the thread.
    static void background(Block block, bool wait);
    static bool isCurrentThread();

    static Timer addTimer(double delaySeconds, Block callback, double repeatSeconds = 0);
    // Does nothing for a timer of an earlier thread or one already gone.
    static void cancelTimer(Timer& timer);

    // Runs the work already handed in, then ends ZAVThread; the next use makes a new one.
    static void shutdown();

    // The Library folder joined with `name`; empty when there is no Library folder.
    static std::optional<std::filesystem::path> databaseFullPath(const std::string& name);
    // The same as a file URL (plat::fileURLFromPath).
    static std::optional<std::string> databaseFullURL(const std::string& name);

    // Built once from the device and the locale.
    static std::string userAgentString();
    static std::string userAgentStringWithProduct(const std::string& product, const std::string& version,
                                                  const std::string& deviceModel,
                                                  const std::string& systemName,
                                                  const std::string& systemVersion,
                                                  const std::string& systemLanguage,
                                                  const std::string& systemCountry);
    // The first preferred language lower-cased; "en" for an empty list.
    static std::string systemLanguageFromLanguages(const std::vector<std::string>& languages);
    static std::string systemCountryFromLocale(const plat::Locale& locale);
};
