// Rows of the data layer's saved-entry database, as a damaged or foreign file may hold them: any keys and
// blobs put into a real database give, on loading, entries or skipped rows, never a crash; every entry
// holds a data-layer value; clearing by a key's prefix leaves no key at or below it.
//
// Input: records of [key length: 1 byte][key][blob length: 2 bytes, little-endian][blob], to the end.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "platform/base/Log.h"
#include "platform/storage/Paths.h"
#include "platform/storage/SqliteFile.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/datalayer/ZAVDataLayerPersistentStoreImpl.h"
#include "tests/fuzz/fuzz_scratch.h"

namespace {

struct Row {
    std::string key;
    std::string blob;
};

std::vector<Row> parseRows(const uint8_t* data, size_t size) {
    std::vector<Row> rows;
    size_t at = 0;
    while (at < size) {
        size_t keyLength = data[at++];
        keyLength = std::min(keyLength, size - at);
        std::string key(reinterpret_cast<const char*>(data + at), keyLength);
        at += keyLength;
        size_t blobLength = 0;
        if (at + 2 <= size) {
            blobLength = data[at] | (size_t(data[at + 1]) << 8);
            at += 2;
        } else {
            at = size;
        }
        blobLength = std::min(blobLength, size - at);
        rows.push_back({std::move(key), std::string(reinterpret_cast<const char*>(data + at), blobLength)});
        at += blobLength;
    }
    return rows;
}

class Collect : public ZAVDataLayerPersistentStoreCallback {
  public:
    void onKeyValuesLoaded(const std::vector<ZAVKeyValue>& values) override { result.set_value(values); }
    std::promise<std::vector<ZAVKeyValue>> result;
};

std::vector<ZAVKeyValue> load(ZAVDataLayerPersistentStoreImpl& store) {
    auto collect = std::make_shared<Collect>();
    auto future = collect->result.get_future();
    store.loadSaved(collect);
    return future.get();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool setUp = [] {
        plat::setLogSink([](plat::LogLevel, const std::string&) {});
        ZAVLog::setLogger(nullptr);
        std::filesystem::path home = fuzzScratchFile("home");
        return plat::Paths::setHome(home);
    }();
    if (!setUp) std::abort();
    std::filesystem::path path = plat::Paths::library() / ZAVDataLayerPersistentStoreImpl::kDatabaseName;
    std::error_code error;
    std::filesystem::remove(path, error);

    ZAVDataLayerPersistentStoreImpl store;
    load(store);  // lays out the table
    auto rows = parseRows(data, size);
    {
        plat::SqliteFile db;
        if (db.open(path, {.busyTimeoutMillis = 0, .quickCheck = false}) !=
            plat::SqliteFile::OpenStatus::Open)
            std::abort();
        auto insert = db.prepare("INSERT INTO datalayer (key, value, expires) VALUES (?, ?, ?)");
        if (!insert.ok()) std::abort();
        for (const auto& row : rows) {
            insert.bindText(1, row.key);
            insert.bindBlob(2, row.blob.data(), row.blob.size());
            insert.bindInt64(3, INT64_MAX);
            insert.step();
            insert.reset();
        }
    }

    auto loaded = load(store);
    if (loaded.size() > rows.size()) std::abort();
    for (const auto& entry : loaded) {
        const auto& value = entry.value();
        if (!value || value->isValue() || value == ZAVObject::notPresent()) std::abort();
    }
    if (!rows.empty() && rows.front().key.find('\0') == std::string::npos) {
        const std::string& prefix = rows.front().key;
        store.clearKeysWithPrefix(prefix);
        for (const auto& entry : load(store)) {
            const std::string& key = entry.key();
            if (key == prefix || key.rfind(prefix + ".", 0) == 0) std::abort();
        }
    }
    return 0;
}
