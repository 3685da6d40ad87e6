#include "tests/chime/ChimeTestSupport.h"

#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

#include "tests/support/TestSupport.h"

namespace chimetest {

namespace {
void put16(std::string& s, uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}
}  // namespace

void writeWav(const std::filesystem::path& path, int channels, int bits, int rate, int frames) {
    int bytes = bits / 8;
    uint32_t dataSize = static_cast<uint32_t>(frames * channels * bytes);
    std::string s = "RIFF";
    put32(s, 36 + dataSize);
    s += "WAVEfmt ";
    put32(s, 16);
    put16(s, 1);
    put16(s, static_cast<uint32_t>(channels));
    put32(s, static_cast<uint32_t>(rate));
    put32(s, static_cast<uint32_t>(rate * channels * bytes));
    put16(s, static_cast<uint32_t>(channels * bytes));
    put16(s, static_cast<uint32_t>(bits));
    s += "data";
    put32(s, dataSize);
    for (int f = 0; f < frames; ++f) {
        double v = std::sin(2 * M_PI * 440.0 * f / rate) * 0.5;
        for (int c = 0; c < channels; ++c) {
            if (bits == 8) {
                s.push_back(static_cast<char>(static_cast<uint8_t>(128 + v * 127)));
            } else {
                int32_t x = static_cast<int32_t>(v * ((1 << (bits - 1)) - 1));
                for (int b = 0; b < bytes; ++b) s.push_back(static_cast<char>((x >> (8 * b)) & 0xFF));
            }
        }
    }
    std::ofstream(path, std::ios::binary) << s;
}

void writeSoundFile(const std::filesystem::path& path, int sfFormat, int channels, int rate, int frames) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = sfFormat;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return;
    std::vector<float> samples(static_cast<size_t>(frames * channels));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples[static_cast<size_t>(i * channels + c)] =
                static_cast<float>(std::sin(2 * M_PI * 440.0 * i / rate) * 0.5);
    sf_writef_float(f, samples.data(), frames);
    sf_close(f);
}

bool inChild() {
    return std::getenv("CHIME_CHILD") != nullptr;
}

int runTestInChild(const std::string& filter, std::map<std::string, std::string> env) {
    env.emplace("CHIME_CHILD", "1");
    return testsupport::runProgram(std::filesystem::read_symlink("/proc/self/exe").string(),
                                   {"--gtest_filter=" + filter}, env);
}

int peakOfWav16(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return 0;
    std::vector<float> buf(4096);
    float peak = 0;
    sf_count_t n;
    while ((n = sf_read_float(f, buf.data(), static_cast<sf_count_t>(buf.size()))) > 0)
        for (sf_count_t i = 0; i < n; ++i) peak = std::max(peak, std::fabs(buf[i]));
    sf_close(f);
    return static_cast<int>(peak * 32767.0f);
}

}  // namespace chimetest
