#pragma once
// The hit store's layout in SQLite: table "ZAVHit" (one row per queued hit URL, dates as seconds since
// 1970), its indexes, and the file's version in PRAGMA user_version (2; version 1 lacks
// lastDispatchTime and is migrated in place with its hits kept). Opening a file that is not such a store
// sets it aside ("<name>.damaged-<micros>", kept so nothing in it is lost) and starts an empty one.
// Everything here runs on ZAVThread.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/storage/SqliteFile.h"

struct ZAVHit {
    int64_t objectId = 0;  // the row id
    std::optional<std::string> dispatchURL;
    double timestamp = 0;                    // when it was queued
    std::optional<double> dispatchTime;      // first failed send
    std::optional<int64_t> retryCount;       // kept in the layout, never used
    std::optional<double> lastDispatchTime;  // last failed send
};

class ZAVModel {
  public:
    static constexpr int kCurrentVersion = 2;
    static constexpr int kPreviousVersion = 1;
    static constexpr const char* kEntityName = "ZAVHit";

    ZAVModel() = delete;

    // The statements that lay out an empty file at `version` (1 or 2).
    static std::vector<std::string> schemaSql(int version);

    // An open connection on a store at `path`, created, migrated or, when the file is damaged or holds
    // something else, set aside and started afresh; null (logged) when no store can be had.
    static std::unique_ptr<plat::SqliteFile> contextWithPath(const std::filesystem::path& path);
    // Adds lastDispatchTime to a version-1 store in one transaction.
    static bool migrateToCurrentVersion(plat::SqliteFile& db);

    // Oldest first (timestamp, then row id); `limit` 0 is no limit. With `lastDispatchedBefore` only
    // hits that never failed or last failed at or before it. Empty with `ok` false on error.
    static std::vector<ZAVHit> requestHits(plat::SqliteFile* db, uint64_t limit,
                                           std::optional<double> lastDispatchedBefore, bool* ok);
    // -1 on error.
    static int64_t hitCount(plat::SqliteFile* db);

    // The log line of a tag-manager store (`what`, e.g. "Hit store") found damaged and set aside, or
    // that could not be moved.
    static void logSetAside(const std::string& what, const std::filesystem::path& path,
                            const std::error_code& error);
};
