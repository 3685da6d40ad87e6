#include "tagmanager/base/ZAVEndpoints.h"

#include <atomic>

#include "platform/base/Log.h"

namespace {
std::atomic<bool> gOfflineSaid{false};
}  // namespace

plat::Endpoint ZAVEndpoints::serverEndpoint() {
    auto& table = plat::Endpoints::shared();
    // Filled only when no layer names it, so a reset table gets it back on the next use.
    if (!table.find(kServerName)) table.setDefault(kServerName, plat::Endpoint{"https", kDefaultHost, 443});
    if (auto e = table.find(kServerName)) return *e;
    return plat::Endpoint{"https", kDefaultHost, 443};
}

void ZAVEndpoints::setServerEndpoint(plat::Endpoint endpoint) {
    plat::Endpoints::shared().setOverride(kServerName, std::move(endpoint));
}

bool ZAVEndpoints::isConfigured(bool offlineLine) {
    if (plat::Endpoints::shared().isConfigured(kServerName)) return true;
    if (offlineLine && !gOfflineSaid.exchange(true))
        plat::logInfo(
            "tag manager: no tag-manager server is configured (no \"tagmanager\" endpoints); containers "
            "are not fetched and hits are kept on the device, unsent, for a run that has one");
    return false;
}
