#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Locale.h"
#include "platform/base/Log.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "platform/storage/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "tests/support/TestSupport.h"

using plat::Application;
using plat::Bundle;
using plat::Locale;
using plat::Value;

namespace {

// Sets (or, for null, clears) locale variables for its lifetime.
class LocaleEnv {
  public:
    LocaleEnv(const char* lcAll, const char* lang, const char* language = nullptr) {
        set("LC_ALL", lcAll);
        set("LC_MESSAGES", nullptr);
        set("LANG", lang);
        set("LANGUAGE", language);
    }
    ~LocaleEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) {
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                ::unsetenv(it->first.c_str());
            }
        }
    }

  private:
    void set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Records every notification posted while it lives.
class Recorder {
  public:
    Recorder() {
        token_ =
            plat::NotificationCenter::defaultCenter().addObserver("", [this](const plat::Notification& n) {
                names.push_back(n.name + (n.sender == expected ? "" : " (other sender)"));
            });
    }
    ~Recorder() { plat::NotificationCenter::defaultCenter().removeObserver(token_); }
    std::vector<std::string> names;
    const void* expected = nullptr;

  private:
    plat::NotificationCenter::Token token_;
};

}  // namespace

TEST(Application, LifeCyclePostsTheNotificationsInOrder) {
    Application app;
    Recorder recorder;
    recorder.expected = &app;
    ASSERT_TRUE(app.launch());
    app.becomeActive();
    app.enterBackground();
    app.enterBackground();  // already there: nothing more
    app.becomeActive();     // comes to the front first
    app.terminate();
    app.resignActive();  // terminated: nothing more
    EXPECT_EQ(recorder.names, (std::vector<std::string>{
                                  Application::kDidBecomeActiveNotification,
                                  Application::kWillResignActiveNotification,
                                  Application::kDidEnterBackgroundNotification,
                                  Application::kWillEnterForegroundNotification,
                                  Application::kDidBecomeActiveNotification,
                                  Application::kWillTerminateNotification,
                              }));
    EXPECT_STREQ(Application::kWillResignActiveNotification, "UIApplicationWillResignActiveNotification");
    EXPECT_STREQ(Application::kWillTerminateNotification, "UIApplicationWillTerminateNotification");
    EXPECT_STREQ(Application::kDidBecomeActiveNotification, "UIApplicationDidBecomeActiveNotification");
}

TEST(Application, NothingIsPostedBeforeLaunch) {
    Recorder recorder;
    Application app;
    app.becomeActive();
    app.enterBackground();
    app.terminate();
    EXPECT_TRUE(recorder.names.empty());
}

TEST(Application, ANotificationsFileThatCannotBeReadIsNotWrittenOver) {
    testsupport::TempHome home;
    const auto file = Application::notificationsFile();
    std::filesystem::create_directories(file.parent_path());
    // More than a property list may hold: there, but not read (and cheap, as a sparse file).
    const auto size = plat::PropertyList::kMaxInputSize + 1;
    testsupport::writeFile(file, "<?xml");
    std::filesystem::resize_file(file, size);
    plat::LogCapture capture;
    Application app;
    app.scheduleLocalNotification({1767229200, "UTC", "later", "default"});
    EXPECT_EQ(std::filesystem::file_size(file), size);
    EXPECT_EQ(capture.lines().size(), 2u);
}

TEST(Bundle, MainBundleIsTheProgramsUntilTheAppGivesItsIdentity) {
    Bundle::resetMainInfoValues();
    Bundle main = Bundle::main();
    // Nothing of another app: the program's own file name, and no identifier or version.
    EXPECT_EQ(main.objectForInfoDictionaryKey(Bundle::kNameKey), Value("platform_tests"));
    EXPECT_EQ(main.appName(), "platform_tests");
    EXPECT_EQ(main.bundleIdentifier(), "");
    EXPECT_TRUE(main.objectForInfoDictionaryKey(Bundle::kShortVersionKey).isNull());
    EXPECT_TRUE(main.objectForInfoDictionaryKey("NoSuchKey").isNull());

    Bundle::resetMainInfoValues();
    Bundle::setMainIdentity("org.example.app", "Example", "2.1");
    EXPECT_EQ(Bundle::main().bundleIdentifier(), "org.example.app");
    EXPECT_EQ(Bundle::main().appName(), "Example");
    EXPECT_EQ(Bundle::main().objectForInfoDictionaryKey(Bundle::kShortVersionKey), Value("2.1"));
    Bundle::setMainInfoValue(Bundle::kShortVersionKey, Value("2.5"));
    Bundle::setMainInfoValue(Bundle::kNameKey, Value());
    EXPECT_EQ(Bundle::main().objectForInfoDictionaryKey(Bundle::kShortVersionKey), Value("2.5"));
    EXPECT_TRUE(Bundle::main().objectForInfoDictionaryKey(Bundle::kNameKey).isNull());
    EXPECT_EQ(Bundle::main().appName(), "platform_tests");
    Bundle::setMainInfoValue(Bundle::kNameKey, Value("../up"));  // never a folder elsewhere
    EXPECT_EQ(Bundle::main().appName(), "platform_tests");
    EXPECT_EQ(main.bundleIdentifier(), "");  // an earlier copy keeps its values
    Bundle::resetMainInfoValues();
    EXPECT_EQ(Bundle::main().appName(), "platform_tests");
}

// Once the bundle or the home was read, something may be named after the identity: a later one is refused.
TEST(Bundle, IdentityGivenAfterTheBundleOrTheHomeWasReadIsRefused) {
    for (const bool home : {false, true}) {
        Bundle::resetMainInfoValues();
        home ? (void)plat::Paths::home() : (void)Bundle::main();
        plat::LogCapture capture;
        EXPECT_FALSE(Bundle::setMainIdentity("org.example.late", "Late", "9"));
        EXPECT_EQ(capture.lines().size(), 1u);
        EXPECT_EQ(Bundle::main().bundleIdentifier(), "");
    }
    Bundle::resetMainInfoValues();
}

// A name with a control character, or too long for "<name>.plist", from the app or its Info.plist alike.
TEST(Bundle, ANameThatCannotNameAFileGivesWayToTheProgramsName) {
    for (const std::string& name : {std::string("Tags\nDemo"), std::string(250, 'n')}) {
        Bundle::setMainInfoValue(Bundle::kNameKey, Value(name));
        EXPECT_EQ(Bundle::main().appName(), "platform_tests");
    }
    Bundle::resetMainInfoValues();
    testsupport::TempDir dir;
    testsupport::writeFile(dir.path() / "Info.plist",
                           "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                           "<key>CFBundleName</key><string>A\tB</string></dict></plist>");
    testsupport::ResourcePathScope resources(dir.path());
    EXPECT_EQ(Bundle::main().appName(), "platform_tests");
}

// A kept name stores the settings, and leaves room for the last name a damaged file is set aside under.
// Names of 238 to 249 bytes used to be kept while their saves' temporary names were too long.
TEST(Bundle, EveryNameKeptStoresTheSettingsUnderIt) {
    testsupport::TempHome home;
    size_t longestKept = 0;
    for (size_t size = 200; size <= 255; ++size) {
        const std::string name(size, 'n'), file = (plat::Paths::preferences() / name).string() + ".plist";
        Bundle::setMainInfoValue(Bundle::kNameKey, Value(name));
        if (Bundle::main().appName() != name) continue;
        longestKept = size;
        auto store = plat::UserDefaults::create(file);
        store->setInteger(7, "level");
        EXPECT_TRUE(store->synchronize()) << size;
        EXPECT_TRUE(std::ofstream(file + ".unreadable-1000").good()) << size;
    }
    Bundle::resetMainInfoValues();
    EXPECT_GE(longestKept, 200u);
}

TEST(Bundle, InfoFileAtTheResourceRootOverridesTheDefaults) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.path() / "Info.plist",
                           "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
                           "<string>test.bundle</string><key>Extra</key><integer>7</integer></dict></plist>");
    EXPECT_EQ(Bundle(dir.path()).bundleIdentifier(), "test.bundle");
    EXPECT_TRUE(Bundle(dir.path()).objectForInfoDictionaryKey(Bundle::kNameKey).isNull());

    Bundle::setMainResourcePath(dir.path());
    Bundle::setMainInfoValue("Extra", Value(8));
    EXPECT_EQ(Bundle::main().bundleIdentifier(), "test.bundle");
    EXPECT_EQ(Bundle::main().objectForInfoDictionaryKey("Extra"), Value(8));
    EXPECT_TRUE(Bundle::main().objectForInfoDictionaryKey(Bundle::kNameKey).isString());
    Bundle::resetMainInfoValues();
    Bundle::setMainResourcePath({});

    testsupport::writeFile(dir.path() / "Info.plist", "not a plist");
    plat::LogCapture capture;
    EXPECT_TRUE(Bundle(dir.path()).infoDictionary().empty());
    EXPECT_TRUE(capture.contains("Info.plist"));
}

TEST(Locale, LanguageAndRegionFromTheEnvironment) {
    {
        LocaleEnv env(nullptr, "ja_JP.UTF-8");
        Locale locale = Locale::current();
        EXPECT_EQ(locale.identifier(), "ja_JP");
        EXPECT_EQ(locale.languageCode(), "ja");
        EXPECT_EQ(locale.countryCode(), "JP");
        auto languages = Locale::preferredLanguages();
        ASSERT_EQ(languages, (std::vector<std::string>{"ja"}));
        // The forms the SDKs build: "ja-jp" in a user agent, "jp" as the country.
        std::string country = locale.countryCode();
        for (char& c : country) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(languages[0] + "-" + country, "ja-jp");
    }
    {
        LocaleEnv env("fr_CA.UTF-8@euro", "ja_JP.UTF-8", "pt_BR:ja:fr");
        EXPECT_EQ(Locale::current().identifier(), "fr_CA");
        EXPECT_EQ(Locale::preferredLanguages(), (std::vector<std::string>{"pt-BR", "ja", "fr"}));
    }
    {
        LocaleEnv env(nullptr, "de_DE", "it:!!:en_GB");
        EXPECT_EQ(Locale::preferredLanguages(), (std::vector<std::string>{"it", "en-GB", "de"}));
    }
    for (const char* plain : {"C", "POSIX", "C.UTF-8", "", "1234"}) {
        LocaleEnv env(nullptr, plain, "ja");
        EXPECT_EQ(Locale::current().identifier(), "en_US") << plain;
        EXPECT_EQ(Locale::preferredLanguages().back(), "en") << plain;
    }
    EXPECT_EQ(Locale("ko").identifier(), "ko");
    EXPECT_EQ(Locale("ko").countryCode(), "");
}

TEST(Device, HardwareMachineComesFromTheKernel) {
    struct utsname names {};
    ASSERT_EQ(::uname(&names), 0);
    const plat::Device& device = plat::Device::current();
    EXPECT_EQ(device.hardwareMachine(), names.machine);
    EXPECT_FALSE(device.systemName().empty());
    EXPECT_GE(device.systemVersionNumber(), 6.0);
}
