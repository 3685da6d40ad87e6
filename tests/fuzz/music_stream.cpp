// Any bytes as a music file streamed the way the player streams it: opened, set to 16-bit PCM, read in
// chunks from a seek position and looped back to the start. Nothing may read past the chunk or hang.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/base/Log.h"
#include "platform/media/AudioFile.h"
#include "tests/fuzz/fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        plat::setLogSink([](plat::LogLevel, const std::string&) {});
        return true;
    }();
    (void)quiet;
    const std::string path = fuzzWriteScratch("input", data, size);
    auto file = plat::ExtAudioFile::open(path);
    std::remove(path.c_str());
    if (!file) return 0;
    const auto& format = file->fileDataFormat();
    if (format.channelsPerFrame < 1 || format.channelsPerFrame > 2 || format.sampleRate < 1 ||
        format.sampleRate > 1e6)
        return 0;
    plat::AudioStreamBasicDescription client;
    client.sampleRate = format.sampleRate;
    client.formatID = plat::kAudioFormatLinearPCM;
    client.formatFlags = plat::kAudioFormatFlagIsSignedInteger | plat::kAudioFormatFlagIsPacked;
    client.bitsPerChannel = 16;
    client.channelsPerFrame = format.channelsPerFrame;
    client.framesPerPacket = 1;
    client.bytesPerFrame = client.bytesPerPacket = 2 * format.channelsPerFrame;
    if (!file->setClientFormat(client)) return 0;

    constexpr int64_t kChunkFrames = 1024;
    std::vector<int16_t> chunk(static_cast<size_t>(kChunkFrames * format.channelsPerFrame));
    const int64_t total = std::max<int64_t>(0, file->fileLengthFrames());
    // Two passes, as a looping player makes, with a bounded number of chunks each.
    for (int pass = 0; pass < 2; ++pass) {
        int64_t position = pass == 0 ? 0 : total / 2;
        for (int i = 0; i < 64 && position < total; ++i) {
            if (!file->seek(position)) break;
            const int64_t got = file->read(chunk.data(), std::min(kChunkFrames, total - position));
            if (got <= 0) break;
            if (got > kChunkFrames) __builtin_trap();
            position += got;
        }
    }
    return 0;
}
