#include "tagmanager/base/ZAVEndpoints.h"

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
