#include "analytics/store/RUVAnalyticsPropertiesStore.h"

#include "analytics/base/RUVStringUtil.h"
#include "analytics/base/RUVWorker.h"
#include "analytics/store/RUVSqlStore.h"
#include "platform/base/Clock.h"

namespace {

constexpr const char* kTid = "tid";
constexpr const char* kCid = "cid";
constexpr const char* kHitNumber = "hit_number";
constexpr const char* kLastModified = "last_modified_time_since_1970";
constexpr const char* kCheckedIAd = "checked_iad_campaign";

using Lease = plat::SqliteFile::Lease;

}  // namespace

RUVAnalyticsPropertiesStore& RUVAnalyticsPropertiesStore::sharedInstance() {
    static RUVAnalyticsPropertiesStore* shared =
        new RUVAnalyticsPropertiesStore(&RUVSqlStore::sharedInstance());
    return *shared;
}

RUVAnalyticsPropertiesStore::RUVAnalyticsPropertiesStore(RUVSqlStore* sqlStore)
    : sqlStore_(sqlStore),
      columns_{{kTid, "TEXT PRIMARY KEY NOT NULL"},
               {kCid, "TEXT NOT NULL"},
               {kHitNumber, "INTEGER NOT NULL"},
               {kLastModified, "REAL NOT NULL"},
               {kCheckedIAd, "INTEGER NOT NULL"}} {
    schemaSql_ = ruvFormat("CREATE TABLE IF NOT EXISTS %s (", kTableName);
    for (const auto& [name, declaration] : columns_)
        schemaSql_ += ruvFormat("'%s' %s, ", name.c_str(), declaration.c_str());
    schemaSql_.replace(schemaSql_.size() - 2, 2, ");");
    upsertSql_ = ruvFormat("INSERT OR REPLACE INTO %s (", kTableName);
    for (const auto& column : columns_) upsertSql_ += column.first + ", ";
    upsertSql_.replace(upsertSql_.size() - 2, 2, ") VALUES (");
    for (size_t i = 0; i < columns_.size(); ++i) upsertSql_ += "?, ";
    upsertSql_.replace(upsertSql_.size() - 2, 2, ");");
    selectSql_ = ruvFormat("SELECT * FROM %s WHERE %s=?", kTableName, kTid);
    clearSql_ = ruvFormat("DELETE FROM %s", kTableName);
    observer_ = plat::NotificationCenter::defaultCenter().addObserver(
        RUVSqlStore::kDidOpenDatabaseNotification,
        [this](const plat::Notification& n) { onOpenDatabase(n); });
}

RUVAnalyticsPropertiesStore::~RUVAnalyticsPropertiesStore() {
    plat::NotificationCenter::defaultCenter().removeObserver(observer_);
}

void RUVAnalyticsPropertiesStore::onOpenDatabase(const plat::Notification&) {
    if (!createOrValidatePropertiesTable()) RUV_LOG(RUVLogLevel::Error, "Failed to create table");
}

std::optional<std::string> RUVAnalyticsPropertiesStore::startRecord(const std::string& trackingId,
                                                                    const std::string& clientId) {
    auto record = createPropertyRecordWithTrackingId(trackingId, clientId, 0, false);
    if (!record || !upsertPropertyRecord(&*record)) return std::nullopt;
    return RUVStringUtil::intString(0);
}

std::optional<std::string> RUVAnalyticsPropertiesStore::nextHitNumberForTrackingId(
    const std::string& trackingId, const std::string& clientId) {
    if (trackingId.empty() || clientId.empty()) {
        RUV_LOG(RUVLogLevel::Error, "Received empty tracking id or client id");
        return std::nullopt;
    }
    // One transaction for the read, the limit check and the write: the number is read and stored as one
    // step, and the file is locked and committed once per hit instead of once per statement.
    const bool inTransaction = sqlStore_->beginTransaction();
    auto number = takeHitNumber(trackingId, clientId);
    if (inTransaction && !sqlStore_->commitTransaction()) return std::nullopt;
    return number;
}

std::optional<std::string> RUVAnalyticsPropertiesStore::takeHitNumber(const std::string& trackingId,
                                                                      const std::string& clientId) {
    auto record = propertyRecordForTrackingId(trackingId);
    if (!record) return startRecord(trackingId, clientId);
    const plat::Value* cid = record->find(kCid);
    if (!cid || !cid->isString() || cid->stringIf()->empty()) {
        RUV_LOG(RUVLogLevel::Error, "Record is missing client ID");
    } else if (*cid->stringIf() != clientId) {
        // Another client id: every tracking id's numbers start again.
        clearPropertiesTable();
        return startRecord(trackingId, clientId);
    }
    const plat::Value* number = record->find(kHitNumber);
    if (!number || !number->isInteger()) {
        RUV_LOG(RUVLogLevel::Error, "Record is missing hit number");
        return std::nullopt;
    }
    int64_t n = *number->integerIf();
    if (n < 0) {
        RUV_LOG(RUVLogLevel::Error, "Record has negative hit number");
        return std::nullopt;
    }
    if (n >= kMaxHitNumber) return std::nullopt;
    record->set(kHitNumber, plat::Value(n + 1));
    if (!upsertPropertyRecord(&*record)) return std::nullopt;
    return RUVStringUtil::intString(n + 1);
}

bool RUVAnalyticsPropertiesStore::setCheckedIAdCampaignForTrackingId(const std::string& trackingId) {
    auto record = propertyRecordForTrackingId(trackingId);
    const plat::Value* flag = record ? record->find(kCheckedIAd) : nullptr;
    if (!flag) {
        RUV_LOG(RUVLogLevel::Error, "Attempted to set iAd flag for tracking ID with no record");
        return false;
    }
    if (flag->toBool()) return false;
    record->set(kCheckedIAd, plat::Value(true));
    return upsertPropertyRecord(&*record);
}

plat::SqliteFile::Statement* RUVAnalyticsPropertiesStore::selectStmtWithTrackingId(
    const std::string& trackingId) {
    plat::SqliteFile::Statement* statement = sqlStore_->statementForQuery(selectSql_);
    if (!statement) {
        RUV_LOG(RUVLogLevel::Error, "Failed to construct 'select' sql statement");
        return nullptr;
    }
    statement->reset();
    if (statement->bindText(1, trackingId.c_str()) != plat::SqliteFile::kOk) {
        RUV_LOG(RUVLogLevel::Error, "Failed to bind text '%s' to select statement", trackingId.c_str());
        sqlStore_->removeStatementForQuery(selectSql_);
        return nullptr;
    }
    return statement;
}

std::optional<plat::Value::Dictionary> RUVAnalyticsPropertiesStore::propertyRecordForTrackingId(
    const std::string& trackingId) {
    if (trackingId.empty()) {
        RUV_LOG(RUVLogLevel::Error, "Received empty tracking id");
        return std::nullopt;
    }
    if (!sqlStore_->ensureOpenDatabase()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to open database");
        return std::nullopt;
    }
    Lease statement(selectStmtWithTrackingId(trackingId));
    if (!statement.ok()) return std::nullopt;
    std::optional<plat::Value::Dictionary> record;
    if (statement->step() == plat::SqliteFile::kRow) {
        record.emplace();
        record->set(kTid, plat::Value(trackingId));
        record->set(kCid, plat::Value(statement->columnText(1)));
        if (!statement->columnIsNull(2)) record->set(kHitNumber, plat::Value(statement->columnInt64(2)));
        record->set(kLastModified, plat::Value(statement->columnDouble(3)));
        record->set(kCheckedIAd, plat::Value(statement->columnInt64(4) != 0));
    } else {
        RUV_LOG(RUVLogLevel::Info, "Record for tracking id %s not found", trackingId.c_str());
    }
    return record;
}

std::optional<plat::Value::Dictionary> RUVAnalyticsPropertiesStore::createPropertyRecordWithTrackingId(
    const std::string& trackingId, const std::string& clientId, int64_t hitNumber, bool checkedIAdCampaign) {
    if (trackingId.empty() || clientId.empty()) return std::nullopt;
    return plat::Value::Dictionary{{kTid, plat::Value(trackingId)},
                                   {kCid, plat::Value(clientId)},
                                   {kHitNumber, plat::Value(hitNumber)},
                                   {kLastModified, plat::Value(plat::Clock::shared().nowSeconds())},
                                   {kCheckedIAd, plat::Value(checkedIAdCampaign)}};
}

bool RUVAnalyticsPropertiesStore::upsertPropertyRecord(plat::Value::Dictionary* record) {
    if (!record) return false;
    if (!sqlStore_->ensureOpenDatabase()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to open database");
        return false;
    }
    if (isPropertiesTableFull()) {
        RUV_LOG(RUVLogLevel::Warning, "Reached properties storage limit");
        return false;
    }
    plat::Value::Dictionary copy = *record;
    double now = plat::Clock::shared().nowSeconds();
    copy.set(kLastModified, plat::Value(now));
    plat::SqliteFile::Statement* statement = sqlStore_->statementForQuery(upsertSql_);
    if (!statement) {
        RUV_LOG(RUVLogLevel::Error, "Failed to construct 'insert/update' sql statement");
        return false;
    }
    statement->reset();
    if (!bindRecord(copy, *statement)) {
        sqlStore_->removeStatementForQuery(upsertSql_);
        return false;
    }
    Lease use(statement);
    bool done = use->step() == plat::SqliteFile::kDone;
    if (done) {
        record->set(kLastModified, plat::Value(now));
    } else {
        RUV_LOG(RUVLogLevel::Error, "Failed to insert/update hit number: %s",
                sqlStore_->errorMessage().value_or("").c_str());
    }
    return done;
}

bool RUVAnalyticsPropertiesStore::bindRecord(const plat::Value::Dictionary& record,
                                             plat::SqliteFile::Statement& statement) {
    int index = 1;
    for (const auto& [name, declaration] : columns_) {
        const plat::Value* value = record.find(name);
        if (!value) {
            RUV_LOG(RUVLogLevel::Error, "Missing parameter %s for binding", name.c_str());
            return false;
        }
        int rc;
        if (name == kTid || name == kCid) {
            rc = statement.bindText(index, value->toString().c_str());
        } else if (name == kLastModified) {
            rc = statement.bindDouble(index, value->toDouble());
        } else if (name == kCheckedIAd) {
            rc = statement.bindInt64(index, value->toBool() ? 1 : 0);
        } else {
            rc = statement.bindInt64(index, value->toInt64());
        }
        if (rc != plat::SqliteFile::kOk) {
            RUV_LOG(RUVLogLevel::Error, "Failed to bind parameter %s to sql statement", name.c_str());
            return false;
        }
        ++index;
    }
    return true;
}

bool RUVAnalyticsPropertiesStore::createOrValidatePropertiesTable() {
    if (sqlStore_->tableExists(kTableName)) {
        if (hasValidPropertyColumns()) return true;
        RUV_LOG(RUVLogLevel::Error,
                "Columns of %s table are not valid. Table will be dropped and created new.", kTableName);
        sqlStore_->dropTableWithName(kTableName);
    }
    return createPropertiesTable();
}

bool RUVAnalyticsPropertiesStore::hasValidPropertyColumns() {
    plat::SqliteFile::Statement statement =
        sqlStore_->prepareSql(ruvFormat("PRAGMA table_info('%s');", kTableName));
    if (!statement.ok()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to construct 'table info' sql statement");
        return false;
    }
    std::vector<std::string> names;
    while (statement.step() == plat::SqliteFile::kRow) names.push_back(statement.columnText(1));
    if (names.empty()) {
        RUV_LOG(RUVLogLevel::Error, "No columns found in properties table");
        return false;
    }
    for (const auto& column : columns_) {
        bool found = false;
        for (const auto& n : names) found = found || n == column.first;
        if (!found) {
            RUV_LOG(RUVLogLevel::Error, "Column not found in properties table");
            return false;
        }
    }
    return true;
}

bool RUVAnalyticsPropertiesStore::createPropertiesTable() {
    if (sqlStore_->executeSql(schemaSql_) == plat::SqliteFile::kDone) return true;
    RUV_LOG(RUVLogLevel::Error, "Failed to create properties database");
    sqlStore_->closeDatabase();
    return false;
}

bool RUVAnalyticsPropertiesStore::clearPropertiesTable() {
    if (!sqlStore_->ensureOpenDatabase()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to open database");
        return false;
    }
    Lease statement(sqlStore_->statementForQuery(clearSql_));
    if (!statement.ok()) {
        RUV_LOG(RUVLogLevel::Error, "Failed to construct 'clear' sql statement");
        return false;
    }
    return statement->step() == plat::SqliteFile::kDone;
}

uint64_t RUVAnalyticsPropertiesStore::trackerIdCount() {
    return sqlStore_->rowCountForTableWithName(kTableName);
}
