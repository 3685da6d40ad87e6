#include "tagmanager/hits/ZAVDispatchUtil.h"

#include <memory>

#include "analytics/base/RUVHitUtil.h"
#include "platform/net/FileURL.h"
#include "platform/net/URLConnection.h"
#include "platform/storage/Paths.h"
#include "platform/ui/Device.h"
#include "tagmanager/base/ZAVWorkers.h"

namespace {

ZAVWorker& worker() {
    return ZAVWorkers::zavThread();
}

void runGuarded(const ZAVDispatchUtil::Block& block) {
    try {
        block();
    } catch (...) {
        // Dropped on purpose: the store's steps leave SQLite as it was and log their own failures.
    }
}

}  // namespace

void ZAVDispatchUtil::background(Block block, bool wait) {
    if (!block) return;
    if (worker().isCurrent()) {
        runGuarded(block);
        return;
    }
    // At exit the block is dropped (post and sync say so) and nobody waits for it.
    if (!wait) {
        worker().post([block = std::move(block)] { runGuarded(block); });
        return;
    }
    worker().sync([&block] { runGuarded(block); });
}

bool ZAVDispatchUtil::isCurrentThread() {
    return worker().isCurrent();
}

ZAVDispatchUtil::Timer ZAVDispatchUtil::addTimer(double delaySeconds, Block callback, double repeatSeconds) {
    uint64_t generation = 0;
    auto thread = worker().thread(&generation);
    if (!thread) return Timer{};
    return Timer{generation, thread->runLoop().addTimer(
                                 delaySeconds, [callback = std::move(callback)] { runGuarded(callback); },
                                 repeatSeconds)};
}

void ZAVDispatchUtil::cancelTimer(Timer& timer) {
    if (!timer) return;
    uint64_t generation = 0;
    auto thread = worker().runningThread(&generation);
    if (thread && generation == timer.generation) thread->runLoop().cancelTimer(timer.id);
    timer = Timer{};
}

void ZAVDispatchUtil::shutdown() {
    // Queued work first; then the thread's idle HTTP connections go with it.
    worker().stop([] { runGuarded([] { plat::URLConnection::closeIdleConnections(); }); });
}

std::optional<std::filesystem::path> ZAVDispatchUtil::databaseFullPath(const std::string& name) {
    std::filesystem::path library = plat::Paths::library();
    if (library.empty()) return std::nullopt;
    return library / name;
}

std::optional<std::string> ZAVDispatchUtil::databaseFullURL(const std::string& name) {
    auto path = databaseFullPath(name);
    if (!path) return std::nullopt;
    return plat::fileURLFromPath(*path);
}

std::string ZAVDispatchUtil::userAgentString() {
    // The device is read once; the locale afresh, as the user may change it.
    static const plat::Device& device = plat::Device::current();
    return userAgentStringWithProduct(kProduct, kVersion, device.model(), device.systemName(),
                                      device.systemVersion(),
                                      systemLanguageFromLanguages(plat::Locale::preferredLanguages()),
                                      systemCountryFromLocale(plat::Locale::current()));
}

// The same agent text and locale rules as the analytics hits.
std::string ZAVDispatchUtil::userAgentStringWithProduct(
    const std::string& product, const std::string& version, const std::string& deviceModel,
    const std::string& systemName, const std::string& systemVersion, const std::string& systemLanguage,
    const std::string& systemCountry) {
    return RUVHitUtil::userAgentStringWithProduct(product, version, deviceModel, systemName, systemVersion,
                                                  systemLanguage, systemCountry);
}

std::string ZAVDispatchUtil::systemLanguageFromLanguages(const std::vector<std::string>& languages) {
    return RUVHitUtil::systemLanguageFromLanguages(languages);
}

std::string ZAVDispatchUtil::systemCountryFromLocale(const plat::Locale& locale) {
    return RUVHitUtil::systemCountryFromLocale(locale);
}
