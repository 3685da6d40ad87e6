#pragma once
// One SQLite database file, the one way the project talks to SQLite: opened with a busy time-out and,
// unless asked otherwise, a quick integrity check; a file SQLite finds damaged may be set aside (kept,
// never deleted, so nothing in it is lost) and a new one started in its place, and what SQLite would drop of
// a write-ahead log is kept aside first. Statements and transactions are scoped objects, so an early return
// never leaves one prepared or open. Not thread-safe: each connection is used by one thread at a time.
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace plat {

class SqliteFile {
  public:
    // SQLite's result codes the project looks at (primary codes; extended codes are on, so compare a
    // failure through primaryCode()).
    static constexpr int kOk = 0;
    static constexpr int kError = 1;
    static constexpr int kBusy = 5;
    static constexpr int kCorrupt = 11;
    static constexpr int kCantOpen = 14;
    static constexpr int kMisuse = 21;
    static constexpr int kNotADatabase = 26;
    static constexpr int kRow = 100;
    static constexpr int kDone = 101;
    static constexpr int kReadOnlyDbMoved = 1032;

    static int primaryCode(int code) { return code & 0xFF; }
    // Not a database, or corrupt: the codes that allow a file to be set aside.
    static bool isDamage(int code);
    // A value SQLite will not store (too big, a constraint, a type or a bind index it refuses): a step that
    // fails so would fail alike on every try.
    static bool refusesValue(int code);

    struct Options {
        // How long a statement waits for another connection's lock before it fails as busy.
        int busyTimeoutMillis = 250;
        // Runs "PRAGMA quick_check" at the open; anything but "ok" is damage.
        bool quickCheck = true;
        bool readOnly = false;
    };

    enum class OpenStatus {
        Open,
        // SQLite reports the file damaged (not a database, corrupt, quick check not "ok"), or the
        // owner's check found another layout: only such a file may be set aside.
        Damaged,
        // Anything else (busy, locked, unreadable, full): the file must be kept.
        Failed,
    };

    // Where an open failed: SQLite could not open the file at all, the quick check could not be
    // prepared or run, or it ran and did not say "ok". Before the open (see openReplacingDamaged): Log, the
    // write-ahead log beside the file was found refused or orphaned; Emptied, the file was found at 0 bytes.
    enum class Stage { None, Open, CheckPrepare, CheckStep, CheckVerdict, Log, Emptied };

    // A prepared statement, finalised when it goes out of scope. Steps and binds give SQLite's codes.
    class Statement {
      public:
        Statement() = default;
        ~Statement();
        Statement(Statement&& other) noexcept;
        Statement& operator=(Statement&& other) noexcept;
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;

        bool ok() const { return stmt_ != nullptr; }
        // The code of the prepare (kOk for a statement that was prepared).
        int prepareCode() const { return prepareCode_; }

        int bindNull(int index);
        int bindInt64(int index, int64_t value);
        int bindDouble(int index, double value);
        int bindText(int index, std::string_view text);
        // A zero-length blob stays a blob, not null.
        int bindBlob(int index, const void* data, size_t size);

        int step();
        // Ready to run again, with its bindings cleared.
        void reset();

        int columnCount() const;
        bool columnIsNull(int column) const;
        int64_t columnInt64(int column) const;
        double columnDouble(int column) const;
        // Empty for null.
        std::string columnText(int column) const;
        // The blob's bytes, valid until the next step or reset; null with size 0 for null or empty.
        const uint8_t* columnBlob(int column, size_t* size) const;

      private:
        friend class SqliteFile;
        sqlite3_stmt* stmt_ = nullptr;
        int prepareCode_ = kMisuse;
    };

    // A statement of the file's cache in use: reset, its bindings cleared, when the use ends.
    class Lease {
      public:
        explicit Lease(Statement* statement) : statement_(statement) {}
        ~Lease() {
            if (statement_) statement_->reset();
        }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        bool ok() const { return statement_ != nullptr; }
        Statement* operator->() const { return statement_; }
        Statement& operator*() const { return *statement_; }

      private:
        Statement* statement_;
    };

    // "BEGIN IMMEDIATE" at construction; rolled back at scope exit unless committed. A transaction that
    // could not begin (busy) is not begun(), and the statements that follow then commit one by one.
    class Transaction {
      public:
        explicit Transaction(SqliteFile& file);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        bool begun() const { return begun_; }
        // False when the commit failed; the transaction is then rolled back at scope exit (read the
        // file's error first).
        bool commit();
        void rollback();

      private:
        SqliteFile& file_;
        bool begun_ = false;
    };

    SqliteFile() = default;
    // Closes the connection; an open transaction is rolled back.
    ~SqliteFile();
    SqliteFile(const SqliteFile&) = delete;
    SqliteFile& operator=(const SqliteFile&) = delete;

    // Opens (creating it unless read-only) and checks the file; an open file is closed first.
    OpenStatus open(const std::filesystem::path& path, const Options& options);
    OpenStatus open(const std::filesystem::path& path);
    // Reports a file set aside: the path it had, and the failure to move (or copy) it, empty when it went.
    using SetAsideReport =
        std::function<void(const std::filesystem::path& path, const std::error_code& error)>;
    // Opens the file and runs `prepare` (the owner's layout check and set-up, may be empty) on it. A file
    // found damaged by either is closed, set aside, reported, and a new one opened and prepared in its
    // place, once. When it cannot be set aside the result is Failed.
    //
    // First the file and its write-ahead log are looked at, before SQLite can drop or overwrite anything,
    // and reported as damage (failedStage() and errorMessage() say what is lost) when something would be
    // lost: an existing file of 0 bytes (Stage::Emptied; SQLite never leaves one once it has written to it)
    // goes aside with its side files, and so does the whole set when a log lies beside an empty or missing
    // file (Stage::Log; SQLite deletes such a log); a new file is started. A log with a frame that fails its
    // check and commits after it (Stage::Log; SQLite drops them) is copied aside with the file, then the
    // file is opened with its log, keeping what SQLite keeps (the commits before that frame), and the log
    // is emptied into it; where the copy cannot be made the open goes on all the same and the message says
    // the damaged part was not kept. A log that merely ends in a torn frame is a write cut short, not damage.
    // A file this call made and left empty is removed. Checked opens of one path in this process take
    // turns; no other connection may use the file meanwhile.
    OpenStatus openReplacingDamaged(const std::filesystem::path& path, const Options& options,
                                    const std::function<OpenStatus()>& prepare, const SetAsideReport& report);
    // False when a statement of the caller's was still out: SQLite then closes once it is finalised.
    bool close();
    bool isOpen() const { return db_ != nullptr; }

    // Hears each commit that reached the write-ahead log, with the log's length in pages; kept across
    // opens. SQLite still folds a log of kAutoCheckpointPages or more into the file by itself.
    void setCommitObserver(std::function<void(int logPages)> observer) {
        commitObserver_ = std::move(observer);
    }
    static constexpr int kAutoCheckpointPages = 1000;
    // Copies the commits in the write-ahead log into the file, without waiting for or holding up other
    // connections (the next commit then starts the log afresh); true when all of them went in, and when
    // there is no log.
    bool checkpoint();
    const std::filesystem::path& path() const { return path_; }

    // The last failure's extended code and message: of the connection when open, else of the last open
    // or close.
    int errorCode() const;
    std::string errorMessage() const;
    // Where the last open failed.
    Stage failedStage() const { return failedStage_; }

    // Runs one or more statements; the code of the first failure, or kOk.
    int execute(const std::string& sql);
    bool exec(const std::string& sql) { return execute(sql) == kOk; }
    // Prepared for the caller; not ok() (and the code kept) when it cannot be.
    Statement prepare(const std::string& sql);
    // The file's statement for the text, prepared at its first use and kept until it is dropped or the
    // file closes; null when it cannot be prepared (nothing is kept then).
    Statement* cached(const std::string& sql);
    // Keeps `statement` for the text, in place of any kept before; an empty one drops it.
    void cache(const std::string& sql, Statement statement);
    void dropCached(const std::string& sql);
    void dropAllCached() { cache_.clear(); }
    size_t cachedCount() const { return cache_.size(); }

    int64_t lastInsertRowId() const;
    int changes() const;
    bool inTransaction() const;
    // Whether the file was removed or renamed under the open connection.
    bool hasMoved() const;

    // What SQLite keeps beside a file: the write-ahead log, its index, and a rollback journal.
    static constexpr std::array<const char*, 3> kSideFileSuffixes = {"-wal", "-shm", "-journal"};
    // Moves a file and its side files to "<name>.damaged-<micros>" (kept, so nothing in it is lost, and so
    // no log or journal is ever rolled into a new file of that name), or to "-2", "-3", ... after it when
    // that name is taken: no set-aside replaces another. The new path, empty when nothing could be moved;
    // `error` is set when anything stayed.
    static std::filesystem::path setAside(const std::filesystem::path& path, std::error_code& error);
    // Removes a file's side files, then the file; errors are ignored.
    static void removeWithSideFiles(const std::filesystem::path& path);

  private:
    OpenStatus failOpen(Stage stage, int code, std::string message);
    static int onLogCommit(void* self, sqlite3* db, const char* schema, int pages);

    std::filesystem::path path_;
    sqlite3* db_ = nullptr;
    // Finalised by close(), before the connection goes.
    std::unordered_map<std::string, Statement> cache_;
    int openCode_ = kOk;
    std::string openMessage_;
    Stage failedStage_ = Stage::None;
    std::function<void(int)> commitObserver_;
};

}  // namespace plat
