#pragma once
// The proxies that the environment names (http_proxy, https_proxy, all_proxy and no_proxy, in the forms
// the usual command-line tools read) for every HTTP client of the process: loopback never goes through
// a proxy, whatever the environment says.
#include <string>
#include <vector>

namespace plat {

struct ProxyEnvironment {
    std::string httpProxy;   // for http URLs; empty: allProxy
    std::string httpsProxy;  // for https URLs; empty: allProxy
    std::string allProxy;    // for the rest; empty: none
    // Hosts, domains and address ranges reached directly: loopback first, then no_proxy's entries.
    std::vector<std::string> exclusions;
    bool bypassAll = false;  // no_proxy is "*"

    // Read now: tests may change the environment between two reads.
    static ProxyEnvironment current();

    bool anyProxy() const {
        return !bypassAll && !(httpProxy.empty() && httpsProxy.empty() && allProxy.empty());
    }
    // The exclusions as one comma-separated list ("*" when everything is excluded).
    std::string exclusionList() const;
};

}  // namespace plat
