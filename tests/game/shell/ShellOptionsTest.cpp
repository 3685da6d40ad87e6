#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "game/shell/ShellOptions.h"
#include "game/shell/ShellScript.h"

TEST(ShellOptions, ReadsEveryOptionAndRefusesBadValues) {
    std::string error;
    auto o = ShellOptions::parse(
        {"--headless",   "--frames", "300", "--script",    "s.txt",  "--capture",   "out", "--capture-every",
         "30",           "--seed",   "7",   "--home",      "/tmp/h", "--resources", "res", "--audio",
         "wave:mix.wav", "--scale",  "0.5", "--fullscreen"},
        &error);
    ASSERT_TRUE(o) << error;
    EXPECT_TRUE(o->headless);
    EXPECT_EQ(o->frames, 300);
    EXPECT_EQ(o->script, "s.txt");
    EXPECT_EQ(o->captureDir, "out");
    EXPECT_EQ(o->captureEvery, 30);
    EXPECT_EQ(o->seed, 7u);
    EXPECT_EQ(o->home, "/tmp/h");
    EXPECT_EQ(o->resources, "res");
    EXPECT_EQ(o->audio, ShellOptions::Audio::Wave);
    EXPECT_EQ(o->audioFile, "mix.wav");
    EXPECT_DOUBLE_EQ(o->scale, 0.5);
    EXPECT_TRUE(o->scaleGiven && o->fullscreen);
    EXPECT_EQ(o->resumeFrame, 1);

    auto null = ShellOptions::parse({"--audio", "null", "--notifications"}, &error);
    ASSERT_TRUE(null);
    EXPECT_EQ(null->audio, ShellOptions::Audio::Null);
    EXPECT_TRUE(null->notifications);

    for (std::vector<std::string> bad : {std::vector<std::string>{"--frames"},
                                         {"--frames", "0"},
                                         {"--frames", "12x"},
                                         {"--frames", "-5"},
                                         {"--audio", "speaker"},
                                         {"--audio", "wave:"},
                                         {"--scale", "0"},
                                         {"--scale", "nan"},
                                         {"--seed", "-1"},
                                         {"--capture-every", "10"},
                                         {"--bogus"},
                                         {"--home", ""},
                                         {"--frames", "99999999999999999999999"},
                                         {"--resume-frame", "2"},
                                         {"--resume-wall", "0"},
                                         {"--resume-dates-ahead", "9223372036854775807"}}) {
        error.clear();
        EXPECT_FALSE(ShellOptions::parse(bad, &error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
    EXPECT_NE(ShellOptions::usage().find("--capture-every"), std::string::npos);
}

TEST(ShellScript, LifecycleEventsStayWithTheShellAndTheRestGoesToTheDriver) {
    const std::string text =
        "# a session\n"
        "10 touch down 320 568\n"
        "12 touch up 320 568\n"
        "50 background   # leave\n"
        "50 jump 3600\n"
        "51 foreground\n"
        "60 capture a.png\n"
        "80 relaunch\n"
        "90 capture b.png\n"
        "120 quit\n";
    ShellScript script;
    std::string error;
    ASSERT_TRUE(script.parse(text, 1, &error)) << error;
    ASSERT_EQ(script.events().size(), 4u);
    EXPECT_EQ(script.events()[0].kind, ShellEvent::Background);
    EXPECT_EQ(script.events()[1].kind, ShellEvent::Jump);
    EXPECT_DOUBLE_EQ(script.events()[1].seconds, 3600);
    EXPECT_EQ(script.events()[3].kind, ShellEvent::Relaunch);
    EXPECT_EQ(script.events()[3].frame, 80);
    EXPECT_EQ(script.quitFrame(), 120);
    EXPECT_EQ(script.driverScript().events().size(), 5u);

    // Started again at frame 81: only what is still to come, with the driver counting from 1 again.
    ShellScript resumed;
    ASSERT_TRUE(resumed.parse(text, 81, &error)) << error;
    EXPECT_TRUE(resumed.events().empty());
    const auto& rest = resumed.driverScript().events();
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[0].kind, kite::KTDriverEvent::Capture);
    EXPECT_EQ(rest[0].frame, 10);
    EXPECT_EQ(rest[1].frame, 40);
    EXPECT_EQ(resumed.quitFrame(), 120);
}

TEST(ShellScript, BadLinesAreReportedWithTheirLineNumber) {
    std::string error;
    for (const char* bad : {"5 relaunch now", "5 jump", "5 jump 1e12", "5 jump x", "5 background 2",
                            "5 dance", "zero quit", "5 touch down 1"}) {
        ShellScript script;
        EXPECT_FALSE(script.parse(std::string("1 quit\n") + bad + "\n", 1, &error)) << bad;
        EXPECT_EQ(error.rfind("line 2:", 0), 0u) << bad << ": " << error;
    }
    ShellScript script;
    EXPECT_FALSE(script.load("/nonexistent/script.txt", 1, &error));
    EXPECT_EQ(error, "no such file");
    // A device has no end and no size to trust; it is refused before a byte is read.
    EXPECT_FALSE(script.load("/dev/zero", 1, &error));
    EXPECT_EQ(error, "is not a regular file");
    EXPECT_FALSE(script.load("/tmp", 1, &error));
    EXPECT_EQ(error, "is a folder, not a script file");
}

TEST(ShellOptions, VersionIsAnOptionOfItsOwnWithTheProgramsName) {
    std::string error;
    auto o = ShellOptions::parse({"--version"}, &error);
    ASSERT_TRUE(o) << error;
    EXPECT_TRUE(o->version);
    EXPECT_EQ(ShellOptions::versionLine().rfind("potemaru ", 0), 0u);
    EXPECT_NE(ShellOptions::usage().find("--version"), std::string::npos);
}

// What a relaunch hands on reaches the program this process becomes and no other: an entry naming another
// process (inherited, or set by hand) is dropped, and no program started later inherits either.
TEST(ShellOptions, OnlyTheRelaunchedProgramTakesTheResumeValues) {
    const std::string entry = ShellOptions::resumeEntry(81, -5, 42), fields = entry.substr(entry.find(':'));
    for (const pid_t pid : {getpid(), getpid() + 1}) {
        setenv("POTEMARU_RESUME", (std::to_string(pid) + fields).c_str(), 1);
        ShellOptions o;
        o.takeResume();
        EXPECT_EQ(o.resumeFrame, pid == getpid() ? 81 : 1);
        EXPECT_EQ(o.resumeDatesAhead, pid == getpid() ? std::optional<int64_t>(42) : std::nullopt);
        EXPECT_EQ(std::getenv("POTEMARU_RESUME"), nullptr);
    }
}
