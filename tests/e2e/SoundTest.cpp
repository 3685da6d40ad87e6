// The program's sound end to end: the mix written to a WAV file while the player switches the music
// off and the app goes to the background and back.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "tests/e2e/E2ESupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using e2e::Potemaru;

TEST(PotemaruSound, MusicSwitchedOffStaysOffAcrossTheBackground) {
    testsupport::TempDir dir;
    const fs::path wav = dir.path() / "mix.wav";
    const fs::path script = dir.path() / "sound.txt";
    // The sound button (top right, at 590, 70 in window pixels) goes off at frame 200; the app leaves
    // and comes back, and runs on for a while.
    testsupport::writeFile(script,
                           "200 touch down 590 70\n201 touch up 590 70\n"
                           "210 background\n211 foreground\n420 quit\n");
    Potemaru run(dir.path());
    ASSERT_EQ(run.run({"--headless", "--home", (dir.path() / "home").string(), "--seed", "1", "--audio",
                       "wave:" + wav.string(), "--script", script.string()}),
              0)
        << run.err();
    auto samples = e2e::wavSamples(wav);
    ASSERT_GT(samples.size(), 4410u) << "the mix was not written";
    // The music was heard after the set-up, and the end of the mix is silent.
    EXPECT_GT(e2e::peak(samples, 0, samples.size()), 1000);
    const size_t tail = 44100 / 5 * 2;  // the last 0.2 s, stereo at 44.1 kHz
    EXPECT_LT(e2e::peak(samples, samples.size() - std::min(tail, samples.size()), samples.size()), 64);
}

TEST(PotemaruSound, TwoHeadlessRunsOfOneScriptMixOneWavFrameByFrame) {
    testsupport::TempDir dir;
    const fs::path script = dir.path() / "sound.txt";
    // Taps on the play field and the sound button, over the music: effects at frames the script decides.
    testsupport::writeFile(script,
                           "90 touch down 320 700\n91 touch up 320 700\n130 touch down 590 70\n"
                           "131 touch up 590 70\n160 touch down 590 70\n161 touch up 590 70\n240 quit\n");
    std::string mixes[2];
    for (int i = 0; i < 2; ++i) {
        const fs::path wav = dir.path() / ("mix" + std::to_string(i) + ".wav");
        Potemaru run(dir.path());
        ASSERT_EQ(run.run({"--headless", "--home", (dir.path() / ("home" + std::to_string(i))).string(),
                           "--seed", "7", "--audio", "wave:" + wav.string(), "--script", script.string()}),
                  0)
            << run.err();
        mixes[i] = testsupport::readFile(wav);
        auto samples = e2e::wavSamples(wav);
        // Frames 0 to 240, 735 stereo samples each.
        EXPECT_EQ(samples.size(), 241u * 735 * 2);
        EXPECT_GT(e2e::peak(samples, 0, samples.size()), 1000);
    }
    EXPECT_TRUE(mixes[0] == mixes[1]) << "two runs of one script mixed differently";
}

TEST(PotemaruSound, AStartWithoutASoundCardSaysSoInOneLine) {
    testsupport::TempDir dir;
    Potemaru run(dir.path());
    // OpenAL's own choice of output, as a player's start has it; the machines the tests run on have no
    // sound card, and where one is found the game says nothing about sound at all.
    ASSERT_TRUE(run.start({"--headless", "--home", (dir.path() / "home").string(), "--frames", "3"},
                          {"/usr/bin/env", "-u", "ALSOFT_DRIVERS", "-u", "ALSOFT_LOGLEVEL"}));
    ASSERT_EQ(run.wait(), 0) << run.err();
    const std::string err = run.err();
    EXPECT_EQ(err.find("ALSA lib"), std::string::npos) << err;
    EXPECT_EQ(err.find("AL lib"), std::string::npos) << err;
    size_t lines = 0;
    for (size_t at = 0; (at = err.find("sound device", at)) != std::string::npos; ++at) ++lines;
    EXPECT_LE(lines, 1u) << err;
}
