// Sound files from outside: both decoders must refuse or decode any bytes without crashing, reading past
// a buffer or allocating without bound.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "chime/CHUtilities.h"
#include "tests/fuzz/fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzzWriteScratch("input", data, size);
    CHDecodedSound sound;
    if (readLinearPcmFile(path, sound) && sound.data.size() % 2 != 0 && sound.format != AL_FORMAT_MONO8)
        return 1;
    convertToPcm16(path, sound);
    std::remove(path.c_str());
    return 0;
}
