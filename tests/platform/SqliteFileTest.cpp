#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <tuple>

#include "platform/base/Log.h"
#include "platform/storage/SqliteFile.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using plat::SqliteFile;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::vector<fs::path> asides(const fs::path& file) {
    std::vector<fs::path> out;
    for (const auto& entry : fs::directory_iterator(file.parent_path()))
        if (entry.path().filename().string().rfind(file.filename().string() + ".damaged-", 0) == 0)
            out.push_back(entry.path());
    return out;
}

int64_t count(SqliteFile& file, const std::string& table) {
    auto s = file.prepare("SELECT count(*) FROM " + table);
    return s.step() == SqliteFile::kRow ? s.columnInt64(0) : -1;
}

// A file holding table t (and 100 kB beside it), and a log of three one-frame commits to t.
std::pair<std::string, std::string> threeCommitsInTheLog(const fs::path& path) {
    SqliteFile writer;
    writer.open(path);
    writer.exec(
        "PRAGMA journal_mode=WAL; CREATE TABLE t (x); CREATE TABLE pad (b);"
        "INSERT INTO pad VALUES (zeroblob(100000)); PRAGMA wal_checkpoint");
    writer.exec("INSERT INTO t VALUES (1); INSERT INTO t VALUES (2); INSERT INTO t VALUES (3)");
    return {readFile(path), readFile(path.string() + "-wal")};
}

// A byte of the page in frame `frame` (counted from 1) changed.
std::string damageFrame(std::string log, size_t frame) {
    log[32 + (frame - 1) * (24 + 4096) + 124] ^= 1;
    return log;
}

// A store whose log SQLite would drop in part (its second frame fails its check); what its file holds.
std::string withARefusedLog(const fs::path& path) {
    const auto [main, log] = threeCommitsInTheLog(path);
    writeFile(path, main);
    writeFile(path.string() + "-wal", damageFrame(log, 2));
    return main;
}

}  // namespace

TEST(SqliteFile, ADamagedFileIsSetAsideReportedOnceAndStartedEmpty) {
    TempDir dir;
    fs::path path = dir.path() / "store.sql";
    writeFile(path, std::string(4096, 'g'));
    std::vector<std::string> reports;
    SqliteFile file;
    auto status = file.openReplacingDamaged(
        path, SqliteFile::Options{}, nullptr, [&](const fs::path& p, std::error_code e) {
            reports.push_back(p.filename().string() + (e ? " failed" : ""));
        });
    ASSERT_EQ(status, SqliteFile::OpenStatus::Open);
    EXPECT_EQ(reports, std::vector<std::string>{"store.sql"});
    EXPECT_TRUE(file.exec("CREATE TABLE t (x)"));
    EXPECT_EQ(count(file, "t"), 0);
    auto moved = asides(path);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(readFile(moved[0]), std::string(4096, 'g'));
}

TEST(SqliteFile, SetAsideTakesTheLogAlong) {
    TempDir dir;
    fs::path path = dir.path() / "store.sql";
    SqliteFile writer;
    ASSERT_EQ(writer.open(path), SqliteFile::OpenStatus::Open);
    // The commit is in the log only while the writer stays open.
    ASSERT_TRUE(writer.exec("PRAGMA journal_mode=WAL; CREATE TABLE t (x); INSERT INTO t VALUES (1)"));
    ASSERT_GT(fs::file_size(path.string() + "-wal"), 0u);
    std::error_code error;
    fs::path aside = SqliteFile::setAside(path, error);
    ASSERT_FALSE(error);
    EXPECT_FALSE(fs::exists(path.string() + "-wal"));
    SqliteFile reader;
    ASSERT_EQ(reader.open(aside, {.quickCheck = false, .readOnly = true}), SqliteFile::OpenStatus::Open);
    EXPECT_EQ(count(reader, "t"), 1);
}

TEST(SqliteFile, ALogSQLiteWouldDropIsKeptAsideAndTheStoreKeepsWhatSQLiteKeeps) {
    TempDir dir;
    fs::path path = dir.path() / "store.sql", copy = dir.path() / "copy.sql";
    std::string main, log;
    std::tie(main, log) = threeCommitsInTheLog(path);
    SqliteFile file;
    std::vector<std::string> reasons;
    auto report = [&](const fs::path&, std::error_code) { reasons.push_back(file.errorMessage()); };
    // Frame `damaged` changed, beside the file or beside an empty one.
    auto openWith = [&](size_t damaged, bool emptied) {
        file.close();
        writeFile(copy, emptied ? "" : main);
        writeFile(copy.string() + "-wal", damageFrame(log, damaged));
        reasons.clear();
        EXPECT_EQ(file.openReplacingDamaged(copy, {}, nullptr, report), SqliteFile::OpenStatus::Open);
    };
    // A torn last frame is a write cut short: its commit goes, nothing is reported.
    openWith(3, false);
    EXPECT_TRUE(reasons.empty());
    EXPECT_EQ(count(file, "t"), 2);
    // Plain SQLite keeps the commit before the failing frame; the file and the whole log are kept aside.
    openWith(2, false);
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_NE(reasons[0].find("frame 2 of its write-ahead log fails its check"), std::string::npos);
    EXPECT_EQ(count(file, "t"), 1);
    auto moved = asides(copy);
    ASSERT_EQ(moved.size(), 2u);
    const bool logFirst = moved[0].string().ends_with("-wal");
    EXPECT_EQ(readFile(moved[logFirst ? 0 : 1]), damageFrame(log, 2));
    EXPECT_EQ(readFile(moved[logFirst ? 1 : 0]), main);
    // The good commit is in the file now and the log's damaged tail is not found again.
    file.close();
    EXPECT_EQ(file.openReplacingDamaged(copy, {}, nullptr, report), SqliteFile::OpenStatus::Open);
    EXPECT_EQ(reasons.size(), 1u);
    EXPECT_EQ(count(file, "t"), 1);
    openWith(1, true);
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_NE(reasons[0].find("beside an empty or missing file"), std::string::npos);
    EXPECT_EQ(asides(copy).size(), 4u);
}

TEST(SqliteFile, ALogThatCannotBeCopiedAsideOpensAsSQLiteWouldAndSaysSo) {
    TempDir dir;
    fs::path path = dir.path() / "store.sql";
    withARefusedLog(path);
    // No file may grow past 64 kB: the copy of the 100 kB file fails as on a full disk.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 65536;
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::vector<std::string> reasons;
    SqliteFile file;
    auto status = file.openReplacingDamaged(path, {}, nullptr, [&](const fs::path&, std::error_code e) {
        reasons.push_back(file.errorMessage() + (e ? "" : " (no error)"));
    });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    ASSERT_EQ(status, SqliteFile::OpenStatus::Open);
    EXPECT_EQ(count(file, "t"), 1);
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_TRUE(
        reasons[0].ends_with("; the log's damaged part was not kept: it could not be copied aside (File "
                             "too large)"))
        << reasons[0];
    EXPECT_TRUE(asides(path).empty());
}

TEST(SqliteFile, ACopyAsideCutShortByAKillLeavesNoKeptNameAndIsClearedAtTheNextOpen) {
    TempDir dir;
    fs::path path = dir.path() / "store.sql";
    const std::string main = withARefusedLog(path);
    // The file-size limit's signal kills the child in the middle of the copy, as a kill -9 would.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit small{65536, 65536};
        ::setrlimit(RLIMIT_FSIZE, &small);
        SqliteFile file;
        file.openReplacingDamaged(path, {}, nullptr, nullptr);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
    EXPECT_TRUE(asides(path).empty());

    plat::LogCapture capture;
    SqliteFile file;
    ASSERT_EQ(file.openReplacingDamaged(path, {}, nullptr, nullptr), SqliteFile::OpenStatus::Open);
    EXPECT_TRUE(capture.contains("left by a write that never finished"));
    auto kept = asides(path);
    std::sort(kept.begin(), kept.end());
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(readFile(kept[0]), main);
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos) << entry.path();
}

TEST(SqliteFile, ACopyAsideKilledAtEitherPlacingLeavesNoKeptFileWithoutItsLog) {
    for (int nth : {1, 2}) {
        TempDir dir;
        const fs::path path = dir.path() / "store.sql", log = path.string() + "-wal";
        const std::string main = withARefusedLog(path), logBytes = readFile(log);
        ASSERT_TRUE(testsupport::killedAtSystemCall(SYS_renameat2, nth, [&] {
            SqliteFile file;
            file.openReplacingDamaged(path, {}, nullptr, nullptr);
        }));
        EXPECT_EQ(readFile(path), main);
        EXPECT_EQ(readFile(log), logBytes);

        plat::LogCapture capture;
        SqliteFile file;
        ASSERT_EQ(file.openReplacingDamaged(path, {}, nullptr, nullptr), SqliteFile::OpenStatus::Open);
        EXPECT_EQ(capture.contains("placed by a copy aside that never finished"), nth == 2) << nth;
        // What stays aside is the pair this open kept, whole.
        auto kept = asides(path);
        std::sort(kept.begin(), kept.end());
        ASSERT_EQ(kept.size(), 2u) << nth;
        EXPECT_EQ(kept[1], kept[0].string() + "-wal");
        for (const auto& entry : fs::directory_iterator(dir.path()))
            EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();  // temporaries, records
    }
}

TEST(SqliteFile, ACopyAsideRecordTakesBackOnlyWhatItsOwnCopyPlaced) {
    TempDir dir;
    const fs::path path = dir.path() / "store.sql", onPurpose = dir.path() / "store.sql.damaged-5-wal",
                   other = dir.path() / "other.sql.damaged-1-wal";
    // The store's file is missing beside its log, and a log was set aside alone on purpose.
    for (const fs::path& log : {fs::path(path.string() + "-wal"), onPurpose, other})
        writeFile(log, log.filename().string());
    // Records left by an earlier version naming the store itself, another store and the kept log, one
    // listing another file as its log, and a folder at a record's name.
    for (const char* name : {".store.sql.placing.store.sql", ".store.sql.placing.other.sql.damaged-1",
                             ".store.sql.placing.store.sql.damaged-5"})
        writeFile(dir.path() / name, "");
    struct stat otherLog {};
    ASSERT_EQ(::stat(other.c_str(), &otherLog), 0);
    writeFile(dir.path() / ".store.sql.damaged-5", "-wal " + std::to_string(otherLog.st_ino) + "\n");
    fs::create_directory(dir.path() / ".store.sql.damaged-6");
    SqliteFile file;
    ASSERT_EQ(file.openReplacingDamaged(path, {}, nullptr, nullptr), SqliteFile::OpenStatus::Open);
    EXPECT_EQ(readFile(onPurpose), onPurpose.filename().string());
    EXPECT_EQ(readFile(other), other.filename().string());
    // As without the records, the store's log is kept aside.
    auto kept = asides(path);
    std::erase(kept, onPurpose);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(readFile(kept[0]), "store.sql-wal");

    // A name as long as the folder allows for its kept pair.
    const fs::path longer = dir.path() / (std::string(196, 'n') + ".sql");
    withARefusedLog(longer);
    ASSERT_EQ(file.openReplacingDamaged(longer, {}, nullptr, nullptr), SqliteFile::OpenStatus::Open);
    EXPECT_EQ(asides(longer).size(), 2u);
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

TEST(SqliteFile, TwoSetAsidesAtOneClockInstantAreBothKept) {
    testsupport::VirtualClockScope clock;
    TempDir dir;
    fs::path path = dir.path() / "store.sql";
    for (const char* bytes : {"first", "second"}) {
        writeFile(path, bytes);
        writeFile(path.string() + "-wal", std::string(bytes) + " log");
        std::error_code error;
        EXPECT_FALSE(SqliteFile::setAside(path, error).empty());
        EXPECT_FALSE(error);
    }
    const std::string first = path.string() + ".damaged-" + std::to_string(clock.clock().nowMicros());
    EXPECT_EQ(readFile(first), "first");
    EXPECT_EQ(readFile(first + "-wal"), "first log");
    EXPECT_EQ(readFile(first + "-2"), "second");
    EXPECT_EQ(readFile(first + "-2-wal"), "second log");
    EXPECT_EQ(asides(path).size(), 4u);
}

TEST(SqliteFile, OnlyDamageIsSetAsideAndOnlyOnce) {
    TempDir dir;
    fs::path path = dir.path() / "store.sql";
    SqliteFile locker;
    ASSERT_EQ(locker.open(path), SqliteFile::OpenStatus::Open);
    ASSERT_TRUE(locker.exec("CREATE TABLE t (x); PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT"));
    int reports = 0;
    auto report = [&](const fs::path&, std::error_code) { ++reports; };
    SqliteFile file;
    EXPECT_EQ(file.openReplacingDamaged(path, {.busyTimeoutMillis = 0}, nullptr, report),
              SqliteFile::OpenStatus::Failed);
    EXPECT_EQ(SqliteFile::primaryCode(file.errorCode()), SqliteFile::kBusy);
    EXPECT_FALSE(file.isOpen());
    locker.close();
    EXPECT_TRUE(asides(path).empty());

    // A layout the owner does not know is damage too; a new file that still fails is not moved again.
    auto foreign = [] { return SqliteFile::OpenStatus::Damaged; };
    EXPECT_EQ(file.openReplacingDamaged(path, SqliteFile::Options{}, foreign, report),
              SqliteFile::OpenStatus::Damaged);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(asides(path).size(), 1u);
}

TEST(SqliteFile, StatementsAndTransactions) {
    TempDir dir;
    SqliteFile file;
    ASSERT_EQ(file.open(dir.path() / "store.sql"), SqliteFile::OpenStatus::Open);
    ASSERT_TRUE(file.exec("CREATE TABLE t (k TEXT, v BLOB NOT NULL, n INTEGER)"));
    {
        SqliteFile::Transaction transaction(file);
        ASSERT_TRUE(transaction.begun());
        auto insert = file.prepare("INSERT INTO t VALUES (?, ?, ?)");
        ASSERT_EQ(insert.bindText(1, std::string("a\0b", 3)), SqliteFile::kOk);
        // An empty blob is a blob, not a null the column refuses.
        ASSERT_EQ(insert.bindBlob(2, nullptr, 0), SqliteFile::kOk);
        ASSERT_EQ(insert.bindNull(3), SqliteFile::kOk);
        ASSERT_EQ(insert.step(), SqliteFile::kDone);
        EXPECT_TRUE(transaction.commit());
    }
    {
        SqliteFile::Transaction transaction(file);
        ASSERT_TRUE(file.exec("DELETE FROM t"));
    }  // rolled back
    SqliteFile::Statement* select = file.cached("SELECT k, v, n FROM t");
    ASSERT_NE(select, nullptr);
    EXPECT_EQ(file.cached("SELECT k, v, n FROM t"), select);
    for (int round = 0; round < 2; ++round) {
        SqliteFile::Lease lease(select);
        ASSERT_EQ(lease->step(), SqliteFile::kRow);
        EXPECT_EQ(lease->columnText(0), std::string("a\0b", 3));
        size_t size = 1;
        lease->columnBlob(1, &size);
        EXPECT_EQ(size, 0u);
        EXPECT_FALSE(lease->columnIsNull(1));
        EXPECT_TRUE(lease->columnIsNull(2));
    }
    EXPECT_FALSE(file.prepare("NOT SQL").ok());
    EXPECT_EQ(file.cached("NOT SQL"), nullptr);
    EXPECT_FALSE(file.inTransaction());
}
