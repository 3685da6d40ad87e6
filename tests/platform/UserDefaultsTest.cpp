#include <gtest/gtest.h>

#include <filesystem>

#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>

#include "platform/base/Log.h"
#include "platform/runloop/SerialQueue.h"
#include "platform/storage/AdvertisingId.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/FileManager.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "platform/storage/UserDefaults.h"
#include "tests/support/TestSupport.h"

using plat::UserDefaults;
using plat::Value;

TEST(UserDefaults, TypedValuesPersistAcrossStores) {
    testsupport::TempDir dir;
    auto file = dir.path() / "prefs.plist";
    {
        auto defaults = UserDefaults::create(file);
        defaults->setBool(true, "firstgame");
        defaults->setInteger(-7, "mypoints");
        defaults->setFloat(27.5f, "objectcreatetimerget0");
        defaults->setDouble(0.1, "exact");
        defaults->setString("ja", "name");
        defaults->setData({1, 2, 3}, "blob");
        defaults->setObject(Value(Value::Array{1, "x"}), "list");
        defaults->setObject(Value(Value::Dictionary{{"k", 2}}), "dict");
        ASSERT_TRUE(defaults->synchronize());
    }
    auto defaults = UserDefaults::create(file);
    EXPECT_TRUE(defaults->boolForKey("firstgame"));
    EXPECT_EQ(defaults->integerForKey("mypoints"), -7);
    EXPECT_EQ(defaults->floatForKey("objectcreatetimerget0"), 27.5f);
    EXPECT_EQ(defaults->doubleForKey("exact"), 0.1);
    EXPECT_EQ(defaults->stringForKey("name"), "ja");
    EXPECT_EQ(defaults->stringForKey("mypoints"), "-7");
    EXPECT_FALSE(defaults->stringForKey("blob"));
    EXPECT_EQ(defaults->dataForKey("blob"), (plat::Bytes{1, 2, 3}));
    EXPECT_EQ(defaults->arrayForKey("list")->size(), 2u);
    EXPECT_EQ(defaults->dictionaryForKey("dict")->find("k")->toInt64(), 2);
    EXPECT_EQ(defaults->integerForKey("objectcreatetimerget0"), 27);  // a float read as an integer
    EXPECT_FALSE(defaults->boolForKey("missing"));
    EXPECT_EQ(defaults->integerForKey("missing"), 0);
    EXPECT_FALSE(defaults->objectForKey("missing"));
}

TEST(UserDefaults, OnlySynchronizeWritesAndRemovalPersists) {
    testsupport::TempDir dir;
    auto file = dir.path() / "prefs.plist";
    auto defaults = UserDefaults::create(file);
    defaults->setInteger(1, "a");
    defaults->setInteger(2, "b");
    EXPECT_FALSE(plat::FileManager::fileExists(file));
    ASSERT_TRUE(defaults->synchronize());
    defaults->removeObjectForKey("a");
    defaults->setObject(Value(), "b");  // a null removes too
    ASSERT_TRUE(defaults->synchronize());
    auto stored = plat::PropertyList::readFile(file);
    ASSERT_TRUE(stored);
    EXPECT_TRUE(stored->dictionaryIf()->empty());

    plat::LogCapture capture;
    defaults->setObject(Value(Value::Array{Value()}), "bad");
    EXPECT_FALSE(defaults->objectForKey("bad"));
    EXPECT_TRUE(capture.contains("bad"));
}

TEST(UserDefaults, DamagedFilesAreKeptAsideBesideEachOther) {
    testsupport::TempDir dir;
    auto file = dir.path() / "prefs.plist";
    testsupport::writeFile(file, "bplist00 garbage");
    plat::LogCapture capture;
    auto defaults = UserDefaults::create(file);
    EXPECT_FALSE(defaults->objectForKey("anything"));
    EXPECT_EQ(testsupport::readFile(dir.path() / "prefs.plist.unreadable"), "bplist00 garbage");
    defaults->setBool(true, "x");
    EXPECT_TRUE(defaults->synchronize());
    EXPECT_TRUE(UserDefaults::create(file)->boolForKey("x"));
    testsupport::writeFile(file, "<plist>cut");
    EXPECT_FALSE(UserDefaults::create(file)->objectForKey("x"));
    EXPECT_EQ(testsupport::readFile(dir.path() / "prefs.plist.unreadable"), "bplist00 garbage");
    EXPECT_EQ(testsupport::readFile(dir.path() / "prefs.plist.unreadable-2"), "<plist>cut");
    EXPECT_TRUE(capture.contains("kept as " + file.string() + ".unreadable,"));
    EXPECT_TRUE(capture.contains("kept as " + file.string() + ".unreadable-2,"));
}

TEST(UserDefaults, ASaveLeavesTheFileReadableAndWritableByItsOwner) {
    testsupport::TempDir dir;
    auto file = dir.path() / "prefs.plist";
    auto defaults = UserDefaults::create(file);
    defaults->setInteger(1, "level");
    ASSERT_TRUE(defaults->synchronize());
    ::chmod(file.c_str(), 0);
    defaults->setInteger(2, "level");
    ASSERT_TRUE(defaults->synchronize());
    EXPECT_EQ(plat::FileManager::attributesOfItem(file)->permissions, 0600u);
    ::chmod(file.c_str(), 0244);
    defaults->setInteger(3, "level");
    ASSERT_TRUE(defaults->synchronize());
    EXPECT_EQ(plat::FileManager::attributesOfItem(file)->permissions, 0644u);  // other bits kept
}

TEST(UserDefaults, ASettingsFileThatIsALinkIsSavedThroughAndStaysALink) {
    namespace fs = std::filesystem;
    testsupport::TempDir dir;
    fs::create_directories(dir.path() / "elsewhere");
    auto file = dir.path() / "prefs.plist";
    auto target = dir.path() / "elsewhere" / "kept.plist";
    fs::create_symlink("elsewhere/kept.plist", file);  // its target does not exist yet
    for (int level : {3, 4}) {
        auto defaults = UserDefaults::create(file);
        EXPECT_EQ(defaults->integerForKey("level"), level == 3 ? 0 : 3);
        defaults->setInteger(level, "level");
        ASSERT_TRUE(defaults->synchronize());
        EXPECT_TRUE(fs::is_symlink(file));
        EXPECT_EQ(UserDefaults::create(target)->integerForKey("level"), level);
    }
    // A loop cannot be followed: it stays, and nothing is written in its place.
    auto loop = dir.path() / "loop.plist";
    fs::create_symlink("loop.plist", loop);
    plat::LogCapture capture;
    auto defaults = UserDefaults::create(loop);
    defaults->setInteger(1, "level");
    EXPECT_FALSE(defaults->synchronize());
    EXPECT_TRUE(fs::is_symlink(loop));
}

TEST(UserDefaults, ALinkIsFollowedAsFarAsTheReadGoes) {
    namespace fs = std::filesystem;
    testsupport::TempDir dir;
    // 40 links, as many as the system follows when it reads the file.
    const fs::path file = dir.path() / "prefs.plist";
    for (int i = 0; i < 40; ++i)
        fs::create_symlink("link" + std::to_string(i + 1),
                           i ? dir.path() / ("link" + std::to_string(i)) : file);
    auto defaults = UserDefaults::create(file);
    defaults->setInteger(7, "level");
    ASSERT_TRUE(defaults->synchronize());
    EXPECT_EQ(UserDefaults::create(dir.path() / "link40")->integerForKey("level"), 7);
}

TEST(UserDefaults, AFileThatCannotBeReadForAMomentIsLeftForTheNextLaunch) {
    testsupport::TempHome home;
    UserDefaults::standard()->setInteger(9, "myobjectlevel");
    ASSERT_TRUE(UserDefaults::standard()->synchronize());
    const std::string saved = testsupport::readFile(UserDefaults::standard()->path());
    UserDefaults::forgetStandard();
    plat::LogCapture capture;
    rlimit old{};
    getrlimit(RLIMIT_NOFILE, &old);
    const int lowest = ::dup(2);  // with the limit there, no descriptor is free
    ::close(lowest);
    rlimit none{static_cast<rlim_t>(lowest), old.rlim_max};
    setrlimit(RLIMIT_NOFILE, &none);
    auto session = UserDefaults::standard();
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_FALSE(session->objectForKey("myobjectlevel"));
    EXPECT_FALSE(plat::AdvertisingId::shared().isAdvertisingTrackingEnabled());
    session->setInteger(1, "myobjectlevel");
    session->synchronizeInBackground();
    EXPECT_FALSE(session->waitForBackgroundWrites());
    EXPECT_EQ(testsupport::readFile(session->path()), saved);
    EXPECT_EQ(capture.lines().size(), 1u);
    UserDefaults::forgetStandard();
    EXPECT_EQ(UserDefaults::standard()->integerForKey("myobjectlevel"), 9);
    EXPECT_TRUE(plat::AdvertisingId::shared().isAdvertisingTrackingEnabled());
}

TEST(UserDefaults, StaleTemporaryFilesOfTheStoreGoWhenItLoads) {
    testsupport::TempDir dir;
    auto file = dir.path() / "prefs.plist";
    auto first = UserDefaults::create(file);
    first->setBool(true, "x");
    ASSERT_TRUE(first->synchronize());
    // What a kill between the temporary file and the rename leaves, and neighbours that must stay.
    testsupport::writeFile(dir.path() / ".prefs.plist.tmp.a1B2c3", "half a save");
    testsupport::writeFile(dir.path() / ".prefs.plist.tmp.zzzzzz", "");
    for (const char* keep : {".other.plist.tmp.a1B2c3", ".prefs.plist.tmp.toolong1", "prefs.plist.tmp.a1B2c3",
                             ".prefs.plist.bak"})
        testsupport::writeFile(dir.path() / keep, "keep");
    auto defaults = UserDefaults::create(file);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / ".prefs.plist.tmp.a1B2c3"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / ".prefs.plist.tmp.zzzzzz"));
    for (const char* keep : {".other.plist.tmp.a1B2c3", ".prefs.plist.tmp.toolong1", "prefs.plist.tmp.a1B2c3",
                             ".prefs.plist.bak"})
        EXPECT_EQ(testsupport::readFile(dir.path() / keep), "keep") << keep;
    EXPECT_TRUE(defaults->boolForKey("x"));
}

TEST(UserDefaults, LanguagesComeFromTheLocale) {
    testsupport::TempDir dir;
    auto languagesFor = [&](const char* lcAll, const char* lang) {
        testsupport::EnvScope env{{"LC_ALL", lcAll}, {"LC_MESSAGES", nullptr}, {"LANG", lang}};
        return UserDefaults::create(dir.path() / "p.plist")->arrayForKey(UserDefaults::kLanguagesKey).value();
    };
    EXPECT_EQ(languagesFor(nullptr, "ja_JP.UTF-8"), Value::Array{"ja"});
    EXPECT_EQ(languagesFor("fr_FR.UTF-8", "ja_JP.UTF-8"), Value::Array{"fr"});
    EXPECT_EQ(languagesFor(nullptr, nullptr), Value::Array{"en"});
    EXPECT_EQ(languagesFor("C", nullptr), Value::Array{"en"});
    EXPECT_EQ(languagesFor(nullptr, "de"), Value::Array{"de"});

    // A stored value overrides; the registered one is never written.
    testsupport::EnvScope env{{"LC_ALL", "ko_KR.UTF-8"}};
    auto defaults = UserDefaults::create(dir.path() / "p.plist");
    defaults->setInteger(1, "x");
    ASSERT_TRUE(defaults->synchronize());
    EXPECT_FALSE(
        plat::PropertyList::readFile(dir.path() / "p.plist")->operator[]("AppleLanguages").isArray());
    defaults->setObject(Value(Value::Array{"it"}), UserDefaults::kLanguagesKey);
    EXPECT_EQ(defaults->arrayForKey(UserDefaults::kLanguagesKey), Value::Array{"it"});
}

TEST(UserDefaults, ConcurrentWritersLoseNothing) {
    testsupport::TempDir dir;
    auto defaults = UserDefaults::create(dir.path() / "p.plist");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                defaults->setInteger(i, "t" + std::to_string(t) + "_" + std::to_string(i));
                if (i % 50 == 0) defaults->synchronize();
            }
        });
    for (auto& th : threads) th.join();
    ASSERT_TRUE(defaults->synchronize());
    auto reread = UserDefaults::create(dir.path() / "p.plist");
    EXPECT_EQ(reread->dictionaryRepresentation().size(), 4u * 200u + 1u);  // + the languages
    EXPECT_EQ(reread->integerForKey("t3_199"), 199);
}

TEST(UserDefaults, BackgroundWritesKeepTheOrderAndJoinAWriteThatWaits) {
    testsupport::TempDir dir;
    const int events = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(events, dir.path().c_str(), IN_MOVED_TO), 0);
    auto writer = std::make_shared<plat::SerialQueue>("test writer");
    std::promise<void> release;
    writer->async([held = release.get_future().share()] { held.wait(); });
    auto later = UserDefaults::create(dir.path() / "later.plist", writer);
    auto atOnce = UserDefaults::create(dir.path() / "at-once.plist");
    for (auto* d : {later.get(), atOnce.get()}) {
        d->setInteger(1, "a");
        d->setInteger(2, "b");
        d->setInteger(3, "gone");
        d->synchronizeInBackground();
        d->removeObjectForKey("a");
        d->setInteger(4, "c");
        d->setInteger(5, "a");
        d->removeObjectForKey("gone");
        d->synchronizeInBackground();
    }
    ASSERT_TRUE(atOnce->synchronize());
    later->setInteger(6, "not handed over");
    release.set_value();
    ASSERT_TRUE(later->waitForBackgroundWrites());
    // One write, of the last state handed over, byte for byte what writing at once gives.
    EXPECT_EQ(testsupport::readFile(dir.path() / "later.plist"),
              testsupport::readFile(dir.path() / "at-once.plist"));
    EXPECT_EQ(UserDefaults::create(dir.path() / "later.plist")->dictionaryRepresentation().keys(),
              (std::vector<std::string>{UserDefaults::kLanguagesKey, "b", "c", "a"}));
    alignas(inotify_event) char buffer[4096];
    int writes = 0;
    for (ssize_t n = read(events, buffer, sizeof buffer), at = 0; n > 0 && at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        writes += std::strcmp(e->name, "later.plist") == 0;
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
    close(events);
    EXPECT_EQ(writes, 1);
}

TEST(UserDefaults, ABackgroundWriteMakesTheStoresFolder) {
    testsupport::TempDir dir;
    const auto file = dir.path() / "not" / "yet" / "p.plist";
    auto defaults = UserDefaults::create(file);
    defaults->setInteger(7, "level");
    defaults->synchronizeInBackground();
    ASSERT_TRUE(defaults->waitForBackgroundWrites());
    EXPECT_EQ(UserDefaults::create(file)->integerForKey("level"), 7);
}

TEST(UserDefaults, TheStoresOwnWriterRunsAtTheSaversPriority) {
    testsupport::TempDir dir;
    std::promise<int> writerNice;  // outlives the store, whose end waits for the writer
    auto defaults = UserDefaults::create(dir.path() / "p.plist");
    defaults->setInteger(7, "level");
    defaults->synchronizeInBackground([&](bool written) {
        writerNice.set_value(written ? getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())) : 99);
    });
    EXPECT_EQ(writerNice.get_future().get(), getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())));
}

TEST(UserDefaults, StandardStoreLivesInTheCurrentHome) {
    testsupport::TempHome home;
    auto defaults = UserDefaults::standard();
    EXPECT_EQ(defaults->path(), plat::Paths::preferences() / "platform_tests.plist");
    EXPECT_EQ(UserDefaults::standard(), defaults);
    defaults->setInteger(5, "level");
    {
        testsupport::TempHome other;
        EXPECT_NE(UserDefaults::standard(), defaults);
        EXPECT_FALSE(UserDefaults::standard()->objectForKey("level"));
    }
    // Switching homes saved the pending change of the first store.
    EXPECT_EQ(
        UserDefaults::create(plat::Paths::preferences() / "platform_tests.plist")->integerForKey("level"), 5);
}

TEST(UserDefaults, StandardFileIsNamedAfterTheApp) {
    testsupport::TempHome home;
    plat::Bundle::resetMainInfoValues();
    plat::Bundle::setMainIdentity("org.potemaru.potemaru", "potemaru", "1.0");
    EXPECT_EQ(UserDefaults::standard()->path(), plat::Paths::preferences() / "potemaru.plist");
    plat::Bundle::resetMainInfoValues();
    EXPECT_EQ(UserDefaults::standard()->path(), plat::Paths::preferences() / "platform_tests.plist");
}
