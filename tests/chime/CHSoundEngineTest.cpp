#include <gtest/gtest.h>

#include <set>

#include "chime/CHBufferManager.h"
#include "chime/CHSoundEngine.h"
#include "chime/CHSoundSource.h"
#include "tests/chime/ChimeTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

// One second of 16-bit stereo at 44 100 Hz.
std::vector<uint8_t> oneSecondStereo16() {
    return std::vector<uint8_t>(44100 * 4, 0);
}

class SoundEngine : public ::testing::Test {
  protected:
    void SetUp() override {
        engine = CHSoundEngine::create();
        ASSERT_TRUE(engine->functioning()) << "the null OpenAL backend is expected (ALSOFT_DRIVERS=null)";
        data = oneSecondStereo16();
        ASSERT_TRUE(engine->loadBufferFromData(0, data.data(), AL_FORMAT_STEREO16, 44100 * 4, 44100));
    }
    ALint stateOf(ALuint source) {
        ALint state = 0;
        alGetSourcei(source, AL_SOURCE_STATE, &state);
        return state;
    }
    std::shared_ptr<CHSoundEngine> engine;
    std::vector<uint8_t> data;
};

TEST_F(SoundEngine, StartsWithOneGroupOfAllSourcesAndKnownBuffers) {
    EXPECT_EQ(engine->sourceTotal(), CH_SOURCE_LIMIT);
    EXPECT_EQ(engine->sourceGroupTotal(), 1u);
    EXPECT_EQ(engine->bufferTotal(), 64);
    EXPECT_TRUE(engine->enabled());
    EXPECT_FALSE(engine->mute());
    EXPECT_TRUE(engine->getGainWorks());
    EXPECT_EQ(engine->openALContext(), alcGetCurrentContext());
    EXPECT_FLOAT_EQ(engine->bufferDurationInSeconds(0), 1.0f);
    EXPECT_EQ(engine->bufferSizeInBytes(0), 44100 * 4);
    EXPECT_EQ(engine->bufferFrequencyInHertz(0), 44100);
    EXPECT_EQ(engine->bufferDurationInSeconds(1), -1.0f);
    EXPECT_EQ(engine->bufferSizeInBytes(-1), -1);
    EXPECT_EQ(engine->bufferFrequencyInHertz(64), -1);
}

TEST_F(SoundEngine, BufferTableGrowsBySixteensPastTheHighestId) {
    ASSERT_TRUE(engine->loadBufferFromData(64, data.data(), AL_FORMAT_MONO16, 200, 22050));
    EXPECT_EQ(engine->bufferTotal(), 80);
    EXPECT_TRUE(engine->validateBufferId(64));
    EXPECT_FALSE(engine->validateBufferId(65));

    auto other = CHSoundEngine::create();
    ASSERT_TRUE(other->loadBufferFromData(96, data.data(), AL_FORMAT_MONO8, 100, 8000));
    EXPECT_EQ(other->bufferTotal(), 112);
    EXPECT_FLOAT_EQ(other->bufferDurationInSeconds(96), 100.0f / 8000.0f);
    // Absurd ids are refused instead of growing the table without bound.
    EXPECT_FALSE(other->loadBufferFromData(0x7FFFFFF0, data.data(), AL_FORMAT_MONO8, 100, 8000));
    EXPECT_FALSE(other->loadBufferFromData(-1, data.data(), AL_FORMAT_MONO8, 100, 8000));
    EXPECT_EQ(other->bufferTotal(), 112);
    // Missing data marks the buffer failed.
    EXPECT_FALSE(other->loadBufferFromData(5, nullptr, AL_FORMAT_MONO8, 0, 8000));
    EXPECT_FALSE(other->validateBufferId(5));
}

TEST_F(SoundEngine, InterruptibleGroupCutsTheOldestSoundForThe33rd) {
    std::vector<ALuint> ids;
    for (int i = 0; i < 33; ++i) ids.push_back(engine->playSound(0, 0, 1.0f, 0.0f, 1.0f, true));
    std::set<ALuint> distinct(ids.begin(), ids.begin() + 32);
    EXPECT_EQ(distinct.size(), 32u);
    EXPECT_EQ(distinct.count(CH_SOUND_ID_NO_SOURCE), 0u);
    EXPECT_EQ(ids[32], ids[0]);
    EXPECT_EQ(stateOf(ids[0]), AL_PLAYING);
}

TEST_F(SoundEngine, NonInterruptibleGroupOnlyTakesSilentSources) {
    int counts[] = {2, 30};
    ASSERT_TRUE(engine->defineSourceGroups(counts, 2));
    engine->setSourceGroupNonInterruptible(0, true);
    ALuint a = engine->playSound(0, 0, 1.0f, 0.0f, 1.0f, true);
    ALuint b = engine->playSound(0, 0, 1.0f, 0.0f, 1.0f, true);
    ASSERT_NE(a, b);
    EXPECT_EQ(engine->playSound(0, 0, 1.0f, 0.0f, 1.0f, true), CH_SOUND_ID_NO_SOURCE);
    // The other group is unaffected.
    EXPECT_NE(engine->playSound(0, 1, 1.0f, 0.0f, 1.0f, false), CH_SOUND_ID_NO_SOURCE);
    engine->stopSound(a);
    EXPECT_EQ(engine->playSound(0, 0, 1.0f, 0.0f, 1.0f, false), a);
}

TEST_F(SoundEngine, RefusesWhatItCannotPlay) {
    EXPECT_EQ(engine->playSound(1, 0, 1, 0, 1, false), CH_SOUND_ID_NO_BUFFER);   // nothing loaded
    EXPECT_EQ(engine->playSound(64, 0, 1, 0, 1, false), CH_SOUND_ID_NO_BUFFER);  // past the table
    EXPECT_EQ(engine->playSound(-3, 0, 1, 0, 1, false), CH_SOUND_ID_NO_BUFFER);
    EXPECT_EQ(engine->playSound(0, 1, 1, 0, 1, false), CH_SOUND_ID_NO_BUFFER);  // past the groups
    EXPECT_EQ(engine->playSound(0, -1, 1, 0, 1, false), CH_SOUND_ID_NO_BUFFER);

    engine->setSourceGroupEnabled(0, true);  // the flag blocks playback
    EXPECT_TRUE(engine->sourceGroupEnabled(0));
    EXPECT_EQ(engine->playSound(0, 0, 1, 0, 1, false), CH_SOUND_ID_NO_BUFFER);
    engine->setSourceGroupEnabled(0, false);
    EXPECT_FALSE(engine->sourceGroupEnabled(7));

    engine->setEnabled(false);
    EXPECT_EQ(engine->playSound(0, 0, 1, 0, 1, false), CH_SOUND_ID_NO_BUFFER);
    engine->setEnabled(true);
    EXPECT_NE(engine->playSound(0, 0, 1, 0, 1, false), CH_SOUND_ID_NO_BUFFER);

    int tooMany[] = {20, 20};
    EXPECT_FALSE(engine->defineSourceGroups(tooMany, 2));
    EXPECT_FALSE(engine->defineSourceGroups({plat::Value(-1)}));
    EXPECT_TRUE(engine->defineSourceGroups({plat::Value(4), plat::Value("x"), plat::Value(28)}));
    EXPECT_EQ(engine->sourceGroupTotal(), 3u);
    EXPECT_EQ(engine->playSound(0, 1, 1, 0, 1, false), CH_SOUND_ID_NO_SOURCE);  // an empty group
}

TEST_F(SoundEngine, MuteRemembersGainChangesAndRestoresTheLatest) {
    engine->setMasterGain(0.8f);
    engine->setMute(true);
    ALfloat listener = -1;
    alGetListenerf(AL_GAIN, &listener);
    EXPECT_EQ(listener, 0.0f);
    EXPECT_FLOAT_EQ(engine->masterGain(), 0.8f);
    engine->setMasterGain(0.3f);
    EXPECT_FLOAT_EQ(engine->masterGain(), 0.3f);
    alGetListenerf(AL_GAIN, &listener);
    EXPECT_EQ(listener, 0.0f);
    engine->setMute(false);
    alGetListenerf(AL_GAIN, &listener);
    EXPECT_FLOAT_EQ(listener, 0.3f);
    EXPECT_FLOAT_EQ(engine->masterGain(), 0.3f);
}

TEST_F(SoundEngine, ReloadingAnIdDetachesTheOldBufferEverywhere) {
    ALuint sid = engine->playSound(0, 0, 1, 0, 1, true);
    ASSERT_EQ(stateOf(sid), AL_PLAYING);
    ASSERT_TRUE(engine->loadBufferFromData(0, data.data(), AL_FORMAT_MONO16, 100, 8000));
    EXPECT_NE(stateOf(sid), AL_PLAYING);
    ALint attached = -1;
    alGetSourcei(sid, AL_BUFFER, &attached);
    EXPECT_EQ(attached, 0);
    EXPECT_EQ(engine->bufferSizeInBytes(0), 100);
    EXPECT_TRUE(engine->unloadBuffer(0));
    EXPECT_FALSE(engine->validateBufferId(0));
    EXPECT_FALSE(engine->unloadBuffer(64));
}

TEST_F(SoundEngine, PauseResumeAndStopFollowTheSourceState) {
    ALuint sid = engine->playSound(0, 0, 1.5f, -0.5f, 0.25f, true);
    ALfloat pitch = 0, x = 0, y = 0, z = 0;
    alGetSourcef(sid, AL_PITCH, &pitch);
    alGetSource3f(sid, AL_POSITION, &x, &y, &z);
    EXPECT_FLOAT_EQ(pitch, 1.5f);
    EXPECT_FLOAT_EQ(x, -0.5f);
    engine->pauseAllSounds();
    EXPECT_EQ(stateOf(sid), AL_PAUSED);
    engine->resumeAllSounds();
    EXPECT_EQ(stateOf(sid), AL_PLAYING);
    engine->stopSourceGroup(0);
    EXPECT_EQ(stateOf(sid), AL_STOPPED);
    engine->resumeSound(sid);  // only paused sources resume
    EXPECT_EQ(stateOf(sid), AL_STOPPED);
}

TEST_F(SoundEngine, LentSourcesAreLockedUntilReleased) {
    int counts[] = {2};
    ASSERT_TRUE(engine->defineSourceGroups(counts, 1));
    auto source = engine->soundSourceForSound(0, 0);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->soundId(), 0);
    EXPECT_FLOAT_EQ(source->durationInSeconds(), 1.0f);
    EXPECT_FALSE(source->looping());
    // Both plays land on the one unlocked source.
    ALuint first = engine->playSound(0, 0, 1, 0, 1, false);
    ALuint second = engine->playSound(0, 0, 1, 0, 1, false);
    EXPECT_EQ(first, second);
    ALuint held = first;
    EXPECT_TRUE(engine->soundSourceForSound(99, 0) == nullptr);  // no such sound: nothing lent
    source.reset();
    std::set<ALuint> seen;
    for (int i = 0; i < 2; ++i) seen.insert(engine->playSound(0, 0, 1, 0, 1, false));
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen.count(held));
}

TEST_F(SoundEngine, SoundSourceControlsAndMute) {
    auto source = engine->soundSourceForSound(0, 0);
    ASSERT_TRUE(source);
    source->setPitch(2.0f);
    source->setPan(0.75f);
    source->setLooping(true);
    EXPECT_FLOAT_EQ(source->pitch(), 2.0f);
    EXPECT_FLOAT_EQ(source->pan(), 0.75f);
    EXPECT_TRUE(source->looping());
    EXPECT_TRUE(source->play());
    EXPECT_TRUE(source->isPlaying());

    source->setGain(0.6f);
    source->setMute(true);
    EXPECT_TRUE(source->mute());
    source->setGain(0.2f);
    source->setGain(0.4f);
    EXPECT_FLOAT_EQ(source->gain(), 0.4f);
    source->setMute(false);
    EXPECT_FLOAT_EQ(source->gain(), 0.4f);

    source->setEnabled(false);
    EXPECT_FALSE(source->isPlaying());
    EXPECT_FALSE(source->play());
    source->setEnabled(true);
    EXPECT_TRUE(source->play());
    EXPECT_TRUE(source->pause());
    EXPECT_TRUE(source->rewind());
    EXPECT_TRUE(source->stop());
    EXPECT_EQ(source->lastError(), AL_NO_ERROR);
}

class BufferManager : public ::testing::Test {
  protected:
    void SetUp() override {
        engine = CHSoundEngine::create();
        manager = std::make_unique<CHBufferManager>(engine);
        for (int i = 0; i < 6; ++i) chimetest::writeWav(path(i), 1, 16, 8000, 80 + i);
    }
    std::string path(int i) { return (dir.path() / ("s" + std::to_string(i) + ".wav")).string(); }
    testsupport::TempDir dir;
    std::shared_ptr<CHSoundEngine> engine;
    std::unique_ptr<CHBufferManager> manager;
};

TEST_F(BufferManager, GivesOneIdPerPathAndReusesFreedIdsLastFirst) {
    for (int i = 0; i < 5; ++i) EXPECT_EQ(manager->bufferForFile(path(i), true), i);
    EXPECT_EQ(manager->bufferForFile(path(2), true), 2);
    EXPECT_EQ(engine->bufferSizeInBytes(2), 2 * 82);
    EXPECT_EQ(manager->bufferForFile(path(5), false), -1);

    manager->releaseBufferForFile(path(1));
    manager->releaseBufferForFile(path(3));
    EXPECT_FALSE(engine->validateBufferId(3));
    EXPECT_EQ(manager->bufferForFile(path(3), false), -1);
    EXPECT_EQ(manager->bufferForFile(path(5), true), 3);
    EXPECT_EQ(engine->bufferSizeInBytes(3), 2 * 85);
    EXPECT_EQ(manager->bufferForFile(path(1), true), 1);
    EXPECT_EQ(manager->bufferForFile(path(3), true), 5);
}

TEST_F(BufferManager, AFailedLoadIsTriedAgainLater) {
    std::string later = (dir.path() / "later.wav").string();
    EXPECT_EQ(manager->bufferForFile(later, true), -1);
    EXPECT_EQ(manager->bufferForFile(later, true), -1);
    chimetest::writeWav(later, 2, 8, 11025, 10);
    int id = manager->bufferForFile(later, true);
    EXPECT_EQ(id, 0);  // the failed attempts gave their id back
    EXPECT_TRUE(engine->validateBufferId(id));
    EXPECT_EQ(manager->bufferForFile(path(0), true), 1);
}

}  // namespace
