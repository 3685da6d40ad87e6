// Sound files from outside: both decoders must refuse or decode any bytes without crashing, reading past
// a buffer or allocating without bound.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "chime/CHUtilities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/audio_decode_" + std::to_string(getpid());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    CHDecodedSound sound;
    if (readLinearPcmFile(path, sound) && sound.data.size() % 2 != 0 && sound.format != AL_FORMAT_MONO8)
        return 1;
    convertToPcm16(path, sound);
    std::remove(path.c_str());
    return 0;
}
