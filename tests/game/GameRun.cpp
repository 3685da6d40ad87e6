#include "tests/game/GameRun.h"

#include <cstdlib>

#include "chime/AudioEngine.h"
#include "game/CharaTable.h"
#include "game/GameGlobals.h"
#include "kite/core/KTDirector.h"
#include "kite/files/KTFileUtils.h"
#include "kite/files/KTUserDefaultStore.h"
#include "kite/nodes/KTScene.h"
#include "kite/platform/KTEGLView.h"
#include "platform/base/Random.h"
#include "platform/storage/Bundle.h"

using namespace kite;

namespace gametest {

bool FieldApp::applicationDidFinishLaunching() {
    KTDirector* director = KTDirector::sharedDirector();
    KTEGLView* view = KTEGLView::sharedOpenGLView();
    director->setOpenGLView(view);
    director->setDisplayStats(false);
    director->setAnimationInterval(1.0 / 60);
    director->setContentScaleFactor(2.0f);
    view->setDesignResolutionSize(320, 568, kResolutionExactFit);
    KTScene* scene = GameLayer::scene();
    if (!scene || scene->getChildrenCount() != 1) return false;
    layer = static_cast<GameLayer*>(scene->getChildren()->objectAtIndex(0));
    director->runWithScene(scene);
    return true;
}

GameRun::GameRun(uint64_t seed) : bridge_(std::make_shared<BridgeRecorder>()) {
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    setenv("ALSOFT_DRIVERS", "null", 0);
    plat::Bundle::setMainResourcePath({});
    KTFileUtils::purgeFileUtils();
    KTUserDefaultStore::purgeSharedUserDefaultStore();
    CharaTable::reload();
    GameGlobals::reset();
    plat::Random::setFixedSeed(seed);
    previousBridge_ = setBridgeReceiver(bridge_);
    driver_.setCaptureDirectory(captures_.path());
}

GameRun::~GameRun() {
    // The director ends on its next main-loop call and releases the scene with it.
    if (app_.layer) {
        KTDirector::sharedDirector()->end();
        driver_.runFrames(1);
    }
    setBridgeReceiver(previousBridge_);
    plat::Random::clearFixedSeed();
    KTUserDefaultStore::purgeSharedUserDefaultStore();
    // The sound device closes before the process ends, as the program does; left open, the OpenAL
    // library's own clean-up at exit finds it still running.
    ::AudioEngine::end();
}

void GameRun::storeInt(const char* key, int value) {
    KTUserDefaultStore::sharedUserDefaultStore()->setIntegerForKey(key, value);
}
void GameRun::storeFloat(const char* key, float value) {
    KTUserDefaultStore::sharedUserDefaultStore()->setFloatForKey(key, value);
}
void GameRun::storeBool(const char* key, bool value) {
    KTUserDefaultStore::sharedUserDefaultStore()->setBoolForKey(key, value);
}

bool GameRun::launch() {
    return driver_.launch(app_) && app_.layer;
}

void GameRun::runFrames(int count) {
    driver_.runFrames(count);
}

bool GameRun::isSetUp() const {
    return app_.layer && app_.layer->userDefault;
}

void GameRun::runUntilSetUp() {
    for (int i = 0; i < 2 * kSetUpFrames && !isSetUp(); ++i) driver_.runFrames(1);
}

plat::DecodedImage GameRun::capture(const std::string& name) {
    const auto path = captures_.path() / name;
    if (!driver_.capture(path)) return {};
    // POTEMARU_TEST_CAPTURES keeps a copy of every capture for looking at them.
    if (const char* keep = std::getenv("POTEMARU_TEST_CAPTURES"))
        std::filesystem::copy_file(path, std::filesystem::path(keep) / name,
                                   std::filesystem::copy_options::overwrite_existing);
    const std::string png = testsupport::readFile(path);
    auto image = plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size());
    return image ? *image : plat::DecodedImage{};
}

Rgb pixel(const plat::DecodedImage& image, int x, int y) {
    if (x < 0 || y < 0 || x >= static_cast<int>(image.width) || y >= static_cast<int>(image.height))
        return {-1, -1, -1};
    const uint8_t* p = image.pixels.data() + (static_cast<size_t>(y) * image.width + x) * 4;
    return {p[0], p[1], p[2]};
}

Rgb pixelAtPoint(const plat::DecodedImage& image, float x, float y) {
    return pixel(image, static_cast<int>(x * 2), static_cast<int>((568 - y) * 2));
}

bool near(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

plat::DecodedImage asset(const std::string& name) {
    const std::string bytes = testsupport::readFile(testsupport::sourceDir() / "assets" / name);
    auto image = plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return image ? *image : plat::DecodedImage{};
}

}  // namespace gametest
