#include <gtest/gtest.h>
#include <sndfile.h>

#include "chime/CHUtilities.h"
#include "platform/storage/Bundle.h"
#include "tests/chime/ChimeTestSupport.h"
#include "tests/support/TestSupport.h"

using chimetest::writeSoundFile;
using chimetest::writeWav;

namespace {

class Decoding : public ::testing::Test {
  protected:
    std::string path(const std::string& name) const { return (dir.path() / name).string(); }
    testsupport::TempDir dir;
    CHDecodedSound sound;
};

TEST_F(Decoding, RawReaderKeepsTheStoredBytesAndNamesTheFormat) {
    writeWav(path("m8.wav"), 1, 8, 22050, 100);
    ASSERT_TRUE(decodeSoundFile(path("m8.wav"), sound));
    EXPECT_EQ(sound.format, AL_FORMAT_MONO8);
    EXPECT_EQ(sound.frequency, 22050);
    ASSERT_EQ(sound.data.size(), 100u);
    std::string bytes = testsupport::readFile(path("m8.wav"));
    EXPECT_EQ(0, memcmp(sound.data.data(), bytes.data() + 44, 100));

    writeWav(path("s16.wav"), 2, 16, 44100, 44100);
    ASSERT_TRUE(decodeSoundFile(path("s16.wav"), sound));
    EXPECT_EQ(sound.format, AL_FORMAT_STEREO16);
    EXPECT_EQ(sound.data.size(), 44100u * 4);
    bytes = testsupport::readFile(path("s16.wav"));
    EXPECT_EQ(0, memcmp(sound.data.data(), bytes.data() + 44, sound.data.size()));

    writeWav(path("m16"), 1, 16, 8000, 10);
    ASSERT_TRUE(decodeSoundFile(path("m16"), sound));
    EXPECT_EQ(sound.format, AL_FORMAT_MONO16);
    EXPECT_EQ(sound.data.size(), 20u);
}

TEST_F(Decoding, RawReaderRefusesWhatOpenAlCannotTakeAsStored) {
    writeWav(path("deep.wav"), 1, 24, 44100, 100);
    writeWav(path("quad.wav"), 4, 16, 44100, 100);
    writeSoundFile(path("big.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, 1, 44100, 100);
    writeSoundFile(path("aiff"), SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 44100, 100);
    writeSoundFile(path("float.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, 100);
    writeSoundFile(path("ulaw.wav"), SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, 8000, 100);
    writeSoundFile(path("signed8"), SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 1, 8000, 100);
    for (const char* name : {"deep.wav", "quad.wav", "big.wav", "aiff", "float.wav", "ulaw.wav", "signed8"})
        EXPECT_FALSE(decodeSoundFile(path(name), sound)) << name;
}

TEST_F(Decoding, TheExtensionPicksTheReaderIgnoringCase) {
    writeWav(path("deep.WAV"), 2, 24, 44100, 50);
    EXPECT_FALSE(decodeSoundFile(path("deep.WAV"), sound));
    // The same content under another name is converted.
    writeWav(path("deep.caf"), 2, 24, 44100, 50);
    ASSERT_TRUE(decodeSoundFile(path("deep.caf"), sound));
    EXPECT_EQ(sound.format, AL_FORMAT_STEREO16);
    EXPECT_EQ(sound.data.size(), 50u * 4);
}

TEST_F(Decoding, ConverterGivesSixteenBitFramesForCompressedAndOtherFiles) {
    writeSoundFile(path("m.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 48000, 4800);
    ASSERT_TRUE(decodeSoundFile(path("m.flac"), sound));
    EXPECT_EQ(sound.format, AL_FORMAT_MONO16);
    EXPECT_EQ(sound.frequency, 48000);
    EXPECT_EQ(sound.data.size(), 4800u * 2);

    writeSoundFile(path("s.ogg"), SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100, 4410);
    ASSERT_TRUE(decodeSoundFile(path("s.ogg"), sound));
    EXPECT_EQ(sound.format, AL_FORMAT_STEREO16);
    EXPECT_EQ(sound.data.size() % 4, 0u);
    EXPECT_GT(sound.data.size(), 0u);

    writeSoundFile(path("a.aiff"), SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 11025, 300);
    ASSERT_TRUE(decodeSoundFile(path("a.aiff"), sound));
    EXPECT_EQ(sound.data.size(), 1200u);
    int peak = 0;
    for (size_t i = 0; i + 1 < sound.data.size(); i += 2)
        peak = std::max(
            peak, std::abs(static_cast<int>(static_cast<int16_t>(sound.data[i] | sound.data[i + 1] << 8))));
    EXPECT_GT(peak, 10000);

    // Float samples come out at full scale, not truncated to nothing.
    writeSoundFile(path("f.caf"), SF_FORMAT_CAF | SF_FORMAT_FLOAT, 1, 8000, 400);
    ASSERT_TRUE(decodeSoundFile(path("f.caf"), sound));
    peak = 0;
    for (size_t i = 0; i + 1 < sound.data.size(); i += 2)
        peak = std::max(
            peak, std::abs(static_cast<int>(static_cast<int16_t>(sound.data[i] | sound.data[i + 1] << 8))));
    EXPECT_GT(peak, 10000);

    writeSoundFile(path("quad.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 4, 44100, 100);
    EXPECT_FALSE(decodeSoundFile(path("quad.flac"), sound));
}

TEST_F(Decoding, MissingDamagedAndTruncatedFilesFailOrGiveWhatIsThere) {
    EXPECT_FALSE(decodeSoundFile(path("none.wav"), sound));
    EXPECT_FALSE(decodeSoundFile(path("none.mp3"), sound));
    EXPECT_FALSE(decodeSoundFile(dir.path().string(), sound));
    testsupport::writeFile(path("junk.wav"), std::string(300, '\x5a'));
    testsupport::writeFile(path("junk.ogg"), "OggS" + std::string(200, '\x01'));
    testsupport::writeFile(path("empty.wav"), "");
    for (const char* name : {"junk.wav", "junk.ogg", "empty.wav"})
        EXPECT_FALSE(decodeSoundFile(path(name), sound)) << name;

    // A header announcing far more data than the file holds.
    writeWav(path("cut.wav"), 1, 16, 8000, 1000);
    std::string bytes = testsupport::readFile(path("cut.wav"));
    testsupport::writeFile(path("cut.wav"), bytes.substr(0, 44 + 100));
    if (decodeSoundFile(path("cut.wav"), sound)) {
        EXPECT_LE(sound.data.size(), 100u);
    }
    testsupport::writeFile(path("head.wav"), bytes.substr(0, 30));
    EXPECT_FALSE(decodeSoundFile(path("head.wav"), sound));

    writeSoundFile(path("cut.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 8000, 8000);
    bytes = testsupport::readFile(path("cut.flac"));
    testsupport::writeFile(path("cut.flac"), bytes.substr(0, bytes.size() / 3));
    if (decodeSoundFile(path("cut.flac"), sound)) {
        EXPECT_LT(sound.data.size(), 16000u);
    }
}

TEST(CHUtilities, FullPathFromRelativePathLooksInTheBundle) {
    testsupport::TempDir resources;
    std::filesystem::create_directories(resources.path() / "se");
    testsupport::writeFile(resources.path() / "se" / "hit.wav", "x");
    testsupport::writeFile(resources.path() / "bgm.mp3", "x");
    plat::Bundle::setMainResourcePath(resources.path());
    EXPECT_EQ(CHUtilities::fullPathFromRelativePath("/abs/none.wav"), "/abs/none.wav");
    EXPECT_EQ(CHUtilities::fullPathFromRelativePath("se/hit.wav"),
              (resources.path() / "se" / "hit.wav").string());
    EXPECT_EQ(CHUtilities::fullPathFromRelativePath("bgm.mp3"), (resources.path() / "bgm.mp3").string());
    EXPECT_EQ(CHUtilities::fullPathFromRelativePath("hit.wav"), "hit.wav");
    EXPECT_EQ(CHUtilities::fullPathFromRelativePath(""), "");
    EXPECT_EQ(CHUtilities::fullPathFromRelativePath("se/"), "se/");
    plat::Bundle::setMainResourcePath({});
}

}  // namespace
