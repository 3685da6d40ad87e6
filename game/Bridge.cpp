#include "game/Bridge.h"

#include "platform/base/Log.h"

namespace {

std::shared_ptr<BridgeReceiver>& slot() {
    static std::shared_ptr<BridgeReceiver> receiver;
    return receiver;
}

// Held for the call, so a receiver that replaces itself while handling a request stays alive.
std::shared_ptr<BridgeReceiver> receiverFor(const char* request) {
    std::shared_ptr<BridgeReceiver> receiver = slot();
    if (!receiver) plat::logInfo("bridge: %s dropped, no app shell", request);
    return receiver;
}

}  // namespace

std::shared_ptr<BridgeReceiver> setBridgeReceiver(std::shared_ptr<BridgeReceiver> receiver) {
    std::shared_ptr<BridgeReceiver> previous = std::move(slot());
    slot() = std::move(receiver);
    return previous;
}

std::shared_ptr<BridgeReceiver> bridgeReceiver() {
    return slot();
}

void showTweetBridge(const char* path) {
    if (auto receiver = receiverFor("ShowTweet")) receiver->ShowTweet(path ? path : "");
}

void showYoutubeBridge() {
    if (auto receiver = receiverFor("ShowYoutube")) receiver->ShowYoutube();
}

void showTobikumaBridge() {
    if (auto receiver = receiverFor("ShowTobikuma")) receiver->ShowTobikuma();
}

void loadAdBridge() {
    if (auto receiver = receiverFor("LoadAD")) receiver->LoadAD();
}

void interAdBridge() {
    if (auto receiver = receiverFor("InterAD")) receiver->InterAD();
}

void sendLevelScreenBridge(int number) {
    if (auto receiver = receiverFor("ZediveAnalytics")) receiver->ZediveAnalytics(number);
}
