// Effect playback cost once a sound is loaded (the per-tap path) and whole-file decoding (the first play).
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "chime/CHBufferManager.h"
#include "chime/CHSoundEngine.h"
#include "chime/CHUtilities.h"

namespace {

std::string writeSecond(const char* name, int format) {
    std::string path = (std::filesystem::temp_directory_path() / name).string();
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = 44100;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> s(44100 * 2);
    for (size_t i = 0; i < s.size(); ++i) s[i] = 0.5f * std::sin(static_cast<float>(i) * 0.01f);
    sf_writef_float(f, s.data(), 44100);
    sf_close(f);
    return path;
}

void BM_PlayLoadedEffect(benchmark::State& state) {
    auto engine = CHSoundEngine::create();
    CHBufferManager manager(engine);
    std::string path = writeSecond("bench_effect.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    if (manager.bufferForFile(path, true) < 0) {
        state.SkipWithError("no OpenAL device (set ALSOFT_DRIVERS=null)");
        return;
    }
    for (auto _ : state) {
        int id = manager.bufferForFile(path, true);
        benchmark::DoNotOptimize(engine->playSound(id, 0, 1.0f, 0.0f, 1.0f, false));
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_PlayLoadedEffect);

void BM_DecodeOneSecond(benchmark::State& state) {
    bool raw = state.range(0) == 0;
    std::string path = raw ? writeSecond("bench_decode.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16)
                           : writeSecond("bench_decode.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    for (auto _ : state) {
        CHDecodedSound sound;
        benchmark::DoNotOptimize(decodeSoundFile(path, sound));
    }
    state.SetLabel(raw ? "wav" : "flac");
    std::filesystem::remove(path);
}
BENCHMARK(BM_DecodeOneSecond)->Arg(0)->Arg(1);

}  // namespace
