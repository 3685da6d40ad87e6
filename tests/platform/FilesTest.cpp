#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <csignal>

#include "platform/base/Log.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/FileManager.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using plat::FileManager;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::vector<std::string> names(const fs::path& dir) {
    return FileManager::contentsOfDirectory(dir).value();
}

}  // namespace

TEST(AtomicFile, ReplacesContentAndKeepsPermissions) {
    TempDir dir;
    fs::path file = dir.path() / "save.dat";
    ASSERT_TRUE(plat::writeFileAtomically(file, std::string("first")));
    ::chmod(file.c_str(), 0600);
    ASSERT_TRUE(plat::writeFileAtomically(file, std::string("second, longer")));
    EXPECT_EQ(readFile(file), "second, longer");
    EXPECT_EQ(FileManager::attributesOfItem(file)->permissions, 0600u);
    ASSERT_TRUE(plat::writeFileAtomically(file, std::string()));
    EXPECT_EQ(readFile(file), "");
    EXPECT_EQ(names(dir.path()), std::vector<std::string>{"save.dat"});  // no temporary left behind
}

TEST(AtomicFile, FailedWriteLeavesTheOldFileIntact) {
    TempDir dir;
    fs::path file = dir.path() / "progress.plist";
    writeFile(file, "old content");

    // A file-size limit makes the write fail halfway, as a full disk would.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    plat::LogCapture capture;
    bool written = plat::writeFileAtomically(file, std::string(64 * 1024, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_TRUE(capture.contains("progress.plist"));
    EXPECT_EQ(readFile(file), "old content");
    EXPECT_EQ(names(dir.path()), std::vector<std::string>{"progress.plist"});
}

TEST(AtomicFile, MissingFolderOrFolderTargetFails) {
    TempDir dir;
    plat::LogCapture capture;
    EXPECT_FALSE(plat::writeFileAtomically(dir.path() / "no" / "such" / "file", std::string("x")));
    fs::create_directories(dir.path() / "folder" / "child");
    EXPECT_FALSE(plat::writeFileAtomically(dir.path() / "folder", std::string("x")));
    EXPECT_TRUE(fs::is_directory(dir.path() / "folder" / "child"));
    EXPECT_EQ(capture.lines().size(), 2u);
}

TEST(AtomicFile, OnlyASaveThroughALinkReachesItsEndAndOnlyARegularFileThere) {
    TempDir dir;
    std::vector<fs::path> ends{dir.path() / "fifo"};
    ASSERT_EQ(::mkfifo(ends[0].c_str(), 0644), 0);
    // A device too, where this process may make one (as root).
    if (::mknod((dir.path() / "device").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0)
        ends.push_back(dir.path() / "device");
    for (const fs::path& end : ends) {
        const fs::path link = end.string() + "-link";
        fs::create_symlink(end, link);
        plat::LogCapture capture;
        EXPECT_FALSE(plat::writeFileAtomically(link, std::string("x"), plat::Links::WriteThrough));
        EXPECT_EQ(capture.lines().size(), 1u);
        EXPECT_TRUE(capture.contains(end.string() + " is a"));
        // Any other save writes its own path: the link goes, and what it named stays.
        EXPECT_TRUE(plat::writeFileAtomically(link, std::string("x")));
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(link)));
        EXPECT_FALSE(fs::is_regular_file(end));
    }
}

TEST(FileManager, KindsCreationListingAndRemoval) {
    TempDir dir;
    fs::path nested = dir.path() / "a" / "b";
    EXPECT_TRUE(FileManager::createDirectory(nested));
    EXPECT_TRUE(FileManager::createDirectory(nested));  // already there is fine with intermediates
    {
        plat::LogCapture capture;
        EXPECT_FALSE(FileManager::createDirectory(dir.path() / "x" / "y", false));
        EXPECT_FALSE(FileManager::createDirectory(nested, false));
    }
    writeFile(dir.path() / "a" / "z.txt", "12345");
    writeFile(dir.path() / "a" / "m.txt", "");
    bool isDir = false;
    EXPECT_TRUE(FileManager::fileExists(nested, &isDir));
    EXPECT_TRUE(isDir);
    EXPECT_TRUE(FileManager::fileExists(dir.path() / "a" / "z.txt", &isDir));
    EXPECT_FALSE(isDir);
    EXPECT_FALSE(FileManager::fileExists(dir.path() / "none"));
    EXPECT_FALSE(FileManager::fileExists(""));
    EXPECT_TRUE(FileManager::isRegularFile(dir.path() / "a" / "m.txt"));
    EXPECT_FALSE(FileManager::isRegularFile(nested));
    EXPECT_EQ(names(dir.path() / "a"), (std::vector<std::string>{"b", "m.txt", "z.txt"}));

    auto attributes = FileManager::attributesOfItem(dir.path() / "a" / "z.txt");
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->type, FileManager::FileType::Regular);
    EXPECT_EQ(attributes->size, 5u);
    EXPECT_GT(attributes->modificationDate.secondsSince1970, 1.0e9);
    fs::create_symlink(dir.path() / "a" / "z.txt", dir.path() / "link");
    EXPECT_EQ(FileManager::attributesOfItem(dir.path() / "link")->type, FileManager::FileType::SymbolicLink);

    EXPECT_TRUE(FileManager::moveItem(dir.path() / "a" / "m.txt", dir.path() / "moved.txt"));
    plat::LogCapture capture;
    EXPECT_FALSE(FileManager::moveItem(dir.path() / "moved.txt", dir.path() / "link"));  // destination taken
    EXPECT_TRUE(FileManager::removeItem(dir.path() / "a"));
    EXPECT_FALSE(FileManager::fileExists(dir.path() / "a"));
    EXPECT_FALSE(FileManager::removeItem(dir.path() / "a"));
    EXPECT_FALSE(FileManager::contentsOfDirectory(dir.path() / "a"));
    EXPECT_FALSE(FileManager::attributesOfItem(dir.path() / "a"));
}

TEST(FileManager, ReadsOnlyRegularFilesWithinTheLimit) {
    TempDir dir;
    writeFile(dir.path() / "data.bin", std::string("\0\1\2\3", 4));
    auto bytes = FileManager::contentsAtPath(dir.path() / "data.bin");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, (plat::Bytes{0, 1, 2, 3}));

    plat::LogCapture capture;
    EXPECT_FALSE(FileManager::contentsAtPath(dir.path()));  // a folder is not read
    EXPECT_FALSE(FileManager::contentsAtPath(dir.path() / "missing"));
    EXPECT_FALSE(FileManager::contentsAtPath(dir.path() / "data.bin", 3));
    EXPECT_FALSE(FileManager::contentsAtPath("/dev/zero"));
    EXPECT_EQ(capture.lines().size(), 4u);
}

TEST(FileManager, ReadFileTellsMissingUnreadableAndReadApartWithoutALine) {
    using Status = FileManager::ReadResult::Status;
    TempDir dir;
    writeFile(dir.path() / "data.bin", "1234");
    ASSERT_EQ(::mkfifo((dir.path() / "pipe").c_str(), 0600), 0);
    plat::LogCapture capture;
    EXPECT_EQ(FileManager::readFile(dir.path() / "data.bin", 4).bytes, (plat::Bytes{'1', '2', '3', '4'}));
    EXPECT_EQ(FileManager::readFile(dir.path() / "data.bin", 3).status, Status::TooLarge);
    EXPECT_EQ(FileManager::readFile(dir.path() / "missing").status, Status::Missing);
    EXPECT_EQ(FileManager::readFile(dir.path() / "data.bin" / "below").status, Status::Missing);
    EXPECT_EQ(FileManager::readFile(dir.path()).error, std::errc::is_a_directory);  // a folder in its place
    EXPECT_EQ(FileManager::readFile(dir.path() / "pipe").status, Status::Unreadable);  // without waiting
    EXPECT_TRUE(capture.lines().empty());
}

TEST(FileManager, ACopyAsideReadsOnlyRegularFilesWithoutWaiting) {
    TempDir dir;
    const fs::path store = dir.path() / "store.sql";
    writeFile(store, "main");
    ASSERT_EQ(::mkfifo((store.string() + "-wal").c_str(), 0600), 0);
    static constexpr std::array<const char*, 1> kLog = {"-wal"};
    std::error_code error;
    // A pipe in the log's place would block a plain read for good.
    EXPECT_TRUE(FileManager::copyAside(store, ".kept", kLog, error).empty());
    EXPECT_EQ(error, std::errc::invalid_argument);
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"store.sql", "store.sql-wal"}));
}

TEST(FileManager, ACopyAsideThroughALinkCutShortIsSweptBesideTheLink) {
    TempDir dir;
    const fs::path link = dir.path() / "store";
    writeFile(dir.path() / "elsewhere" / "store", "file");
    writeFile(dir.path() / "store-wal", "log");
    fs::create_symlink("elsewhere/store", link);
    static constexpr std::array<const char*, 1> kLog = {"-wal"};
    std::error_code error;
    ASSERT_TRUE(testsupport::killedAtSystemCall(SYS_renameat2, 1,
                                                [&] { FileManager::copyAside(link, ".kept", kLog, error); }));
    plat::LogCapture capture;
    EXPECT_EQ(plat::removeStaleTemporaryFiles(link), 2u);
    FileManager::removeUnplacedCopies(link, ".kept", kLog);
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"elsewhere", "store", "store-wal"}));
}

TEST(Bundle, FindsResourcesUnderItsRootOnly) {
    TempDir dir;
    writeFile(dir.path() / "res" / "a.png", "png");
    writeFile(dir.path() / "res" / "hd" / "b.png", "png");
    writeFile(dir.path() / "secret.txt", "no");
    plat::Bundle bundle(dir.path() / "res");
    EXPECT_EQ(bundle.pathForResource("a.png"), dir.path() / "res" / "a.png");
    EXPECT_EQ(bundle.pathForResource("a", "png"), dir.path() / "res" / "a.png");
    EXPECT_EQ(bundle.pathForResource("b.png", {}, "hd"), dir.path() / "res" / "hd" / "b.png");
    EXPECT_EQ(bundle.pathForResource("hd/b.png"), dir.path() / "res" / "hd" / "b.png");
    EXPECT_EQ(bundle.pathForResource("hd"), dir.path() / "res" / "hd");
    EXPECT_TRUE(bundle.pathForResource("b.png").empty());
    EXPECT_TRUE(bundle.pathForResource("").empty());
    EXPECT_TRUE(bundle.pathForResource("../secret.txt").empty());
    EXPECT_TRUE(bundle.pathForResource("secret.txt", {}, "hd/../..").empty());
    EXPECT_TRUE(bundle.pathForResource((dir.path() / "secret.txt").string()).empty());
}

TEST(Bundle, MainBundleFollowsTheResourcesOption) {
    TempDir dir;
    writeFile(dir.path() / "only-here.txt", "x");
    plat::Bundle::setMainResourcePath(dir.path());
    EXPECT_EQ(plat::Bundle::main().resourcePath(), dir.path());
    EXPECT_FALSE(plat::Bundle::main().pathForResource("only-here.txt").empty());
    plat::Bundle::setMainResourcePath({});
    EXPECT_EQ(plat::Bundle::main().resourcePath(), plat::Bundle::defaultResourcePath());
    EXPECT_TRUE(plat::Bundle::main().pathForResource("only-here.txt").empty());
}

TEST(Bundle, TheResourcesOptionIsTakenInOneSpellingHoweverItIsGiven) {
    TempDir dir;
    const fs::path fromHere = dir.path().lexically_relative(fs::current_path());
    for (const fs::path& given :
         {"." / fromHere / "", fromHere / "x" / ".." / ".", fs::path(dir.path().native() + "//")}) {
        testsupport::ResourcePathScope resources(given);
        EXPECT_EQ(plat::Bundle::main().resourcePath(), dir.path()) << given;
    }
}
