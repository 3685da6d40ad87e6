#include "analytics/base/RUVUsageTracker.h"

#include <array>
#include <mutex>
#include <utility>

#include "platform/base/Lasting.h"

namespace {

constexpr std::array<std::pair<std::string_view, char>, 28> kUsageCodeTable{{
    {"set:forKey:", 'A'},
    {"setAll:", 'B'},
    {"dictionaryGet:", 'C'},
    {"setCampaignParametersFromUrl:", 'D'},
    {"get:", 'J'},
    {"set:value:", 'K'},
    {"send:", 'L'},
    {"setTrackUncaughtExceptions:", 'e'},
    {"trackUncaughtExceptions", 'f'},
    {"createTransactionWithId:affiliation:revenue:tax:shipping:currencyCode:", 'g'},
    {"createExceptionWithDescription:withFatal:", 'h'},
    {"createTimingWithCategory:interval:name:label:", 'j'},
    {"createSocialWithNetwork:action:target:", 'k'},
    {"trackerWithName:trackingId:", 'n'},
    {"defaultTracker", 'o'},
    {"setDefaultTracker:", 'p'},
    {"setOptOut:", 'q'},
    {"optOut", 'r'},
    {"dispatch", 's'},
    {"setDispatchInterval:", 't'},
    {"createEventWithCategory:action:label:value:", 'y'},
    {"createItemWithTransactionId:name:sku:category:price:quantity:currencyCode:", 'z'},
    {"setDryRun:", '2'},
    {"dryRun", '3'},
    {"setLogger:", '4'},
    {"removeTrackerByName:", '7'},
    {"createScreenView", '9'},
    {"createAppView", '-'},
}};

std::mutex& sequenceMutex() {
    static std::mutex m;
    return m;
}

std::string& sequence() {
    static plat::Lasting<std::string> s;
    return *s;
}

}  // namespace

char RUVUsageTracker::codeForSelector(std::string_view selector) {
    for (const auto& [name, code] : kUsageCodeTable) {
        if (name == selector) return code;
    }
    return 0;
}

void RUVUsageTracker::trackAction(std::string_view selector) {
    trackTarget(nullptr, selector);
}

void RUVUsageTracker::trackTarget(const void* /*target*/, std::string_view selector) {
    char code = codeForSelector(selector);
    if (!code) return;
    std::lock_guard lock(sequenceMutex());
    sequence().push_back(code);
}

std::string RUVUsageTracker::getUsageSequence() {
    std::string taken;
    {
        std::lock_guard lock(sequenceMutex());
        taken.swap(sequence());
    }
    if (taken.empty()) return {};
    return "." + taken;
}
