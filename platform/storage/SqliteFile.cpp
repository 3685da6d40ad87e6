#include "platform/storage/SqliteFile.h"

#include <sqlite3.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "platform/base/Clock.h"
#include "platform/base/Descriptors.h"
#include "platform/base/Lasting.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/FileManager.h"

namespace plat {

static_assert(SqliteFile::kOk == SQLITE_OK && SqliteFile::kError == SQLITE_ERROR &&
              SqliteFile::kBusy == SQLITE_BUSY && SqliteFile::kCorrupt == SQLITE_CORRUPT &&
              SqliteFile::kCantOpen == SQLITE_CANTOPEN && SqliteFile::kMisuse == SQLITE_MISUSE &&
              SqliteFile::kNotADatabase == SQLITE_NOTADB && SqliteFile::kRow == SQLITE_ROW &&
              SqliteFile::kDone == SQLITE_DONE && SqliteFile::kReadOnlyDbMoved == SQLITE_READONLY_DBMOVED);

namespace {

// A write-ahead log: a 32-byte header, then frames of a 24-byte header and one page each.
constexpr size_t kLogHeaderSize = 32;
constexpr size_t kFrameHeaderSize = 24;

uint32_t bigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The log's running checksum over pairs of 32-bit words, in the byte order its magic number names.
struct LogChecksum {
    bool bigEndianWords;
    uint32_t s1 = 0, s2 = 0;
    void add(const uint8_t* data, size_t size) {
        for (size_t i = 0; i + 8 <= size; i += 8) {
            s1 += word(data + i) + s2;
            s2 += word(data + i + 4) + s1;
        }
    }
    uint32_t word(const uint8_t* p) const {
        return bigEndianWords ? bigEndian32(p) : p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
    }
    bool matches(const uint8_t* stored) const {
        return bigEndian32(stored) == s1 && bigEndian32(stored + 4) == s2;
    }
};

// What is found beside and in a file before SQLite opens it: a log it would drop whole (Orphaned) or in
// part (Refused), or a file emptied to 0 bytes, which SQLite never leaves once it has written the first page.
enum class Finding { Fine, Orphaned, Refused, Emptied };

bool isEmptyFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) == 0 && !ec;
}

// What SQLite would make of the file and its log, read before it opens them; `why` says what is lost.
Finding inspect(const std::filesystem::path& path, std::string& why) {
    std::error_code ec;
    const std::string log = path.string() + "-wal";
    const uintmax_t logSize = std::filesystem::file_size(log, ec);
    if (ec || logSize == 0) {
        if (isEmptyFile(path)) {
            why = "the file was found emptied to 0 bytes: all it held is lost";
            return Finding::Emptied;
        }
        return Finding::Fine;
    }
    const uintmax_t fileSize = std::filesystem::file_size(path, ec);
    if (ec || fileSize == 0) {
        why =
            "a write-ahead log of " + std::to_string(logSize) + " bytes lies beside an empty or missing file";
        return Finding::Orphaned;
    }
    // Read whole, as every stored file is. One that cannot be read now is left to SQLite, which keeps it;
    // without a whole header there is no frame, so nothing to lose.
    const FileManager::ReadResult read = FileManager::readFile(log);
    if (!read.read() || read.bytes.size() <= kLogHeaderSize) return Finding::Fine;
    const uint8_t* header = read.bytes.data();
    const uint32_t magic = bigEndian32(header);
    const uint32_t pageSize = bigEndian32(header + 8);
    LogChecksum sum{(magic & 1) != 0};
    sum.add(header, kLogHeaderSize - 8);
    if ((magic & ~1u) != 0x377f0682 || bigEndian32(header + 4) != 3007000 || pageSize < 512 ||
        pageSize > 65536 || (pageSize & (pageSize - 1)) != 0 || !sum.matches(header + 24)) {
        why = "the header of its write-ahead log of " + std::to_string(logSize) + " bytes is damaged";
        return Finding::Refused;
    }
    // SQLite replays the frames up to the first whose salts or checksum fail. A later frame with this
    // log's salts was written since, and a commit among those is what it would drop; a log that merely
    // ends in a torn frame is a write cut short.
    const size_t frameSize = kFrameHeaderSize + pageSize;
    uint64_t failed = 0;
    uint64_t n = 1;
    for (size_t at = kLogHeaderSize; at + frameSize <= read.bytes.size(); at += frameSize, ++n) {
        const uint8_t* frame = read.bytes.data() + at;
        const bool ours = std::memcmp(frame + 8, header + 16, 8) == 0;
        if (failed == 0) {
            LogChecksum next = sum;
            next.add(frame, 8);
            next.add(frame + kFrameHeaderSize, pageSize);
            if (ours && bigEndian32(frame) != 0 && next.matches(frame + 16)) {
                sum = next;
                continue;
            }
            failed = n;
        } else if (ours && bigEndian32(frame + 4) != 0) {
            why = "frame " + std::to_string(failed) +
                  " of its write-ahead log fails its check, and commits written after it are dropped";
            return Finding::Refused;
        }
    }
    return Finding::Fine;
}

// Set-aside names are "<store>.damaged-<microseconds>", and "-2", "-3", ... after them when taken.
constexpr char kAsideStem[] = ".damaged-";

// The clock may stand still (the headless one starts every launch at the same instant): FileManager picks a
// free name all the same.
std::string asideSuffix() {
    return kAsideStem + std::to_string(Clock::shared().nowMicros());
}

// Copies the file with its log aside, as a pair that still reads together; both stay where they are. The
// log's index is not copied: SQLite rebuilds it from the log.
constexpr std::array<const char*, 1> kLog = {"-wal"};
std::filesystem::path keepLogAside(const std::filesystem::path& path, std::error_code& error) {
    return FileManager::copyAside(path, asideSuffix(), kLog, error);
}

// Checked opens of one path run one at a time in this process: a file that another one has just made stays
// empty until its owner's set-up writes to it, and must not be taken for an emptied store meanwhile.
class PathTurn {
  public:
    explicit PathTurn(const std::filesystem::path& path) : path_(path.string()) {
        Turns& t = turns();
        std::unique_lock lock(t.mutex);
        t.ended.wait(lock, [&] { return !t.busy.count(path_); });
        t.busy.insert(path_);
    }
    ~PathTurn() {
        Turns& t = turns();
        std::lock_guard lock(t.mutex);
        t.busy.erase(path_);
        t.ended.notify_all();
    }
    PathTurn(const PathTurn&) = delete;
    PathTurn& operator=(const PathTurn&) = delete;

  private:
    struct Turns {
        std::mutex mutex;
        std::condition_variable ended;
        std::set<std::string> busy;
    };
    // A thread may open a store while the process exits.
    static Turns& turns() {
        static Lasting<Turns> shared;
        return *shared;
    }
    std::string path_;
};

// A file this open made that is still empty is removed, so that it is never taken for an emptied store.
void removeIfEmpty(const std::filesystem::path& path) {
    std::error_code ignored;
    if (isEmptyFile(path)) std::filesystem::remove(path, ignored);
}

}  // namespace

bool SqliteFile::isDamage(int code) {
    int primary = primaryCode(code);
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

bool SqliteFile::refusesValue(int code) {
    int primary = primaryCode(code);
    return primary == SQLITE_TOOBIG || primary == SQLITE_CONSTRAINT || primary == SQLITE_MISMATCH ||
           primary == SQLITE_RANGE;
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
    if (db_ && isOutOfDescriptors(sqlite3_system_errno(db_)))
        noteOutOfDescriptors("a store could not open its file");
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
    sqlite3_wal_hook(db_, &SqliteFile::onLogCommit, this);
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
    PathTurn turn(path);
    // A copy aside cut short by a kill left its temporaries, and maybe a log copied without its file.
    removeStaleTemporaryFiles(path);
    FileManager::removeUnplacedCopies(path, kAsideStem, kLog);
    std::string why;
    const Finding finding = inspect(path, why);
    if (finding != Finding::Fine) {
        close();
        path_ = path;
        std::error_code error;
        if (finding == Finding::Refused) {
            const std::filesystem::path aside = keepLogAside(path, error);
            why += error ? "; the log's damaged part was not kept: it could not be copied aside (" +
                               error.message() + ")"
                         : "; the file and its log are kept aside as " + aside.filename().string();
        } else {
            setAside(path, error);
        }
        failedStage_ = finding == Finding::Emptied ? Stage::Emptied : Stage::Log;
        openCode_ = SQLITE_CORRUPT;
        openMessage_ = std::move(why);
        if (report) report(path, error);
        // A refused log is opened all the same, kept aside or not: SQLite keeps the commits before the frame
        // that fails. Anything else not set aside would be dropped or taken for a new file.
        if (error && finding != Finding::Refused) return OpenStatus::Failed;
    }
    for (int attempt = 0;; ++attempt) {
        std::error_code ec;
        const bool isNew = !std::filesystem::exists(path, ec) && !ec;
        OpenStatus status = open(path, options);
        // The log's good commits go into the file and the log is emptied, so its damaged tail (kept aside,
        // or lost as SQLite would lose it) is not found again at every open.
        if (status == OpenStatus::Open && attempt == 0 && finding == Finding::Refused)
            sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        if (status == OpenStatus::Open && prepare) {
            status = prepare();
            if (status != OpenStatus::Open) close();
        }
        if (status != OpenStatus::Damaged || attempt > 0) {
            if (status != OpenStatus::Open && isNew) removeIfEmpty(path);
            return status;
        }
        std::error_code error;
        setAside(path, error);
        if (report) report(path, error);
        if (error) return OpenStatus::Failed;
    }
}

int SqliteFile::onLogCommit(void* self, sqlite3* db, const char* schema, int pages) {
    // What SQLite does by itself when nobody listens: a long log is folded into the file at once.
    if (pages >= kAutoCheckpointPages)
        sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    auto* file = static_cast<SqliteFile*>(self);
    if (file->commitObserver_) file->commitObserver_(pages);
    return SQLITE_OK;
}

bool SqliteFile::checkpoint() {
    if (!db_) return false;
    int logFrames = 0, copied = 0;
    return sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logFrames, &copied) ==
               SQLITE_OK &&
           copied == logFrames;
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
    // The log holds commits not yet in the file: it goes along, and a log left without its file goes all
    // the same.
    return FileManager::moveAside(path, asideSuffix(), kSideFileSuffixes, error);
}

void SqliteFile::removeWithSideFiles(const std::filesystem::path& path) {
    // The side files first: stopped midway, this leaves at worst a file without its newest commits, never
    // a log without its file.
    std::error_code ignored;
    for (const char* suffix : kSideFileSuffixes) std::filesystem::remove(path.string() + suffix, ignored);
    std::filesystem::remove(path, ignored);
}

}  // namespace plat
