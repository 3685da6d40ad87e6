#include <AL/al.h>
#include <AL/alc.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <vector>

#include "platform/media/AudioPlayer.h"
#include "platform/media/AudioSession.h"
#include "platform/runloop/RunLoop.h"
#include "tests/support/TestSupport.h"

namespace {

std::string writeTone(const testsupport::TempDir& dir, const std::string& name, int frames, int rate = 8000) {
    std::string path = (dir.path() / name).string();
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<short> s(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) s[i] = static_cast<short>(8000 * std::sin(i * 0.3));
    sf_writef_short(f, s.data(), frames);
    sf_close(f);
    return path;
}

// Runs the main loop until `done` holds; gives up after a generous real-time bound.
bool runUntil(const std::function<bool()>& done) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        plat::RunLoop::main().runOnce(0.005);
    }
    return true;
}

struct Recorder : plat::AudioPlayerDelegate {
    void audioPlayerDidFinishPlaying(plat::AudioPlayer&, bool ok) override { finished += ok ? 1 : 100; }
    void audioPlayerBeginInterruption(plat::AudioPlayer&) override { ++begun; }
    void audioPlayerEndInterruption(plat::AudioPlayer&) override { ++ended; }
    int finished = 0, begun = 0, ended = 0;
};

struct SessionRecorder : plat::AudioSessionDelegate {
    void beginInterruption() override { log += "b"; }
    void endInterruption() override { log += "e"; }
    std::string log;
};

TEST(AudioPlayer, WithoutOutputKeepsTimeOnTheClockThroughLoopsToTheEnd) {
    ASSERT_EQ(alcGetCurrentContext(), nullptr);
    testsupport::TempDir dir;
    auto path = writeTone(dir, "one.wav", 8000);
    testsupport::VirtualClockScope clock;
    auto player = plat::AudioPlayer::createWithContentsOfFile(path);
    ASSERT_TRUE(player);
    auto recorder = std::make_shared<Recorder>();
    player->setDelegate(recorder);
    EXPECT_DOUBLE_EQ(player->duration(), 1.0);
    player->setNumberOfLoops(1);
    ASSERT_TRUE(player->play());
    clock.clock().advance(0.5);
    ASSERT_TRUE(runUntil([&] { return player->currentTime() >= 0.5; }));
    player->pause();
    clock.clock().advance(3.0);
    plat::RunLoop::main().runOnce(0.05);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_NEAR(player->currentTime(), 0.5, 0.01);

    player->play();
    clock.clock().advance(0.75);  // into the second pass
    ASSERT_TRUE(runUntil([&] { return player->currentTime() < 0.3; }));
    EXPECT_NEAR(player->currentTime(), 0.25, 0.01);
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(recorder->finished, 0);
    clock.clock().advance(1.0);
    ASSERT_TRUE(runUntil([&] { return recorder->finished > 0; }));
    EXPECT_EQ(recorder->finished, 1);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_EQ(player->currentTime(), 0.0);
    player.reset();
}

TEST(AudioPlayer, EndlessLoopsAndStopKeepingThePosition) {
    testsupport::TempDir dir;
    auto path = writeTone(dir, "short.wav", 800);
    testsupport::VirtualClockScope clock;
    auto player = plat::AudioPlayer::createWithContentsOfFile(path);
    ASSERT_TRUE(player);
    player->setNumberOfLoops(-1);
    player->play();
    clock.clock().advance(10.25);
    ASSERT_TRUE(runUntil([&] { return player->currentTime() > 0.0; }));
    EXPECT_TRUE(player->isPlaying());
    EXPECT_NEAR(player->currentTime(), 0.05, 0.01);
    player->stop();
    EXPECT_NEAR(player->currentTime(), 0.05, 0.01);
    player->setCurrentTime(5.0);  // clamped to the length
    EXPECT_DOUBLE_EQ(player->currentTime(), 0.1);
    player->setCurrentTime(0);
    EXPECT_EQ(player->currentTime(), 0.0);
}

TEST(AudioPlayer, RefusesWhatIsNotASoundWithUpToTwoChannels) {
    testsupport::TempDir dir;
    EXPECT_FALSE(plat::AudioPlayer::createWithContentsOfFile((dir.path() / "none.mp3").string()));
    testsupport::writeFile(dir.path() / "junk.mp3", std::string(100, 'j'));
    EXPECT_FALSE(plat::AudioPlayer::createWithContentsOfFile((dir.path() / "junk.mp3").string()));
    std::string quad = (dir.path() / "quad.wav").string();
    SF_INFO info{};
    info.channels = 4;
    info.samplerate = 8000;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(quad.c_str(), SFM_WRITE, &info);
    std::vector<short> s(400, 100);
    sf_writef_short(f, s.data(), 100);
    sf_close(f);
    EXPECT_FALSE(plat::AudioPlayer::createWithContentsOfFile(quad));
}

TEST(AudioPlayer, StreamsIntoOpenAlAndFinishesOnTheMainLoop) {
    ALCdevice* device = alcOpenDevice(nullptr);
    ASSERT_NE(device, nullptr) << "the null OpenAL backend is expected (ALSOFT_DRIVERS=null)";
    ALCcontext* context = alcCreateContext(device, nullptr);
    alcMakeContextCurrent(context);
    testsupport::TempDir dir;
    auto path = writeTone(dir, "tone.wav", 2400, 16000);
    {
        auto player = plat::AudioPlayer::createWithContentsOfFile(path);
        ASSERT_TRUE(player);
        auto recorder = std::make_shared<Recorder>();
        player->setDelegate(recorder);
        player->setVolume(0.5f);
        player->setNumberOfLoops(1);
        player->play();
        ASSERT_TRUE(runUntil([&] { return recorder->finished > 0; }));
        EXPECT_EQ(recorder->finished, 1);
        EXPECT_FALSE(player->isPlaying());
        EXPECT_EQ(player->currentTime(), 0.0);
    }
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    alcCloseDevice(device);
}

TEST(AudioSession, CategoriesActivationAndInterruptions) {
    auto& session = plat::AudioSession::sharedInstance();
    session.reset();
    EXPECT_EQ(session.category(), plat::AVAudioSessionCategorySoloAmbient);
    EXPECT_TRUE(session.setCategory(plat::AVAudioSessionCategoryPlayback));
    EXPECT_FALSE(session.setCategory("Loud"));
    EXPECT_EQ(session.category(), plat::AVAudioSessionCategoryPlayback);
    EXPECT_FALSE(session.otherAudioIsPlaying());

    session.failNextActivations(2);
    EXPECT_FALSE(session.setActive(true));
    EXPECT_FALSE(session.setActive(true));
    EXPECT_TRUE(session.setActive(true));
    EXPECT_TRUE(session.isActive());
    EXPECT_EQ(session.activationAttempts(), 3);

    testsupport::TempDir dir;
    testsupport::VirtualClockScope clock;
    auto delegate = std::make_shared<SessionRecorder>();
    session.setDelegate(delegate);
    auto playing = plat::AudioPlayer::createWithContentsOfFile(writeTone(dir, "a.wav", 800));
    auto idle = plat::AudioPlayer::createWithContentsOfFile(writeTone(dir, "b.wav", 800));
    auto heard = std::make_shared<Recorder>();
    auto idleHeard = std::make_shared<Recorder>();
    playing->setDelegate(heard);
    idle->setDelegate(idleHeard);
    playing->play();
    session.beginInterruption();
    session.beginInterruption();  // already interrupted
    EXPECT_TRUE(session.isInterrupted());
    EXPECT_FALSE(playing->isPlaying());
    EXPECT_EQ(heard->begun, 1);
    EXPECT_EQ(idleHeard->begun, 0);
    session.endInterruption();
    EXPECT_EQ(delegate->log, "be");
    EXPECT_EQ(heard->ended, 1);
    EXPECT_EQ(idleHeard->ended, 0);
    session.reset();
}

}  // namespace

namespace {

// A mono 16-bit file at `rate` holding `frames` samples of one level, so that its first sample is heard.
std::string writeLevel(const testsupport::TempDir& dir, const std::string& name, int frames, int rate) {
    std::string path = (dir.path() / name).string();
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<short> s(static_cast<size_t>(frames), 12000);
    sf_writef_short(f, s.data(), frames);
    sf_close(f);
    return path;
}

// A mix of 40 frames at 22050 Hz (367.5 samples a frame): a short effect started in frame 7, a player's
// music from frame 20 on. Returns the mix's stereo samples.
std::vector<short> mixByFrames(const testsupport::TempDir& dir, const std::string& name) {
    constexpr int kRate = 22050;
    const std::string out = (dir.path() / name).string();
    std::string why;
    EXPECT_TRUE(plat::AudioFrameMix::begin(out, kRate, 60, 0, &why)) << why;
    ALCdevice* device = plat::openDefaultAudioDevice();
    EXPECT_NE(device, nullptr);
    ALCcontext* context = plat::createAudioContext(device);
    alcMakeContextCurrent(context);
    std::vector<short> level(100, 12000);
    ALuint buffer = 0, source = 0;
    alGenBuffers(1, &buffer);
    alBufferData(buffer, AL_FORMAT_MONO16, level.data(), 200, kRate);
    alGenSources(1, &source);
    alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer));
    auto player = plat::AudioPlayer::createWithContentsOfFile(writeLevel(dir, "music.wav", kRate, kRate));
    for (int frame = 0; frame < 40; ++frame) {
        if (frame == 7) alSourcePlay(source);
        if (frame == 20) player->play();
        plat::AudioFrameMix::renderFrame();
    }
    player.reset();
    plat::AudioFrameMix::end();
    alDeleteSources(1, &source);
    alDeleteBuffers(1, &buffer);
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    plat::closeAudioDevice(device);
    SF_INFO info{};
    SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
    EXPECT_EQ(info.samplerate, kRate);
    std::vector<short> samples(static_cast<size_t>(info.frames * info.channels));
    sf_read_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
    return samples;
}

size_t firstHeard(const std::vector<short>& stereo, size_t from) {
    for (size_t i = from * 2; i < stereo.size(); ++i)
        if (stereo[i] != 0) return i / 2;
    return stereo.size();
}

}  // namespace

TEST(AudioFrameMix, EachFramesSoundStartsAtItsSampleAndTwoMixesAreOne) {
    testsupport::TempDir dir;
    const auto first = mixByFrames(dir, "one.wav");
    ASSERT_EQ(first.size(), 2u * 40 * 22050 / 60) << "every frame adds its share, the halves included";
    EXPECT_EQ(firstHeard(first, 0), 7u * 22050 / 60);
    EXPECT_EQ(firstHeard(first, 7 * 22050 / 60 + 100), 20u * 22050 / 60) << "the music starts on its frame";
    EXPECT_EQ(first, mixByFrames(dir, "two.wav"));
}
