#include <gtest/gtest.h>

#include "game/Bridge.h"
#include "platform/base/Log.h"
#include "tests/game/GameTestSupport.h"

TEST(Bridge, EachFunctionReachesTheReceiverOnce) {
    auto recorder = std::make_shared<gametest::BridgeRecorder>();
    auto previous = setBridgeReceiver(recorder);
    showTweetBridge("/home/app/Documents/screenshot0.jpg");
    showYoutubeBridge();
    showTobikumaBridge();
    loadAdBridge();
    interAdBridge();
    interAdBridge();
    sendLevelScreenBridge(3);
    showTweetBridge(nullptr);
    setBridgeReceiver(previous);
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"ShowTweet /home/app/Documents/screenshot0.jpg",
                                                         "ShowYoutube", "ShowTobikuma", "LoadAD", "InterAD",
                                                         "InterAD", "ZediveAnalytics 3", "ShowTweet "}));
}

TEST(Bridge, WithoutAReceiverRequestsAreLoggedAndDropped) {
    auto previous = setBridgeReceiver(nullptr);
    plat::LogCapture log;
    loadAdBridge();
    sendLevelScreenBridge(1);
    EXPECT_TRUE(log.contains("LoadAD"));
    EXPECT_TRUE(log.contains("ZediveAnalytics"));
    setBridgeReceiver(previous);
}

namespace {
// A receiver that removes itself while handling a request.
class SelfRemoving : public BridgeReceiver {
  public:
    void ShowTweet(const std::string&) override {}
    void ShowYoutube() override {}
    void ShowTobikuma() override {}
    void LoadAD() override {}
    void InterAD() override {
        setBridgeReceiver(nullptr);
        ++calls;  // still alive here
    }
    void ZediveAnalytics(int) override {}
    int calls = 0;
};
}  // namespace

TEST(Bridge, AReceiverMayRemoveItselfDuringARequest) {
    auto receiver = std::make_shared<SelfRemoving>();
    auto* raw = receiver.get();
    auto previous = setBridgeReceiver(std::move(receiver));
    interAdBridge();
    EXPECT_EQ(bridgeReceiver(), nullptr);
    (void)raw;
    setBridgeReceiver(previous);
}
