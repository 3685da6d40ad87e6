#include "platform/net/ProxyEnvironment.h"

#include <cctype>
#include <cstdlib>
#include <initializer_list>

namespace plat {
namespace {

std::string firstSet(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return {};
}

std::string trimmed(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

}  // namespace

ProxyEnvironment ProxyEnvironment::current() {
    ProxyEnvironment env;
    // Only the lower-case name for plain http: a web server's CGI variable HTTP_PROXY is not a setting.
    env.httpProxy = firstSet({"http_proxy"});
    env.httpsProxy = firstSet({"https_proxy", "HTTPS_PROXY"});
    env.allProxy = firstSet({"all_proxy", "ALL_PROXY"});
    env.exclusions = {"localhost", "127.0.0.0/8", "::1"};
    const std::string noProxy = firstSet({"no_proxy", "NO_PROXY"});
    size_t start = 0;
    while (start <= noProxy.size()) {
        size_t comma = noProxy.find(',', start);
        if (comma == std::string::npos) comma = noProxy.size();
        std::string entry = trimmed(noProxy.substr(start, comma - start));
        if (entry == "*")
            env.bypassAll = true;
        else if (!entry.empty())
            env.exclusions.push_back(entry);
        start = comma + 1;
    }
    return env;
}

std::string ProxyEnvironment::exclusionList() const {
    if (bypassAll) return "*";
    std::string list;
    for (const std::string& entry : exclusions) {
        if (!list.empty()) list += ',';
        list += entry;
    }
    return list;
}

}  // namespace plat
