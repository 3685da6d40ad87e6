// The saved container file as the storage reads it back: the bytes are put where the file lives and read
// through the storage. Either a complete resource comes out or failure 2; never a crash, never failure 1
// while the file is there.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/storage/Paths.h"
#include "tagmanager/container/ZAVResourceStorageImpl.h"
#include "tests/fuzz/fuzz_scratch.h"
#include "tests/fuzz/tm_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto storage = [] {
        tmFuzzQuiet();
        std::filesystem::path home = fuzzScratchFile("home");
        if (!plat::Paths::setHome(home)) std::abort();
        return ZAVResourceStorageImpl::create("FUZZ");
    }();
    std::string path = storage->resourceFilename().string();
    FILE* f = std::fopen(path.c_str(), "wb");
    // An empty input comes as a null pointer, which fwrite may not take.
    if (!f || (size && std::fwrite(data, 1, size, f) != size)) std::abort();
    std::fclose(f);
    auto result = storage->loadResourceFromDisk();
    if (const auto& resource = result.type()) {
        if (result.failure() != 0 || !resource->isInitialized()) std::abort();
        // What was accepted writes back.
        if (!resource->data()) std::abort();
    } else if (result.failure() != ZAVLoadFailureIOError) {
        std::abort();
    }
    return 0;
}
