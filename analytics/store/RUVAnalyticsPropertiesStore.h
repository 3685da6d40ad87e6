#pragma once
// One row per tracking id in the table "properties" of the auxiliary SQLite file: the client id the row
// belongs to, the last hit number handed out, the time of the last change and whether the campaign
// attribution was checked. Used from "RUVThread" (the SQL store asserts it).
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/Value.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/storage/SqliteFile.h"

class RUVSqlStore;

class RUVAnalyticsPropertiesStore {
  public:
    static constexpr const char* kTableName = "properties";
    static constexpr uint64_t kStorageLimit = 1000;
    static constexpr int64_t kMaxHitNumber = 2147483647;

    // The store over the shared SQL store, made once per process.
    static RUVAnalyticsPropertiesStore& sharedInstance();

    // Observes the SQL store's open notification (from any sender) to create or check its table. The SQL
    // store must outlive this object.
    explicit RUVAnalyticsPropertiesStore(RUVSqlStore* sqlStore);
    ~RUVAnalyticsPropertiesStore();
    RUVAnalyticsPropertiesStore(const RUVAnalyticsPropertiesStore&) = delete;
    RUVAnalyticsPropertiesStore& operator=(const RUVAnalyticsPropertiesStore&) = delete;

    void onOpenDatabase(const plat::Notification& notification);
    // "0" for a new tracking id, then "1", "2", ...; empty on failure (the hit then goes without a number).
    std::optional<std::string> nextHitNumberForTrackingId(const std::string& trackingId,
                                                          const std::string& clientId);
    // True at most once per tracking id and stored row.
    bool setCheckedIAdCampaignForTrackingId(const std::string& trackingId);

    std::optional<plat::Value::Dictionary> propertyRecordForTrackingId(const std::string& trackingId);
    // The store's cached statement, bound; reset it after use.
    plat::SqliteFile::Statement* selectStmtWithTrackingId(const std::string& trackingId);
    std::optional<plat::Value::Dictionary> createPropertyRecordWithTrackingId(const std::string& trackingId,
                                                                              const std::string& clientId,
                                                                              int64_t hitNumber,
                                                                              bool checkedIAdCampaign);
    bool upsertPropertyRecord(plat::Value::Dictionary* record);
    bool bindRecord(const plat::Value::Dictionary& record, plat::SqliteFile::Statement& statement);
    bool createOrValidatePropertiesTable();
    bool hasValidPropertyColumns();
    bool createPropertiesTable();
    bool clearPropertiesTable();

    uint64_t trackerIdCount();
    uint64_t storageLimit() const { return kStorageLimit; }
    bool isPropertiesTableFull() { return trackerIdCount() >= storageLimit(); }

    RUVSqlStore* sqlStore() const { return sqlStore_; }
    const std::vector<std::pair<std::string, std::string>>& propertiesTableColumns() const {
        return columns_;
    }
    const std::string& propertiesTableSchemaSql() const { return schemaSql_; }
    const std::string& propertiesTableUpsertSql() const { return upsertSql_; }

  private:
    std::optional<std::string> startRecord(const std::string& trackingId, const std::string& clientId);
    // nextHitNumberForTrackingId's work, inside its transaction.
    std::optional<std::string> takeHitNumber(const std::string& trackingId, const std::string& clientId);

    RUVSqlStore* sqlStore_;
    std::vector<std::pair<std::string, std::string>> columns_;
    std::string schemaSql_;
    std::string upsertSql_;
    std::string selectSql_;
    std::string clearSql_;
    plat::NotificationCenter::Token observer_ = 0;
};
