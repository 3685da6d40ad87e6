// Any bytes as a zip archive: reading a member must give its bytes or nothing, never read past the archive
// or allocate without bound.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "kite/files/KTFileUtils.h"
#include "platform/base/Log.h"
#include "tests/fuzz/fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        plat::setLogSink([](plat::LogLevel, const std::string&) {});
        return true;
    }();
    (void)quiet;
    const std::string path = fuzzWriteScratch("input.zip", data, size);
    kite::KTFileUtils* files = kite::KTFileUtils::sharedFileUtils();
    for (const char* member : {"a.txt", "assets/chara.csv", ""}) {
        unsigned long length = 0;
        unsigned char* bytes = files->getFileDataFromZip(path.c_str(), member, &length);
        if (bytes) {
            // The member must be readable to its last byte.
            volatile unsigned char sink = length ? bytes[length - 1] : 0;
            (void)sink;
            delete[] bytes;
        }
    }
    std::remove(path.c_str());
    return 0;
}
