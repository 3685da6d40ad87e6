#pragma once
// Sound files made on the spot for the audio tests, and running one test case in a fresh process (OpenAL
// reads its backend settings once per process).
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace chimetest {

// A RIFF/WAVE file written byte by byte: `bits` 8 (unsigned) or 16/24 (signed), a sine tone.
void writeWav(const std::filesystem::path& path, int channels, int bits, int rate, int frames);
// Any format libsndfile writes (SF_FORMAT_* major | subtype), a sine tone at 440 Hz.
void writeSoundFile(const std::filesystem::path& path, int sfFormat, int channels, int rate, int frames);

// Re-runs this test program for the one test `filter`, with `env` added to its environment and
// CHIME_CHILD=1, and returns its exit status (0 when the test passed).
int runTestInChild(const std::string& filter, std::map<std::string, std::string> env);
bool inChild();

// Largest absolute sample of a sound file on the 16-bit scale (0 when unreadable).
int peakOfWav16(const std::filesystem::path& path);

}  // namespace chimetest
