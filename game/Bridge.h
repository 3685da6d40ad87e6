#pragma once
// The only road from the play field and the catalogue to the app shell: six requests that return at
// once and report nothing. The app shell installs a receiver that carries them out; with none installed
// a request is logged and dropped. Main thread only.
#include <memory>
#include <string>

// What the app shell does for the game. Implemented by the app shell (and by recorders in tests).
class BridgeReceiver {
  public:
    virtual ~BridgeReceiver() = default;
    // Share sheet with the fixed text and the picture at `path`.
    virtual void ShowTweet(const std::string& path) = 0;
    virtual void ShowYoutube() = 0;
    virtual void ShowTobikuma() = 0;
    // Start the banner placed at launch.
    virtual void LoadAD() = 0;
    // Show a new popup ad over the game.
    virtual void InterAD() = 0;
    // One analytics screen view named with `number`.
    virtual void ZediveAnalytics(int number) = 0;
};

// Installs the receiver (null removes it); returns the one it replaced.
std::shared_ptr<BridgeReceiver> setBridgeReceiver(std::shared_ptr<BridgeReceiver> receiver);
std::shared_ptr<BridgeReceiver> bridgeReceiver();

// `path` is the screenshot's full path in UTF-8; null is treated as empty.
void showTweetBridge(const char* path);
void showYoutubeBridge();
void showTobikumaBridge();
void loadAdBridge();
void interAdBridge();
void sendLevelScreenBridge(int number);
