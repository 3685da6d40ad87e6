// File utilities and settings: resolving a cached resource name (done for every sprite and sound the game
// creates), reading and writing the settings, and parsing property lists of a realistic size.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "kite/files/KTFileUtils.h"
#include "kite/files/KTUserDefaultStore.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "platform/storage/UserDefaults.h"

namespace fs = std::filesystem;

namespace {

// A temporary resource root and app home for the whole program.
struct Scratch {
    fs::path root;
    Scratch() {
        std::string dir = (fs::temp_directory_path() / "potemaru-bench-XXXXXX").string();
        root = mkdtemp(dir.data());
        fs::create_directories(root / "res" / "hd");
        std::ofstream(root / "res" / "hd" / "chara.png") << "x";
        plat::Bundle::setMainResourcePath(root / "res");
        plat::Paths::setHome(root / "home");
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};
Scratch& scratch() {
    static Scratch s;
    return s;
}

plat::Value settingsLike(int keys) {
    plat::Value::Dictionary d;
    for (int i = 0; i < keys; ++i) d.set("objectcreatetimerget" + std::to_string(i), 27.0 + i);
    d.set("AppleLanguages", plat::Value::Array{"ja", "en"});
    return plat::Value(std::move(d));
}

void BM_FullPathCached(benchmark::State& state) {
    scratch();
    auto* utils = kite::KTFileUtils::sharedFileUtils();
    utils->setSearchResolutionsOrder({"hd"});
    for (auto _ : state) benchmark::DoNotOptimize(utils->fullPathForFilename("chara.png"));
}
BENCHMARK(BM_FullPathCached);

void BM_FullPathUncached(benchmark::State& state) {
    scratch();
    auto* utils = kite::KTFileUtils::sharedFileUtils();
    utils->setSearchResolutionsOrder({"hd"});
    for (auto _ : state) {
        utils->purgeCachedEntries();
        benchmark::DoNotOptimize(utils->fullPathForFilename("chara.png"));
    }
}
BENCHMARK(BM_FullPathUncached);

void BM_SettingsGetSet(benchmark::State& state) {
    scratch();
    auto* store = kite::KTUserDefaultStore::sharedUserDefaultStore();
    int i = 0;
    for (auto _ : state) {
        store->setIntegerForKey("mypoints", ++i);
        benchmark::DoNotOptimize(store->getIntegerForKey("mypoints", 0));
    }
}
BENCHMARK(BM_SettingsGetSet);

void BM_SettingsFlush(benchmark::State& state) {
    scratch();
    auto defaults = plat::UserDefaults::standard();
    int i = 0;
    for (auto _ : state) {
        defaults->setInteger(++i, "mypoints");
        defaults->synchronize();
    }
}
BENCHMARK(BM_SettingsFlush);

void BM_PlistParse(benchmark::State& state) {
    auto format = state.range(0) ? plat::PropertyList::Format::Binary : plat::PropertyList::Format::Xml;
    auto bytes =
        plat::PropertyList::serialize(settingsLike(static_cast<int>(state.range(1))), format).value();
    for (auto _ : state) benchmark::DoNotOptimize(plat::PropertyList::parse(bytes.data(), bytes.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_PlistParse)->Args({0, 30})->Args({1, 30})->Args({0, 3000})->Args({1, 3000});

}  // namespace
