#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>

#include "chime/CHAsynchBufferLoader.h"
#include "chime/CHAudioManager.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"
#include "tests/chime/ChimeTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

bool runUntil(const std::function<bool()>& done) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        plat::RunLoop::main().runOnce(0.005);
    }
    return true;
}

class AudioManager : public ::testing::Test {
  protected:
    void SetUp() override {
        plat::AudioSession::sharedInstance().reset();
        music = (dir.path() / "music.wav").string();
        chimetest::writeWav(music, 2, 16, 8000, 8000);
        blip = (dir.path() / "blip.wav").string();
        chimetest::writeWav(blip, 1, 16, 8000, 400);
    }
    void TearDown() override {
        manager.reset();
        plat::AudioSession::sharedInstance().reset();
        CHAudioManager::setSessionRetrySleep(nullptr);
    }
    std::shared_ptr<plat::AudioPlayer> player() { return manager->backgroundMusic()->audioSourcePlayer(); }

    testsupport::TempDir dir;
    std::string music, blip;
    std::shared_ptr<CHAudioManager> manager;
};

TEST_F(AudioManager, ModeChoosesTheSessionCategoryAndWhetherMusicPlays) {
    struct Row {
        int mode;
        bool otherAudio;
        const char* category;
        bool music;
    } rows[] = {
        {0, false, plat::AVAudioSessionCategoryAmbient, false},
        {1, true, plat::AVAudioSessionCategorySoloAmbient, true},
        {2, false, plat::AVAudioSessionCategorySoloAmbient, true},
        {2, true, plat::AVAudioSessionCategoryAmbient, false},
        {3, true, plat::AVAudioSessionCategoryPlayback, true},
        {4, false, plat::AVAudioSessionCategoryPlayAndRecord, true},
        {9, true, plat::AVAudioSessionCategoryAmbient, false},
        {-1, false, plat::AVAudioSessionCategorySoloAmbient, true},
    };
    manager = CHAudioManager::create(1);
    EXPECT_TRUE(manager->soundEngine()->functioning());
    EXPECT_EQ(manager->backgroundMusic(), manager->audioSourceForChannel(0));
    EXPECT_TRUE(manager->backgroundMusic()->backgroundMusic());
    EXPECT_FALSE(manager->audioSourceForChannel(1)->backgroundMusic());
    EXPECT_EQ(manager->audioSourceForChannel(2), nullptr);
    EXPECT_FALSE(manager->isDeviceMuted());
    for (const auto& row : rows) {
        plat::AudioSession::sharedInstance().setOtherAudioIsPlaying(row.otherAudio);
        manager->setMode(row.mode);
        EXPECT_EQ(manager->audioSessionCategory(), row.category) << row.mode;
        EXPECT_EQ(plat::AudioSession::sharedInstance().category(), row.category) << row.mode;
        EXPECT_EQ(manager->willPlayBackgroundMusic(), row.music) << row.mode;
    }
}

TEST_F(AudioManager, MusicLoopsPausesAndResumes) {
    manager = CHAudioManager::create(1);
    manager->playBackgroundMusic(music, true);
    ASSERT_TRUE(player());
    EXPECT_EQ(player()->numberOfLoops(), -1);
    EXPECT_TRUE(manager->isBackgroundMusicPlaying());
    // Past the end of the one-second file it is still playing, from the start again.
    double latest = 0;
    ASSERT_TRUE(runUntil([&] {
        double t = player()->currentTime();
        bool wrapped = t < latest - 0.5;
        latest = t;
        return wrapped;
    }));
    EXPECT_TRUE(manager->isBackgroundMusicPlaying());

    manager->pauseBackgroundMusic();
    EXPECT_FALSE(manager->isBackgroundMusicPlaying());
    EXPECT_TRUE(manager->backgroundMusic()->paused());
    manager->resumeBackgroundMusic();
    EXPECT_TRUE(manager->isBackgroundMusicPlaying());
    EXPECT_FALSE(manager->backgroundMusic()->paused());

    manager->stopBackgroundMusic();
    manager->resumeBackgroundMusic();  // stopped, not paused: nothing
    EXPECT_FALSE(manager->isBackgroundMusicPlaying());
}

TEST_F(AudioManager, LoadingThePlayingFileAgainRewindsAndLeavesItStopped) {
    manager = CHAudioManager::create(1);
    manager->playBackgroundMusic(music, false);
    auto first = player();
    ASSERT_TRUE(runUntil([&] { return first->currentTime() > 0.05; }));
    manager->preloadBackgroundMusic(music);
    EXPECT_EQ(player(), first);
    EXPECT_FALSE(manager->isBackgroundMusicPlaying());
    EXPECT_EQ(player()->currentTime(), 0.0);
    manager->playBackgroundMusic(music, false);
    EXPECT_TRUE(manager->isBackgroundMusicPlaying());
    EXPECT_EQ(player()->numberOfLoops(), 0);
    // Another file replaces the player.
    manager->playBackgroundMusic(blip, true);
    EXPECT_NE(player(), first);
    EXPECT_EQ(manager->backgroundMusic()->audioSourceFilePath(), blip);
}

TEST_F(AudioManager, OtherAudioAtStartKeepsTheMusicLoadedButSilent) {
    plat::AudioSession::sharedInstance().setOtherAudioIsPlaying(true);
    manager = CHAudioManager::create(2);
    manager->playBackgroundMusic(music, true);
    EXPECT_TRUE(player());
    EXPECT_FALSE(manager->isBackgroundMusicPlaying());
    manager->pauseBackgroundMusic();
    manager->resumeBackgroundMusic();
    EXPECT_FALSE(manager->isBackgroundMusicPlaying());
}

TEST_F(AudioManager, MissingMusicLeavesTheChannelSilent) {
    manager = CHAudioManager::create(1);
    manager->playBackgroundMusic((dir.path() / "none.mp3").string(), true);
    EXPECT_FALSE(player());
    EXPECT_FALSE(manager->isBackgroundMusicPlaying());
    manager->pauseBackgroundMusic();
    manager->resumeBackgroundMusic();
    manager->rewindBackgroundMusic();
    EXPECT_FALSE(manager->isBackgroundMusicPlaying());
}

TEST_F(AudioManager, MuteSilencesAtOnceAndKeepsTheLatestVolume) {
    manager = CHAudioManager::create(1);
    manager->playBackgroundMusic(music, true);
    manager->backgroundMusic()->setVolume(0.8f);
    manager->setMute(true);
    EXPECT_EQ(player()->volume(), 0.0f);
    EXPECT_TRUE(manager->soundEngine()->mute());
    EXPECT_TRUE(manager->audioSourceForChannel(1)->mute());
    manager->backgroundMusic()->setVolume(0.4f);
    EXPECT_EQ(player()->volume(), 0.0f);
    manager->playBackgroundMusic(blip, true);  // muted: loaded, silent, not started
    EXPECT_EQ(player()->volume(), 0.0f);
    EXPECT_FALSE(manager->isBackgroundMusicPlaying());
    manager->setMute(false);
    EXPECT_FLOAT_EQ(player()->volume(), 0.4f);

    manager->setEnabled(false);
    EXPECT_FALSE(manager->soundEngine()->enabled());
    manager->playBackgroundMusic(music, true);
    EXPECT_FALSE(manager->isBackgroundMusicPlaying());
}

TEST_F(AudioManager, CompletionListenerHearsTheEndWhileItLives) {
    manager = CHAudioManager::create(1);
    auto listener = std::make_shared<int>(0);
    manager->setBackgroundMusicCompletionListener(listener, [raw = listener.get()] { ++*raw; });
    manager->playBackgroundMusic(blip, false);
    ASSERT_TRUE(runUntil([&] { return *listener > 0; }));
    EXPECT_EQ(*listener, 1);
    EXPECT_FALSE(manager->isBackgroundMusicPlaying());
}

TEST_F(AudioManager, InterruptionRestoresTheContextEvenWhenTheSessionRefusesToWake) {
    // The music channel asks the shared manager whether to play again, so this one must be it.
    CHAudioManager::configure(kAMM_FxPlusMusic);
    manager = CHAudioManager::sharedManager();
    auto& session = plat::AudioSession::sharedInstance();
    ALCcontext* context = manager->soundEngine()->openALContext();
    ASSERT_EQ(alcGetCurrentContext(), context);
    std::vector<double> sleeps;
    CHAudioManager::setSessionRetrySleep([&](double s) { sleeps.push_back(s); });
    manager->playBackgroundMusic(music, true);

    session.beginInterruption();
    EXPECT_EQ(alcGetCurrentContext(), nullptr);
    EXPECT_FALSE(session.isActive());
    EXPECT_FALSE(manager->isBackgroundMusicPlaying());
    session.failNextActivations(11);
    int before = session.activationAttempts();
    session.endInterruption();
    EXPECT_EQ(session.activationAttempts() - before, 11);
    EXPECT_EQ(sleeps, std::vector<double>(10, 0.5));
    EXPECT_FALSE(session.isActive());
    EXPECT_EQ(alcGetCurrentContext(), context);
    // The channel's own end-of-interruption plays the music again (music is allowed in mode 1).
    EXPECT_TRUE(manager->isBackgroundMusicPlaying());
    CHAudioManager::end();
}

TEST_F(AudioManager, AFailedStartWithoutContextBringsTheContextBack) {
    manager = CHAudioManager::create(1);
    auto engine = manager->soundEngine();
    std::vector<uint8_t> data(800, 0);
    ASSERT_TRUE(engine->loadBufferFromData(0, data.data(), AL_FORMAT_MONO16, 800, 8000));
    manager->audioSessionInterrupted();
    ASSERT_EQ(alcGetCurrentContext(), nullptr);
    int posted = 0;
    auto token = plat::NotificationCenter::defaultCenter().addObserver(kCHN_BadAlContext,
                                                                       [&](const auto&) { ++posted; });
    EXPECT_EQ(engine->playSound(0, 0, 1, 0, 1, false), CH_SOUND_ID_NO_SOURCE);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(alcGetCurrentContext(), engine->openALContext());
    EXPECT_NE(engine->playSound(0, 0, 1, 0, 1, false), CH_SOUND_ID_NO_SOURCE);
    plat::NotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(AudioManager, ResignAndBecomeActiveResumeWhatWasPlaying) {
    manager = CHAudioManager::create(1);
    manager->setResignBehavior(kAMRBStopPlay, false);
    manager->playBackgroundMusic(music, true);
    manager->applicationWillResignActive();
    EXPECT_FALSE(manager->isBackgroundMusicPlaying());
    EXPECT_TRUE(manager->backgroundMusic()->systemPaused());
    EXPECT_EQ(plat::AudioSession::sharedInstance().category(), plat::AVAudioSessionCategoryAmbient);
    manager->applicationDidBecomeActive();
    EXPECT_TRUE(manager->isBackgroundMusicPlaying());
    EXPECT_FALSE(manager->backgroundMusic()->systemPaused());
    EXPECT_EQ(plat::AudioSession::sharedInstance().category(), plat::AVAudioSessionCategorySoloAmbient);

    manager->setResignBehavior(kAMRBStop, true);
    plat::NotificationCenter::defaultCenter().post("UIApplicationWillResignActiveNotification");
    plat::NotificationCenter::defaultCenter().post("UIApplicationDidBecomeActiveNotification");
    EXPECT_FALSE(manager->isBackgroundMusicPlaying());
}

TEST(AudioManagerShared, SharedManagerIsMadeOnceAndAnnounced) {
    if (CHAudioManager::sharedManagerState() != kAMStateUninitialised)
        GTEST_SKIP() << "needs a process of its own, as ctest runs it";
    std::atomic<int> announced{0};
    auto token = plat::NotificationCenter::defaultCenter().addObserver(kCHN_AudioManagerInitialised,
                                                                       [&](const auto&) { ++announced; });
    EXPECT_EQ(CHAudioManager::sharedManagerState(), kAMStateUninitialised);
    CHAudioManager::initAsynchronously(kAMM_FxPlusMusic);
    ASSERT_TRUE(runUntil([] { return CHAudioManager::sharedManagerState() == kAMStateInitialised; }));
    auto manager = CHAudioManager::sharedManager();
    EXPECT_EQ(manager, CHAudioManager::sharedManager());
    EXPECT_EQ(manager->audioSessionCategory(), plat::AVAudioSessionCategorySoloAmbient);
    CHAudioManager::initAsynchronously(kAMM_FxOnly);  // already made: nothing
    EXPECT_EQ(manager, CHAudioManager::sharedManager());
    EXPECT_EQ(announced, 1);
    plat::NotificationCenter::defaultCenter().removeObserver(token);
    // The loader works on the manager's engine from its own thread.
    testsupport::TempDir dir;
    std::vector<std::shared_ptr<CHBufferLoadRequest>> requests;
    for (int i = 0; i < 4; ++i) {
        std::string path = (dir.path() / ("l" + std::to_string(i) + ".wav")).string();
        if (i != 2) chimetest::writeWav(path, 1, 8, 8000, 100 + i);
        requests.push_back(std::make_shared<CHBufferLoadRequest>(100 + i, path));
    }
    std::atomic<int> complete{0};
    token = plat::NotificationCenter::defaultCenter().addObserver(kCHN_AsynchLoadComplete,
                                                                  [&](const auto&) { ++complete; });
    auto engine = manager->soundEngine();
    engine->loadBuffersAsynchronously(requests);
    ASSERT_TRUE(runUntil([&] { return complete.load() == 1; }));
    EXPECT_EQ(engine->asynchLoadProgress(), 1.0f);
    EXPECT_TRUE(engine->validateBufferId(100));
    EXPECT_TRUE(engine->validateBufferId(103));
    EXPECT_FALSE(engine->validateBufferId(102));
    EXPECT_EQ(engine->bufferSizeInBytes(101), 101);
    EXPECT_EQ(engine->bufferTotal(), 112);

    engine->loadBuffersAsynchronously({});
    ASSERT_TRUE(runUntil([&] { return complete.load() == 2; }));
    EXPECT_EQ(engine->asynchLoadProgress(), 1.0f);
    plat::NotificationCenter::defaultCenter().removeObserver(token);
    CHAudioManager::end();
    EXPECT_EQ(CHAudioManager::sharedManagerState(), kAMStateInitialised);
}

}  // namespace
