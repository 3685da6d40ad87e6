#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "chime/AudioEngine.h"
#include "chime/CHAudioManager.h"
#include "chime/CHSoundSource.h"
#include "chime/Chime.h"
#include "kite/files/KTFileUtils.h"
#include "platform/base/Log.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Bundle.h"
#include "tests/chime/ChimeTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

void runMainLoopUntil(const std::function<bool()>& done) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < limit) plat::RunLoop::main().runOnce(0.005);
}

// The facade resolves names through the engine's file utilities, which remember what they found: a
// test with its own resource folder starts and ends with nothing remembered.
class Resources {
  public:
    explicit Resources(const std::filesystem::path& dir) {
        plat::Bundle::setMainResourcePath(dir);
        kite::KTFileUtils::sharedFileUtils()->purgeCachedEntries();
    }
    ~Resources() {
        plat::Bundle::setMainResourcePath({});
        kite::KTFileUtils::sharedFileUtils()->purgeCachedEntries();
    }
};

// Resources for the facade: a loud effect and a piece of music.
void writeResources(const std::filesystem::path& dir) {
    chimetest::writeWav(dir / "se.wav", 1, 16, 22050, 22050);
    chimetest::writeSoundFile(dir / "bgm.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100, 44100);
}

// Runs `test` again in a process whose OpenAL mixes into a WAV file, and returns the file's peak.
int peakOfChildOutput(const std::string& test, const testsupport::TempDir& dir) {
    auto out = dir.path() / "out.wav";
    auto conf = dir.path() / "alsoft.conf";
    testsupport::writeFile(conf, "[general]\ndrivers=wave\n[wave]\nfile=" + out.string() + "\n");
    int status = chimetest::runTestInChild(test, {{"ALSOFT_DRIVERS", "wave"},
                                                  {"ALSOFT_CONF", conf.string()},
                                                  {"CHIME_RESOURCES", dir.path().string()}});
    EXPECT_EQ(status, 0);
    return chimetest::peakOfWav16(out);
}

TEST(ChimeFacade, TypeInfoIsTheHashOfTheTypeName) {
    auto* engine = Chime::AudioEngine::sharedEngine();
    EXPECT_EQ(engine, Chime::AudioEngine::sharedEngine());
    EXPECT_EQ(engine->getClassTypeInfo(), 1853099278u);
    EXPECT_EQ(engine->getClassTypeInfo(), Chime::typeNameHash("n5chime11audioenginee"));
    EXPECT_EQ(Chime::typeNameHash("ab"), 1090545169u);
    EXPECT_EQ(Chime::typeNameHash(""), 0u);
}

TEST(ChimeFacade, MissingEffectIsRefusedAndTriedAgainNextTime) {
    testsupport::TempDir dir;
    Resources resources(dir.path());
    auto* chime = Chime::AudioEngine::sharedEngine();
    EXPECT_EQ(chime->playEffect("later.wav"), 0xFEEDBABu);
    EXPECT_EQ(chime->playEffect("later.wav", true), 0xFEEDBABu);
    EXPECT_EQ(chime->playEffect(nullptr), 0xFEEDBABu);
    chimetest::writeWav(dir.path() / "later.wav", 1, 8, 8000, 4000);
    unsigned int id = chime->playEffect("later.wav");
    EXPECT_NE(id, 0xFEEDBABu);
    EXPECT_NE(id, 0xFEEDFACu);
    // Loaded once: the buffer stays even when the file goes.
    std::filesystem::remove(dir.path() / "later.wav");
    EXPECT_LT(chime->playEffect("later.wav"), 0xFEEDBABu);
    chime->stopAllEffects();
}

// Lines of `log` that contain `fragment`.
size_t countLines(const plat::LogCapture& log, const std::string& fragment) {
    size_t n = 0;
    for (const auto& line : log.lines()) n += line.find(fragment) != std::string::npos;
    return n;
}

TEST(ChimeFacade, MissingAndUndecodableEffectsAreLoggedOnce) {
    testsupport::TempDir dir;
    Resources resources(dir.path());
    auto* chime = Chime::AudioEngine::sharedEngine();
    plat::LogCapture log;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(chime->playEffect("gone.wav"), 0xFEEDBABu);
    EXPECT_EQ(countLines(log, "sound file gone.wav not found"), 1u);

    // Bytes that no decoder takes: reported once, and not decoded again at the next plays, so even a
    // good file put in its place is not looked at until the effect is unloaded.
    testsupport::writeFile(dir.path() / "bad.ogg", "OggS this is not a real stream");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(chime->playEffect("bad.ogg"), 0xFEEDBABu);
    EXPECT_EQ(countLines(log, "bad.ogg cannot be decoded"), 1u);
    chimetest::writeSoundFile(dir.path() / "bad.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 22050, 2205);
    EXPECT_EQ(chime->playEffect("bad.ogg"), 0xFEEDBABu);
    ::AudioEngine::sharedEngine()->unloadEffect("bad.ogg");
    EXPECT_LT(chime->playEffect("bad.ogg"), 0xFEEDBABu);
    chime->stopAllEffects();
    ::AudioEngine::sharedEngine()->unloadEffect("bad.ogg");
}

TEST(ChimeFacade, MissingAndUndecodableMusicIsLoggedOnce) {
    testsupport::TempDir dir;
    writeResources(dir.path());
    Resources resources(dir.path());
    auto* chime = Chime::AudioEngine::sharedEngine();
    auto engine = ::AudioEngine::sharedEngine();
    plat::LogCapture log;
    testsupport::writeFile(dir.path() / "broken.ogg", "OggS not music");
    for (int i = 0; i < 2; ++i) {
        chime->playBackgroundMusic("none.mp3", true);
        EXPECT_FALSE(engine->isBackgroundMusicPlaying());
        chime->playBackgroundMusic("broken.ogg", true);
        EXPECT_FALSE(engine->isBackgroundMusicPlaying());
        chime->playBackgroundMusic("bgm.ogg", true);
        EXPECT_TRUE(engine->isBackgroundMusicPlaying());
    }
    EXPECT_EQ(countLines(log, "music file none.mp3 not found"), 1u);
    EXPECT_EQ(countLines(log, "broken.ogg cannot be decoded"), 1u);
    // Not opened again, even once it would play.
    chimetest::writeSoundFile(dir.path() / "broken.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100, 44100);
    chime->playBackgroundMusic("broken.ogg", true);
    EXPECT_FALSE(engine->isBackgroundMusicPlaying());
    chime->stopBackgroundMusic(true);
}

TEST(ChimeFacade, BackgroundMusicThroughTheFacade) {
    testsupport::TempDir dir;
    writeResources(dir.path());
    Resources resources(dir.path());
    auto* chime = Chime::AudioEngine::sharedEngine();
    auto engine = ::AudioEngine::sharedEngine();
    chime->playBackgroundMusic("bgm.ogg", true);
    EXPECT_TRUE(engine->isBackgroundMusicPlaying());
    chime->pauseBackgroundMusic();
    EXPECT_FALSE(engine->isBackgroundMusicPlaying());
    chime->resumeBackgroundMusic();
    EXPECT_TRUE(engine->isBackgroundMusicPlaying());
    chime->stopBackgroundMusic(true);
    EXPECT_FALSE(engine->isBackgroundMusicPlaying());
    chime->resumeBackgroundMusic();
    EXPECT_FALSE(engine->isBackgroundMusicPlaying());

    engine->setBackgroundMusicVolume(0.25f);
    EXPECT_FLOAT_EQ(engine->backgroundMusicVolume(), 0.25f);
    engine->setEffectsVolume(0.5f);
    engine->setMute(true);
    EXPECT_FLOAT_EQ(engine->effectsVolume(), 0.5f);
    engine->setMute(false);
    auto source = engine->soundSourceForFile((dir.path() / "se.wav").string());
    ASSERT_TRUE(source);
    EXPECT_FLOAT_EQ(source->durationInSeconds(), 1.0f);
    EXPECT_FALSE(engine->soundSourceForFile("nothing.wav"));
    engine->unloadEffect((dir.path() / "se.wav").string());
}

TEST(ChimeFacade, EffectIsHeardInTheMix) {
    if (chimetest::inChild()) {
        plat::Bundle::setMainResourcePath(std::getenv("CHIME_RESOURCES"));
        unsigned int id = Chime::AudioEngine::sharedEngine()->playEffect("se.wav");
        ASSERT_LT(id, 0xFEEDBABu);
        // Until the mix has taken 0.3 s of the effect (or all of it), however late the mixer runs on a busy
        // machine.
        ALfloat at = 0;
        ALint state = AL_PLAYING;
        for (int i = 0; i < 6000 && at <= 0.3f && state != AL_STOPPED; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            alGetSourcef(id, AL_SEC_OFFSET, &at);
            alGetSourcei(id, AL_SOURCE_STATE, &state);
        }
        ::AudioEngine::end();
        return;
    }
    testsupport::TempDir dir;
    writeResources(dir.path());
    EXPECT_GT(peakOfChildOutput("ChimeFacade.EffectIsHeardInTheMix", dir), 2000);
}

TEST(ChimeFacade, BackgroundMusicIsHeardInTheMix) {
    if (chimetest::inChild()) {
        plat::Bundle::setMainResourcePath(std::getenv("CHIME_RESOURCES"));
        Chime::AudioEngine::sharedEngine()->playBackgroundMusic("bgm.ogg", false);
        auto engine = ::AudioEngine::sharedEngine();
        ASSERT_TRUE(engine->isBackgroundMusicPlaying());
        auto player = CHAudioManager::sharedManager()->backgroundMusic()->audioSourcePlayer();
        runMainLoopUntil([&] { return player->currentTime() > 0.3; });
        ::AudioEngine::end();
        return;
    }
    testsupport::TempDir dir;
    writeResources(dir.path());
    EXPECT_GT(peakOfChildOutput("ChimeFacade.BackgroundMusicIsHeardInTheMix", dir), 2000);
}

TEST(ChimeFacade, WithoutADeviceEffectsAreRefusedAndMusicKeepsTime) {
    if (chimetest::inChild()) {
        plat::Bundle::setMainResourcePath(std::getenv("CHIME_RESOURCES"));
        auto* chime = Chime::AudioEngine::sharedEngine();
        EXPECT_FALSE(CHAudioManager::sharedManager()->soundEngine()->functioning());
        EXPECT_EQ(chime->playEffect("se.wav"), 0xFEEDBABu);
        chime->playBackgroundMusic("bgm.ogg", true);
        EXPECT_TRUE(::AudioEngine::sharedEngine()->isBackgroundMusicPlaying());
        chime->pauseBackgroundMusic();
        EXPECT_FALSE(::AudioEngine::sharedEngine()->isBackgroundMusicPlaying());
        return;
    }
    testsupport::TempDir dir;
    writeResources(dir.path());
    EXPECT_EQ(chimetest::runTestInChild(
                  "ChimeFacade.WithoutADeviceEffectsAreRefusedAndMusicKeepsTime",
                  {{"ALSOFT_DRIVERS", "no-such-backend"}, {"CHIME_RESOURCES", dir.path().string()}}),
              0);
}

}  // namespace
