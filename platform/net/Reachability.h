#pragma once
// Whether a host, an address, the internet or the link-local network can be reached, as flag bits,
// read from this machine's interfaces (getifaddrs) and IPv4 routes (/proc/net/route). Nothing is sent
// and no name is looked up: a host name counts as reachable when the internet is (a loopback name always
// is; a name under ".invalid" never is). Loopback is reachable and direct.
//
// A scheduled object watches an rtnetlink socket on a run loop and calls its callback there whenever
// its flags change. Tests may force the flags of every object (forceFlags); scheduled objects then hear
// the change as they would a real one.
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runloop/RunLoop.h"

namespace plat {

namespace ReachabilityFlag {
enum : uint32_t {
    kTransientConnection = 1,
    kReachable = 2,
    kConnectionRequired = 4,
    kConnectionOnTraffic = 8,
    kInterventionRequired = 16,
    kConnectionOnDemand = 32,
    kIsLocalAddress = 0x10000,
    kIsDirect = 0x20000,
    kIsWWAN = 0x40000,
};
}  // namespace ReachabilityFlag

// What the flags are computed from; readable from the system or made up by tests.
struct NetworkSnapshot {
    struct Interface {
        std::string name;
        bool up = false;  // up and running
        bool loopback = false;
        std::vector<std::pair<uint32_t, uint32_t>> ipv4;  // address and netmask, network byte order
        std::vector<std::string> ipv6;                    // textual addresses
    };
    struct Route {
        std::string interface;
        uint32_t destination = 0;  // network byte order, like the mask and gateway
        uint32_t gateway = 0;
        uint32_t mask = 0;
        bool up = false;
    };
    std::vector<Interface> interfaces;
    std::vector<Route> routes;

    static NetworkSnapshot read();
};

class Reachability : public std::enable_shared_from_this<Reachability> {
  public:
    using Flags = uint32_t;
    using Callback = std::function<void(Reachability&, Flags)>;

    // Null for an empty name.
    static std::shared_ptr<Reachability> createWithName(const std::string& host);
    // An IPv4 or IPv6 socket address; null for any other family.
    static std::shared_ptr<Reachability> createWithAddress(const sockaddr* address);
    // The IPv4 zero address: "is there a way out at all".
    static std::shared_ptr<Reachability> createForInternet();
    // The IPv4 link-local network 169.254.0.0: "is there a local network".
    static std::shared_ptr<Reachability> createForLinkLocal();
    ~Reachability();

    // The flags now; empty when they cannot be read.
    std::optional<Flags> flags() const;
    // The flags this object would have on `snapshot` (forced flags aside).
    Flags flagsFor(const NetworkSnapshot& snapshot) const;

    void setCallback(Callback callback);
    // Starts watching on `loop` (once; false when already scheduled or the socket cannot be opened).
    bool scheduleWithRunLoop(RunLoop& loop);
    void unscheduleFromRunLoop();
    bool isScheduled() const { return loop_ != nullptr; }

    // Every object answers `flags` from now on (empty: the real flags again); scheduled objects are told
    // on their loops when this changes their flags. Thread-safe.
    static void forceFlags(std::optional<Flags> flags);
    static std::optional<Flags> forcedFlags();

  private:
    enum class Kind { Name, IPv4, IPv6 };
    Reachability() = default;
    void recheck();

    Kind kind_ = Kind::IPv4;
    std::string host_;
    uint32_t ipv4_ = 0;  // network byte order
    uint8_t ipv6_[16] = {};

    Callback callback_;
    RunLoop* loop_ = nullptr;
    int netlinkFd_ = -1;
    RunLoop::WatchId watch_ = 0;
    std::optional<Flags> last_;
};

}  // namespace plat
