#pragma once
// A headless run of the play field: a temporary app home, the game's own assets, a fixed seed, the
// virtual clock (1/60 s per frame), a bridge recorder, and an application object that launches the
// play field the way the game's delegate does (content scale 2, 320 x 568 design points, exact fit).
#include <filesystem>
#include <memory>
#include <string>

#include "game/GameLayer.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/linux/KTHeadlessDriver.h"
#include "platform/media/ImageCodec.h"
#include "tests/game/GameTestSupport.h"
#include "tests/support/TestSupport.h"

namespace gametest {

class FieldApp : public kite::KTApplication {
  public:
    bool applicationDidFinishLaunching() override;
    void applicationDidEnterBackground() override {}
    void applicationWillEnterForeground() override {}
    GameLayer* layer = nullptr;
};

class GameRun {
  public:
    // Frames from launch until the field is set up: two splash seconds and the frame that ends them.
    static constexpr int kSetUpFrames = 122;

    explicit GameRun(uint64_t seed = 1);
    ~GameRun();

    // Writes stored values before launch (the settings store of the temporary home).
    void storeInt(const char* key, int value);
    void storeFloat(const char* key, float value);
    void storeBool(const char* key, bool value);

    bool launch();
    // Runs `count` frames, or frames until the field is set up.
    void runFrames(int count);
    void runUntilSetUp();
    bool isSetUp() const;

    GameLayer& layer() { return *app_.layer; }
    kite::KTHeadlessDriver& driver() { return driver_; }
    BridgeRecorder& bridge() { return *bridge_; }
    const std::filesystem::path& captureDir() const { return captures_.path(); }
    // The last drawn frame as RGBA, 640 x 1136.
    plat::DecodedImage capture(const std::string& name);

  private:
    testsupport::TempHome home_;
    testsupport::TempDir captures_;
    kite::KTHeadlessDriver driver_;
    FieldApp app_;
    std::shared_ptr<BridgeRecorder> bridge_;
    std::shared_ptr<BridgeReceiver> previousBridge_;
};

struct Rgb {
    int r, g, b;
};
Rgb pixel(const plat::DecodedImage& image, int x, int y);
// A design point (origin bottom left) as a window pixel of the 640 x 1136 frame.
Rgb pixelAtPoint(const plat::DecodedImage& image, float x, float y);
bool near(Rgb a, Rgb b, int tolerance);
// A picture of the assets folder, decoded.
plat::DecodedImage asset(const std::string& name);

}  // namespace gametest
