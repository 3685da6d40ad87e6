#pragma once
// The command line of the potemaru program.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ShellOptions {
    enum class Audio { Device, Null, Wave };

    bool help = false;
    bool version = false;  // --version: print versionLine() and exit
    bool notifications = false;
    bool headless = false;          // --headless, or no DISPLAY
    std::optional<int64_t> frames;  // the session's last frame
    std::string script;
    std::string captureDir;
    int64_t captureEvery = 0;
    std::optional<uint64_t> seed;
    std::string home;
    std::string resources;
    Audio audio = Audio::Device;
    std::string audioFile;  // --audio wave:FILE
    double scale = 1.0;
    // --endpoints FILE: parse() reads and checks it, and installs it as plat::Endpoints' file layer.
    std::string endpointsFile;
    // Set by a scripted relaunch for the program it starts again: the session's frame to go on with
    // and the wall clock (microseconds since 1970) at that moment.
    int64_t resumeFrame = 1;
    std::optional<int64_t> resumeWallMicros;
    // And how far the stored dates ran ahead of that clock (AppDelegate::nowSeconds), once it was settled.
    std::optional<int64_t> resumeDatesAhead;

    // Headless runs without a script that quits stop after this many frames.
    static constexpr int64_t kDefaultHeadlessFrames = 600;
    static constexpr int64_t kMaxFrames = int64_t(1) << 40;

    // Nothing (with `error` set) on an unknown option or a bad value.
    static std::optional<ShellOptions> parse(const std::vector<std::string>& args, std::string* error);
    static std::string usage();
    // "potemaru <version>", the version being the project's (CMakeLists.txt).
    static std::string versionLine();
};
