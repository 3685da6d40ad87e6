#include "platform/net/Reachability.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/base/Lasting.h"
#include "platform/base/Log.h"

namespace plat {
namespace {

using namespace ReachabilityFlag;

std::mutex gMutex;
std::optional<Reachability::Flags> gForced;
// Scheduled objects and their loops, so forced flags can reach them.
std::vector<std::pair<std::weak_ptr<Reachability>, RunLoop*>>& scheduledObjects() {
    static Lasting<std::vector<std::pair<std::weak_ptr<Reachability>, RunLoop*>>> scheduled;
    return *scheduled;
}

uint32_t ipv4(const char* text) {
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a.s_addr;
}

bool inNet(uint32_t address, uint32_t network, uint32_t mask) {
    return (address & mask) == (network & mask);
}

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

const NetworkSnapshot::Interface* interfaceNamed(const NetworkSnapshot& s, const std::string& name) {
    for (const auto& i : s.interfaces)
        if (i.name == name) return &i;
    return nullptr;
}

bool anyLocalNetwork(const NetworkSnapshot& s, bool ipv6) {
    return std::any_of(s.interfaces.begin(), s.interfaces.end(), [&](const auto& i) {
        return i.up && !i.loopback && (ipv6 ? !i.ipv6.empty() : !i.ipv4.empty());
    });
}

// A usable route for the destination: the longest matching prefix whose interface is up.
Reachability::Flags ipv4Flags(uint32_t address, const NetworkSnapshot& s) {
    if (inNet(address, ipv4("127.0.0.0"), ipv4("255.0.0.0"))) return kReachable | kIsDirect | kIsLocalAddress;
    if (inNet(address, ipv4("169.254.0.0"), ipv4("255.255.0.0")))
        return anyLocalNetwork(s, false) ? kReachable | kIsDirect : 0;
    for (const auto& i : s.interfaces)
        for (const auto& [a, m] : i.ipv4)
            if (i.up && a == address && address != 0) return kReachable | kIsDirect | kIsLocalAddress;
    const NetworkSnapshot::Route* best = nullptr;
    for (const auto& r : s.routes) {
        if (!r.up || !inNet(address, r.destination, r.mask)) continue;
        const auto* i = interfaceNamed(s, r.interface);
        if (!i || !i->up) continue;
        if (!best || ntohl(r.mask) > ntohl(best->mask)) best = &r;
    }
    if (!best) return 0;
    return best->gateway == 0 ? kReachable | kIsDirect : kReachable;
}

Reachability::Flags ipv6Flags(const uint8_t* a, const NetworkSnapshot& s) {
    static const uint8_t loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    if (std::memcmp(a, loopback, 16) == 0) return kReachable | kIsDirect | kIsLocalAddress;
    bool linkLocal = a[0] == 0xfe && (a[1] & 0xc0) == 0x80;
    if (linkLocal) return anyLocalNetwork(s, true) ? kReachable | kIsDirect : 0;
    // Without IPv6 routes read, a global address of an up interface is taken as a way out.
    for (const auto& i : s.interfaces) {
        if (!i.up || i.loopback) continue;
        for (const auto& text : i.ipv6)
            if (lower(text).rfind("fe80", 0) != 0) return kReachable;
    }
    return 0;
}

}  // namespace

NetworkSnapshot NetworkSnapshot::read() {
    NetworkSnapshot s;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
            auto it = std::find_if(s.interfaces.begin(), s.interfaces.end(),
                                   [&](const Interface& i) { return i.name == ifa->ifa_name; });
            if (it == s.interfaces.end()) {
                Interface i;
                i.name = ifa->ifa_name;
                i.up = (ifa->ifa_flags & IFF_UP) && (ifa->ifa_flags & IFF_RUNNING);
                i.loopback = ifa->ifa_flags & IFF_LOOPBACK;
                s.interfaces.push_back(i);
                it = s.interfaces.end() - 1;
            }
            if (!ifa->ifa_addr) continue;
            if (ifa->ifa_addr->sa_family == AF_INET) {
                uint32_t a = reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr)->sin_addr.s_addr;
                uint32_t m = ifa->ifa_netmask
                                 ? reinterpret_cast<const sockaddr_in*>(ifa->ifa_netmask)->sin_addr.s_addr
                                 : 0xffffffffu;
                it->ipv4.emplace_back(a, m);
            } else if (ifa->ifa_addr->sa_family == AF_INET6) {
                char text[INET6_ADDRSTRLEN] = {};
                inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(ifa->ifa_addr)->sin6_addr, text,
                          sizeof text);
                it->ipv6.emplace_back(text);
            }
        }
        freeifaddrs(list);
    }
    std::ifstream routes("/proc/net/route");
    std::string line;
    std::getline(routes, line);  // the column names
    while (std::getline(routes, line)) {
        std::istringstream in(line);
        std::string iface, dest, gateway, flags, refcnt, use, metric, mask;
        if (!(in >> iface >> dest >> gateway >> flags >> refcnt >> use >> metric >> mask)) continue;
        // The file prints each address as the hex of its in-memory (network order) word.
        Route r;
        r.interface = iface;
        r.destination = static_cast<uint32_t>(std::strtoul(dest.c_str(), nullptr, 16));
        r.gateway = static_cast<uint32_t>(std::strtoul(gateway.c_str(), nullptr, 16));
        r.mask = static_cast<uint32_t>(std::strtoul(mask.c_str(), nullptr, 16));
        r.up = std::strtoul(flags.c_str(), nullptr, 16) & RTF_UP;
        s.routes.push_back(r);
    }
    return s;
}

std::shared_ptr<Reachability> Reachability::createWithName(const std::string& host) {
    if (host.empty()) return nullptr;
    in_addr a4{};
    in6_addr a6{};
    std::shared_ptr<Reachability> r(new Reachability());
    if (inet_pton(AF_INET, host.c_str(), &a4) == 1) {
        r->kind_ = Kind::IPv4;
        r->ipv4_ = a4.s_addr;
    } else if (inet_pton(AF_INET6, host.c_str(), &a6) == 1) {
        r->kind_ = Kind::IPv6;
        std::memcpy(r->ipv6_, &a6, 16);
    } else {
        r->kind_ = Kind::Name;
        r->host_ = lower(host);
        if (!r->host_.empty() && r->host_.back() == '.') r->host_.pop_back();
    }
    return r;
}

std::shared_ptr<Reachability> Reachability::createWithAddress(const sockaddr* address) {
    if (!address) return nullptr;
    std::shared_ptr<Reachability> r(new Reachability());
    if (address->sa_family == AF_INET) {
        r->kind_ = Kind::IPv4;
        r->ipv4_ = reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr;
    } else if (address->sa_family == AF_INET6) {
        r->kind_ = Kind::IPv6;
        std::memcpy(r->ipv6_, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, 16);
    } else {
        return nullptr;
    }
    return r;
}

std::shared_ptr<Reachability> Reachability::createForInternet() {
    sockaddr_in zero{};
    zero.sin_family = AF_INET;
    return createWithAddress(reinterpret_cast<const sockaddr*>(&zero));
}

std::shared_ptr<Reachability> Reachability::createForLinkLocal() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = ipv4("169.254.0.0");
    return createWithAddress(reinterpret_cast<const sockaddr*>(&a));
}

Reachability::~Reachability() {
    unscheduleFromRunLoop();
}

Reachability::Flags Reachability::flagsFor(const NetworkSnapshot& snapshot) const {
    switch (kind_) {
        case Kind::IPv4:
            return ipv4Flags(ipv4_, snapshot);
        case Kind::IPv6:
            return ipv6Flags(ipv6_, snapshot);
        case Kind::Name:
            if (host_ == "localhost" || endsWith(host_, ".localhost"))
                return kReachable | kIsDirect | kIsLocalAddress;
            if (host_ == "invalid" || endsWith(host_, ".invalid")) return 0;  // such names never resolve
            return ipv4Flags(0, snapshot) & ~kIsDirect;
    }
    return 0;
}

std::optional<Reachability::Flags> Reachability::flags() const {
    if (auto forced = forcedFlags()) return forced;
    return flagsFor(NetworkSnapshot::read());
}

void Reachability::setCallback(Callback callback) {
    callback_ = std::move(callback);
}

bool Reachability::scheduleWithRunLoop(RunLoop& loop) {
    if (loop_) return false;
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        logError("Reachability: no rtnetlink socket: %s", std::strerror(errno));
        return false;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups =
        RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_IFADDR | RTMGRP_IPV6_ROUTE;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        logError("Reachability: cannot listen for network changes: %s", std::strerror(errno));
        close(fd);
        return false;
    }
    netlinkFd_ = fd;
    loop_ = &loop;
    last_ = flags();
    std::weak_ptr<Reachability> weak = weak_from_this();
    watch_ = loop.watchFd(fd, RunLoop::kReadable, [weak](int fd, unsigned) {
        char buffer[8192];
        while (recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
        if (auto self = weak.lock()) self->recheck();
    });
    std::lock_guard<std::mutex> lock(gMutex);
    scheduledObjects().emplace_back(weak, &loop);
    return true;
}

void Reachability::unscheduleFromRunLoop() {
    if (!loop_) return;
    loop_->unwatchFd(watch_);
    close(netlinkFd_);
    netlinkFd_ = -1;
    watch_ = 0;
    loop_ = nullptr;
    std::lock_guard<std::mutex> lock(gMutex);
    auto& scheduled = scheduledObjects();
    scheduled.erase(std::remove_if(scheduled.begin(), scheduled.end(),
                                   [this](const auto& entry) {
                                       auto p = entry.first.lock();
                                       return !p || p.get() == this;
                                   }),
                    scheduled.end());
}

void Reachability::recheck() {
    if (!loop_) return;
    std::optional<Flags> now = flags();
    if (now == last_) return;
    last_ = now;
    if (callback_ && now) callback_(*this, *now);
}

void Reachability::forceFlags(std::optional<Flags> flags) {
    std::vector<std::pair<std::weak_ptr<Reachability>, RunLoop*>> scheduled;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        if (gForced == flags) return;
        gForced = flags;
        scheduled = scheduledObjects();
    }
    for (const auto& [weak, loop] : scheduled) {
        loop->post([weak = weak] {
            if (auto self = weak.lock()) self->recheck();
        });
    }
}

std::optional<Reachability::Flags> Reachability::forcedFlags() {
    std::lock_guard<std::mutex> lock(gMutex);
    return gForced;
}

}  // namespace plat
