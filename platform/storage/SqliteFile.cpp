#include "platform/storage/SqliteFile.h"

#include <sqlite3.h>

#include <cstring>
#include <utility>

#include "platform/base/Clock.h"

namespace plat {

static_assert(SqliteFile::kOk == SQLITE_OK && SqliteFile::kError == SQLITE_ERROR &&
              SqliteFile::kBusy == SQLITE_BUSY && SqliteFile::kCorrupt == SQLITE_CORRUPT &&
              SqliteFile::kCantOpen == SQLITE_CANTOPEN && SqliteFile::kMisuse == SQLITE_MISUSE &&
              SqliteFile::kNotADatabase == SQLITE_NOTADB && SqliteFile::kRow == SQLITE_ROW &&
              SqliteFile::kDone == SQLITE_DONE && SqliteFile::kReadOnlyDbMoved == SQLITE_READONLY_DBMOVED);

bool SqliteFile::isDamage(int code) {
    int primary = primaryCode(code);
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// Statement

SqliteFile::Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

SqliteFile::Statement::Statement(Statement&& other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)), prepareCode_(other.prepareCode_) {}

SqliteFile::Statement& SqliteFile::Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        stmt_ = std::exchange(other.stmt_, nullptr);
        prepareCode_ = other.prepareCode_;
    }
    return *this;
}

int SqliteFile::Statement::bindNull(int index) {
    return sqlite3_bind_null(stmt_, index);
}

int SqliteFile::Statement::bindInt64(int index, int64_t value) {
    return sqlite3_bind_int64(stmt_, index, value);
}

int SqliteFile::Statement::bindDouble(int index, double value) {
    return sqlite3_bind_double(stmt_, index, value);
}

int SqliteFile::Statement::bindText(int index, std::string_view text) {
    return sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

int SqliteFile::Statement::bindBlob(int index, const void* data, size_t size) {
    return sqlite3_bind_blob64(stmt_, index, size ? data : "", size, SQLITE_TRANSIENT);
}

int SqliteFile::Statement::step() {
    return stmt_ ? sqlite3_step(stmt_) : SQLITE_MISUSE;
}

void SqliteFile::Statement::reset() {
    if (!stmt_) return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

int SqliteFile::Statement::columnCount() const {
    return sqlite3_column_count(stmt_);
}

bool SqliteFile::Statement::columnIsNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

int64_t SqliteFile::Statement::columnInt64(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

double SqliteFile::Statement::columnDouble(int column) const {
    return sqlite3_column_double(stmt_, column);
}

std::string SqliteFile::Statement::columnText(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
}

const uint8_t* SqliteFile::Statement::columnBlob(int column, size_t* size) const {
    const auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, column));
    *size = blob ? static_cast<size_t>(sqlite3_column_bytes(stmt_, column)) : 0;
    return blob;
}

// Transaction

SqliteFile::Transaction::Transaction(SqliteFile& file) : file_(file) {
    if (!file_.isOpen()) return;
    Lease begin(file_.cached("BEGIN IMMEDIATE"));
    begun_ = begin.ok() && begin->step() == SQLITE_DONE;
}

SqliteFile::Transaction::~Transaction() {
    rollback();
}

bool SqliteFile::Transaction::commit() {
    if (!begun_) return false;
    if (!file_.isOpen() || !file_.inTransaction()) {
        begun_ = false;
        return false;
    }
    Lease commit(file_.cached("COMMIT"));
    if (!commit.ok() || commit->step() != SQLITE_DONE) return false;
    begun_ = false;
    return true;
}

void SqliteFile::Transaction::rollback() {
    if (!begun_) return;
    begun_ = false;
    if (file_.isOpen() && file_.inTransaction()) file_.exec("ROLLBACK");
}

// SqliteFile

SqliteFile::~SqliteFile() {
    close();
}

bool SqliteFile::close() {
    if (!db_) return true;
    cache_.clear();
    bool closed = sqlite3_close(db_) == SQLITE_OK;
    if (!closed) {
        openCode_ = sqlite3_extended_errcode(db_);
        openMessage_ = sqlite3_errmsg(db_);
        sqlite3_close_v2(db_);
    }
    db_ = nullptr;
    return closed;
}

SqliteFile::OpenStatus SqliteFile::failOpen(Stage stage, int code, std::string message) {
    failedStage_ = stage;
    openCode_ = code;
    openMessage_ = std::move(message);
    close();
    return isDamage(code) ? OpenStatus::Damaged : OpenStatus::Failed;
}

SqliteFile::OpenStatus SqliteFile::open(const std::filesystem::path& path, const Options& options) {
    close();
    path_ = path;
    failedStage_ = Stage::None;
    openCode_ = SQLITE_OK;
    openMessage_.clear();
    int flags = options.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        int code = db_ ? sqlite3_extended_errcode(db_) : rc;
        std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        return failOpen(Stage::Open, code, std::move(message));
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, options.busyTimeoutMillis);
    if (!options.quickCheck) return OpenStatus::Open;
    Statement check = prepare("PRAGMA quick_check");
    if (!check.ok()) return failOpen(Stage::CheckPrepare, errorCode(), errorMessage());
    if (check.step() != SQLITE_ROW) return failOpen(Stage::CheckStep, errorCode(), errorMessage());
    std::string verdict = check.columnIsNull(0) ? "(null)" : check.columnText(0);
    if (verdict != "ok") return failOpen(Stage::CheckVerdict, SQLITE_CORRUPT, "quick check: " + verdict);
    return OpenStatus::Open;
}

SqliteFile::OpenStatus SqliteFile::open(const std::filesystem::path& path) {
    return open(path, Options{});
}

SqliteFile::OpenStatus SqliteFile::openReplacingDamaged(const std::filesystem::path& path,
                                                        const Options& options,
                                                        const std::function<OpenStatus()>& prepare,
                                                        const SetAsideReport& report) {
    for (int attempt = 0;; ++attempt) {
        OpenStatus status = open(path, options);
        if (status == OpenStatus::Open && prepare) {
            status = prepare();
            if (status != OpenStatus::Open) close();
        }
        if (status != OpenStatus::Damaged || attempt > 0) return status;
        std::error_code error;
        setAside(path, error);
        if (report) report(path, error);
        if (error) return OpenStatus::Failed;
    }
}

int SqliteFile::errorCode() const {
    return db_ ? sqlite3_extended_errcode(db_) : openCode_;
}

std::string SqliteFile::errorMessage() const {
    return db_ ? std::string(sqlite3_errmsg(db_)) : openMessage_;
}

int SqliteFile::execute(const std::string& sql) {
    if (!db_) return SQLITE_MISUSE;
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
}

SqliteFile::Statement SqliteFile::prepare(const std::string& sql) {
    Statement statement;
    if (!db_) return statement;
    statement.prepareCode_ =
        sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &statement.stmt_, nullptr);
    if (statement.prepareCode_ != SQLITE_OK) {
        sqlite3_finalize(statement.stmt_);
        statement.stmt_ = nullptr;
    } else if (!statement.stmt_) {
        // Only white space or a comment: nothing to run.
        statement.prepareCode_ = SQLITE_MISUSE;
    }
    return statement;
}

SqliteFile::Statement* SqliteFile::cached(const std::string& sql) {
    auto it = cache_.find(sql);
    if (it != cache_.end()) return &it->second;
    Statement statement = prepare(sql);
    if (!statement.ok()) return nullptr;
    return &cache_.emplace(sql, std::move(statement)).first->second;
}

void SqliteFile::cache(const std::string& sql, Statement statement) {
    if (!statement.ok()) {
        dropCached(sql);
        return;
    }
    cache_.insert_or_assign(sql, std::move(statement));
}

void SqliteFile::dropCached(const std::string& sql) {
    cache_.erase(sql);
}

int64_t SqliteFile::lastInsertRowId() const {
    return db_ ? sqlite3_last_insert_rowid(db_) : 0;
}

int SqliteFile::changes() const {
    return db_ ? sqlite3_changes(db_) : 0;
}

bool SqliteFile::inTransaction() const {
    return db_ && !sqlite3_get_autocommit(db_);
}

bool SqliteFile::hasMoved() const {
    int moved = 0;
    return db_ && sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved;
}

std::filesystem::path SqliteFile::setAside(const std::filesystem::path& path, std::error_code& error) {
    std::string aside = path.string() + ".damaged-" + std::to_string(Clock::shared().nowMicros());
    std::filesystem::rename(path, aside, error);
    if (error) return {};
    // The log holds commits not yet in the file: it goes along.
    for (const char* suffix : kSideFileSuffixes) {
        std::error_code ignored;
        std::filesystem::path side = path.string() + suffix;
        if (std::filesystem::exists(side, ignored)) std::filesystem::rename(side, aside + suffix, ignored);
    }
    return aside;
}

void SqliteFile::removeWithSideFiles(const std::filesystem::path& path) {
    // The side files first: stopped midway, this leaves at worst a file without its newest commits, never
    // a log without its file.
    std::error_code ignored;
    for (const char* suffix : kSideFileSuffixes) std::filesystem::remove(path.string() + suffix, ignored);
    std::filesystem::remove(path, ignored);
}

}  // namespace plat
