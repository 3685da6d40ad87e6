#pragma once
// One SQLite connection on a store file laid out by a RUVManagedObjectModel: the hit store's stand-in for an
// object-store context. A transaction opens at the first change and commits in save(), and reads on the
// same connection see the unsaved rows. A record's id is its row id. Used on "RUVThread" only (asserted).
//
// Records travel as Value dictionaries from attribute name to value: text, 64-bit integer, date, bytes, or
// (for a transformable attribute) a dictionary of texts and null markers. A fetched record also carries
// "objectID". A key that is not an attribute of the entity throws plat::Exception("NSUnknownKeyException")
// before anything is written; SQLite failures are errors of "NSSQLiteErrorDomain" with SQLite's code.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "analytics/store/RUVCoreDataUtil.h"
#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/storage/SqliteFile.h"

struct RUVFetchRequest {
    std::string entityName;
    uint64_t fetchLimit = 0;  // 0: no limit
    // attribute = value
    std::optional<std::pair<std::string, plat::Value>> equals;
    // a date attribute at or before a time (seconds since 1970)
    std::optional<std::pair<std::string, double>> atOrBefore;
    // ascending, ties in insertion order
    std::optional<std::string> sortBy;
    // false: only "objectID"
    bool includesPropertyValues = true;
};

class RUVStoreContext {
  public:
    static constexpr const char* kErrorDomain = "NSSQLiteErrorDomain";
    static constexpr const char* kObjectIdKey = "objectID";
    static constexpr int kBusyTimeoutMillis = 250;

    // Damaged: SQLite reports the file damaged or it holds another layout; only such a file may be set
    // aside. Failed: anything else (busy, locked, unreadable, full), and the file must be kept.
    using OpenStatus = plat::SqliteFile::OpenStatus;

    RUVStoreContext(RUVManagedObjectModel model, std::filesystem::path path);
    // Closes the connection; unsaved changes are rolled back.
    ~RUVStoreContext();
    RUVStoreContext(const RUVStoreContext&) = delete;
    RUVStoreContext& operator=(const RUVStoreContext&) = delete;

    // Opens and checks the file, creating the layout in a new one; later operations open it again the same
    // way when an earlier open failed. Damage found is set aside as plat::SqliteFile::openReplacingDamaged
    // says, with the warning "Corrupted database with URL %s: %s" telling what it was and what is lost.
    OpenStatus open(std::optional<plat::Error>& error);
    void close();
    bool isOpen() const { return file_.isOpen(); }
    const std::filesystem::path& path() const { return path_; }
    const RUVManagedObjectModel& model() const { return model_; }

    // The new record's id; empty on error.
    std::optional<int64_t> insert(const std::string& entity, const plat::Value::Dictionary& values,
                                  std::optional<plat::Error>& error);
    bool update(const std::string& entity, int64_t objectId, const plat::Value::Dictionary& values,
                std::optional<plat::Error>& error);
    std::vector<plat::Value::Dictionary> fetch(const RUVFetchRequest& request,
                                               std::optional<plat::Error>& error);
    // -1 on error.
    int64_t count(const std::string& entity, std::optional<plat::Error>& error);
    // False (without error) when no such record exists.
    bool deleteObject(const std::string& entity, int64_t objectId, std::optional<plat::Error>& error);
    bool deleteAll(const std::string& entity, std::optional<plat::Error>& error);
    bool hasChanges() const { return inTransaction_; }
    bool save(std::optional<plat::Error>& error);

    // Every connection's journal settings: see open().
    static constexpr const char* kJournalPragmas = "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL";

    static void removeWithSideFiles(const std::filesystem::path& path) {
        plat::SqliteFile::removeWithSideFiles(path);
    }

    // The transformable attribute's blob: a count, then per entry the key, a kind byte (0 null marker,
    // 1 text) and the text, each length-prefixed (32-bit little-endian). Numbers are stored as their text;
    // other kinds throw NSInvalidArgumentException.
    static plat::Bytes encodeParameters(const plat::Value::Dictionary& parameters);
    // Empty for a blob that is not exactly such an encoding.
    static std::optional<plat::Value::Dictionary> decodeParameters(const uint8_t* data, size_t size);

  private:
    bool ensureOpen(std::optional<plat::Error>& error);
    // The checked file's journal settings and layout (made in a new file); `error` set on failure.
    OpenStatus prepareFile(std::optional<plat::Error>& error);
    // The file keeps each statement from its first use until close (the texts come from the model, so
    // there are few).
    plat::SqliteFile::Statement* statement(const std::string& sql) { return file_.cached(sql); }
    bool beginChange(std::optional<plat::Error>& error);
    plat::Error lastError() const;
    const RUVEntityDescription& entityOrThrow(const std::string& entity) const;
    void checkKeys(const RUVEntityDescription& entity, const plat::Value::Dictionary& values) const;

    RUVManagedObjectModel model_;
    std::filesystem::path path_;
    plat::SqliteFile file_;
    bool inTransaction_ = false;
};
