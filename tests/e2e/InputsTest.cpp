// Inputs and outputs the program cannot use are refused at start-up with one line, before anything
// runs: a script that is a device or a folder, a mix file in a folder that does not exist or that cannot
// be opened for writing, a capture folder that is a file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/e2e/E2ESupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

namespace fs = std::filesystem;
using e2e::Potemaru;

namespace {

std::vector<std::string> headless(const fs::path& home) {
    return {"--headless", "--home", home.string(), "--audio", "null", "--seed", "1", "--frames", "5"};
}

void expectRefused(Potemaru& run, const std::string& words) {
    SCOPED_TRACE(words);
    const std::string err = run.err();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("potemaru: ", 0), 0u) << err;
    EXPECT_NE(err.find(words), std::string::npos) << err;
}

}  // namespace

TEST(PotemaruInputs, AScriptThatIsADeviceOrAFolderIsRefused) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    Potemaru device(dir.path());
    auto args = headless(home);
    args.insert(args.end(), {"--script", "/dev/zero"});
    EXPECT_EQ(device.run(args), 2);
    expectRefused(device, "not a regular file");
    // Refused without reading: nowhere near the memory a read of the device would take. Under the address
    // sanitizer a spawned program's peak also counts the memory of the test program that started it, so
    // the figure says nothing there.
#ifndef POTEMARU_ASAN
    EXPECT_LT(device.maxResidentKb(), 100 * 1024);
#endif

    Potemaru folder(dir.path());
    args = headless(home);
    args.insert(args.end(), {"--script", dir.path().string()});
    EXPECT_EQ(folder.run(args), 2);
    expectRefused(folder, "is a folder");

    Potemaru missing(dir.path());
    args = headless(home);
    args.insert(args.end(), {"--script", (dir.path() / "none.txt").string()});
    EXPECT_EQ(missing.run(args), 2);
    expectRefused(missing, "no such file");
}

TEST(PotemaruInputs, OutputsThatCannotBeWrittenAreRefused) {
    testsupport::TempDir dir;
    const fs::path home = dir.path() / "home";
    Potemaru wave(dir.path());
    auto args = headless(home);
    args.insert(args.end(), {"--audio", "wave:" + (dir.path() / "no" / "such" / "mix.wav").string()});
    EXPECT_EQ(wave.run(args), 1);
    expectRefused(wave, "cannot be written");

    Potemaru waveFolder(dir.path());
    args = headless(home);
    args.insert(args.end(), {"--audio", "wave:" + dir.path().string()});
    EXPECT_EQ(waveFolder.run(args), 1);
    expectRefused(waveFolder, "names a folder");

    const fs::path file = dir.path() / "shots";
    testsupport::writeFile(file, "not a folder");
    Potemaru capture(dir.path());
    args = headless(home);
    args.insert(args.end(), {"--capture", file.string()});
    EXPECT_EQ(capture.run(args), 1);
    expectRefused(capture, "is a file");
    EXPECT_EQ(testsupport::readFile(file), "not a folder");

    // A capture folder that is missing is made, as before.
    Potemaru made(dir.path());
    args = headless(home);
    args.insert(args.end(), {"--capture", (dir.path() / "new" / "shots").string(), "--capture-every", "5"});
    EXPECT_EQ(made.run(args), 0) << made.err();
    EXPECT_TRUE(fs::exists(dir.path() / "new" / "shots" / "frame000005.png"));
}

TEST(PotemaruInputs, AMixFileThatCannotBeOpenedForWritingIsRefusedAndKept) {
    testsupport::TempDir dir;
    auto expectRefusedMix = [&](const fs::path& file, bool window) {
        Potemaru run(dir.path());
        auto args = headless(dir.path() / "home");
        if (window) args.erase(args.begin());
        args.insert(args.end(), {"--audio", "wave:" + file.string()});
        EXPECT_EQ(run.run(args), 1) << file;
        expectRefused(run, "cannot be written");
    };
    // No new files there, not even root's; a window's mix, made in real time, is refused alike.
    expectRefusedMix("/proc/potemaru-mix.wav", false);
    testsupport::XServer server;
    if (testsupport::onPath("Xvfb") && server.start()) expectRefusedMix("/proc/potemaru-mix.wav", true);
    // Root writes a read-only file all the same.
    if (geteuid() != 0) {
        const fs::path kept = dir.path() / "kept.wav";
        testsupport::writeFile(kept, "an earlier mix");
        fs::permissions(kept, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        expectRefusedMix(kept, false);
        EXPECT_EQ(testsupport::readFile(kept), "an earlier mix");
    }
}

TEST(PotemaruInputs, WithoutAUsableEglDisplayItSaysSoAndExitsOne) {
    testsupport::TempDir dir;
    // The EGL dispatch library then finds no driver at all.
    const char* previous = std::getenv("__EGL_VENDOR_LIBRARY_FILENAMES");
    const std::string saved = previous ? previous : "";
    setenv("__EGL_VENDOR_LIBRARY_FILENAMES", (dir.path() / "no-such-vendor.json").c_str(), 1);
    Potemaru run(dir.path());
    const int status = run.run(headless(dir.path() / "home"));
    if (previous)
        setenv("__EGL_VENDOR_LIBRARY_FILENAMES", saved.c_str(), 1);
    else
        unsetenv("__EGL_VENDOR_LIBRARY_FILENAMES");
    if (status == 0)
        GTEST_SKIP() << "this EGL library does not take its drivers from __EGL_VENDOR_LIBRARY_FILENAMES";
    EXPECT_EQ(status, 1) << run.err();
    expectRefused(run, "no usable EGL display");
}
