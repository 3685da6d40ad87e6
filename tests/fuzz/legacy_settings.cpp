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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        plat::setLogSink([](plat::LogLevel, const std::string&) {});
        std::string home = (std::filesystem::temp_directory_path() / "potemaru-fuzz-XXXXXX").string();
        if (!mkdtemp(home.data())) std::abort();
        plat::Paths::setHome(home);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(plat::Paths::home(), ec);
        });
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
