#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/runloop/NotificationCenter.h"

using plat::Notification;
using plat::NotificationCenter;

TEST(NotificationCenter, DeliversByNameAndSenderWithUserInfo) {
    NotificationCenter center;
    int a = 0, b = 0;
    std::vector<std::string> all;
    int senderTag = 0;
    int otherSender = 0;
    center.addObserver("kCHN_AudioManagerInitialised",
                       [&](const Notification& n) { a += std::any_cast<int>(n.userInfo); });
    center.addObserver(
        "kCHN_BadAlContext", [&](const Notification&) { ++b; }, &senderTag);
    center.addObserver("", [&](const Notification& n) { all.push_back(n.name); });

    center.post("kCHN_AudioManagerInitialised", nullptr, 5);
    center.post("kCHN_BadAlContext", &otherSender);
    center.post("kCHN_BadAlContext", &senderTag);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(all.size(), 3u);
    EXPECT_EQ(center.addObserver("x", nullptr), 0u);
}

TEST(NotificationCenter, ObserversRemovedOrAddedDuringDelivery) {
    NotificationCenter center;
    std::vector<std::string> calls;
    NotificationCenter::Token second = 0, self = 0;
    center.addObserver("n", [&](const Notification&) {
        calls.push_back("first");
        center.removeObserver(second);
        center.addObserver("n", [&](const Notification&) { calls.push_back("late"); });
    });
    second = center.addObserver("n", [&](const Notification&) { calls.push_back("second"); });
    self = center.addObserver("n", [&](const Notification&) {
        calls.push_back("self");
        center.removeObserver(self);
        center.post("other");  // nested posts are fine
    });
    center.post("n");
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "self"}));
    calls.clear();
    center.post("n");
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "late"}));
    center.removeObserver(12345);  // unknown tokens are ignored
}

TEST(NotificationCenter, DeliveryIsOnThePostingThread) {
    auto& center = NotificationCenter::defaultCenter();
    std::thread::id seen;
    auto token =
        center.addObserver("threaded", [&](const Notification&) { seen = std::this_thread::get_id(); });
    std::thread::id poster;
    std::thread([&] {
        poster = std::this_thread::get_id();
        center.post("threaded");
    }).join();
    center.removeObserver(token);
    EXPECT_EQ(seen, poster);
}
