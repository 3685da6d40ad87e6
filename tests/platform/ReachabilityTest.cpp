#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/un.h>

#include "platform/net/Reachability.h"
#include "tests/support/NetTestSupport.h"

using plat::NetworkSnapshot;
using plat::Reachability;
using namespace plat::ReachabilityFlag;

namespace {

uint32_t ip(const char* text) {
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a.s_addr;
}

// A machine with loopback and one Ethernet port on 10.0.0.0/24, its gateway 10.0.0.1.
NetworkSnapshot lan(bool ethernetUp = true, bool defaultRoute = true) {
    NetworkSnapshot s;
    s.interfaces.push_back({"lo", true, true, {{ip("127.0.0.1"), ip("255.0.0.0")}}, {"::1"}});
    s.interfaces.push_back({"eth0", ethernetUp, false, {{ip("10.0.0.5"), ip("255.255.255.0")}}, {"fe80::1"}});
    if (defaultRoute) s.routes.push_back({"eth0", 0, ip("10.0.0.1"), 0, true});
    s.routes.push_back({"eth0", ip("10.0.0.0"), 0, ip("255.255.255.0"), true});
    return s;
}

Reachability::Flags flagsOf(const std::string& host, const NetworkSnapshot& s) {
    return Reachability::createWithName(host)->flagsFor(s);
}

}  // namespace

TEST(Reachability, FlagsFromInterfacesAndRoutes) {
    NetworkSnapshot s = lan();
    EXPECT_EQ(Reachability::createForInternet()->flagsFor(s), kReachable);
    EXPECT_EQ(Reachability::createForLinkLocal()->flagsFor(s), kReachable | kIsDirect);
    EXPECT_EQ(flagsOf("10.0.0.9", s), kReachable | kIsDirect);
    EXPECT_EQ(flagsOf("93.184.216.34", s), kReachable);
    EXPECT_EQ(flagsOf("10.0.0.5", s), kReachable | kIsDirect | kIsLocalAddress);
    EXPECT_EQ(flagsOf("127.0.0.1", s), kReachable | kIsDirect | kIsLocalAddress);
    EXPECT_EQ(flagsOf("::1", s), kReachable | kIsDirect | kIsLocalAddress);
    EXPECT_EQ(flagsOf("LOCALHOST", s), kReachable | kIsDirect | kIsLocalAddress);
    EXPECT_EQ(flagsOf("collect.example.com.", s), kReachable);
    EXPECT_EQ(flagsOf("ads.invalid", s), 0u);

    NetworkSnapshot down = lan(false);
    EXPECT_EQ(Reachability::createForInternet()->flagsFor(down), 0u);
    EXPECT_EQ(Reachability::createForLinkLocal()->flagsFor(down), 0u);
    EXPECT_EQ(flagsOf("collect.example.com", down), 0u);
    EXPECT_EQ(flagsOf("127.0.0.1", down), kReachable | kIsDirect | kIsLocalAddress);

    NetworkSnapshot noWayOut = lan(true, false);
    EXPECT_EQ(Reachability::createForInternet()->flagsFor(noWayOut), 0u);
    EXPECT_EQ(flagsOf("10.0.0.9", noWayOut), kReachable | kIsDirect);
    EXPECT_EQ(flagsOf("93.184.216.34", noWayOut), 0u);
}

TEST(Reachability, RefusesWhatIsNoTarget) {
    EXPECT_FALSE(Reachability::createWithName(""));
    sockaddr_un unixAddress{};
    unixAddress.sun_family = AF_UNIX;
    EXPECT_FALSE(Reachability::createWithAddress(reinterpret_cast<sockaddr*>(&unixAddress)));
    EXPECT_FALSE(Reachability::createWithAddress(nullptr));
}

TEST(Reachability, ReadsThisMachineAndLoopbackIsAlwaysThere) {
    auto flags = Reachability::createWithName("127.0.0.1")->flags();
    ASSERT_TRUE(flags);
    EXPECT_EQ(*flags & (kReachable | kIsDirect), kReachable | kIsDirect);
    bool hasLoopback = false;
    for (const auto& i : NetworkSnapshot::read().interfaces) hasLoopback |= i.loopback;
    EXPECT_TRUE(hasLoopback);
}

TEST(Reachability, ForcedFlagsAnswerEveryObject) {
    testsupport::ForcedReachability forced(kReachable | kConnectionRequired | kIsWWAN);
    EXPECT_EQ(Reachability::createForInternet()->flags(), kReachable | kConnectionRequired | kIsWWAN);
    EXPECT_EQ(Reachability::createWithName("127.0.0.1")->flags(), kReachable | kConnectionRequired | kIsWWAN);
    forced.set(0);
    EXPECT_EQ(Reachability::createWithName("localhost")->flags(), 0u);
}

TEST(Reachability, NotifierCallsOnEachChangeOnItsLoopAndStopsWhenUnscheduled) {
    plat::RunLoop::main().runOnce(0);  // the loop's own wake-up descriptor lives for the whole process
    size_t fds = testsupport::openFdCount();
    testsupport::ForcedReachability forced(kReachable);
    auto r = Reachability::createWithName("collect.example.com");
    std::vector<Reachability::Flags> heard;
    r->setCallback([&](Reachability& who, Reachability::Flags flags) {
        EXPECT_EQ(&who, r.get());
        EXPECT_TRUE(plat::RunLoop::main().isCurrent());
        heard.push_back(flags);
    });
    ASSERT_TRUE(r->scheduleWithRunLoop(plat::RunLoop::main()));
    EXPECT_FALSE(r->scheduleWithRunLoop(plat::RunLoop::main()));
    EXPECT_EQ(testsupport::openFdCount(), fds + 1);  // the rtnetlink socket

    forced.set(kReachable | kIsWWAN);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return heard.size() == 1; }));
    EXPECT_EQ(heard[0], kReachable | kIsWWAN);
    forced.set(kReachable | kIsWWAN);  // no change, no call
    forced.set(0);
    ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return heard.size() == 2; }));
    EXPECT_EQ(heard[1], 0u);
    testsupport::runMainLoopFor(0.05);
    EXPECT_EQ(heard.size(), 2u);

    r->unscheduleFromRunLoop();
    EXPECT_LE(testsupport::openFdCount(), fds);  // an earlier test's web process may close one meanwhile
    forced.set(kReachable);
    testsupport::runMainLoopFor(0.05);
    EXPECT_EQ(heard.size(), 2u);
}
