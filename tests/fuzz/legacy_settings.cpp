// The legacy settings file: any bytes in "UserDefault.xml" must be migrated, skipped or logged, never crash.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "kite/files/KTUserDefaultStore.h"
#include "platform/base/Log.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/Paths.h"
#include "tests/fuzz/fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        plat::setLogSink([](plat::LogLevel, const std::string&) {});
        // The store writes with syncs, which a folder in memory makes cheap.
        const std::string home = fuzzScratchFile("home");
        std::filesystem::create_directories(home);
        plat::Paths::setHome(home);
        return true;
    }();
    (void)ready;
    auto* store = kite::KTUserDefaultStore::sharedUserDefaultStore();
    plat::writeFileAtomically(kite::KTUserDefaultStore::getXMLFilePath(), data, size);
    store->getBoolForKey("firstgame", true);
    store->getIntegerForKey("mypoints", 0);
    store->getFloatForKey("gametimer", 0.0f);
    store->getDoubleForKey("d");
    store->getStringForKey("s");
    store->setIntegerForKey("a", 1);
    store->getIntegerForKey("b");
    return 0;
}
