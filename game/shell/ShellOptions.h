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
    bool scaleGiven = false;  // --scale: the window opens at that size instead of one fitted to the screen
    bool fullscreen = false;  // --fullscreen
    // --endpoints FILE: parse() reads and checks it, and installs it as plat::Endpoints' file layer.
    std::string endpointsFile;
    // What a scripted relaunch hands the program it starts again, never the command line (takeResume): the
    // session's frame to go on with, the wall clock (microseconds since 1970) at that moment, and how far
    // the stored dates ran ahead of that clock (AppDelegate::nowSeconds), once it was settled.
    int64_t resumeFrame = 1;
    std::optional<int64_t> resumeWallMicros;
    std::optional<int64_t> resumeDatesAhead;

    // Headless runs without a script that quits stop after this many frames.
    static constexpr int64_t kDefaultHeadlessFrames = 600;
    static constexpr int64_t kMaxFrames = int64_t(1) << 40;

    // Nothing (with `error` set) on an unknown option or a bad value.
    static std::optional<ShellOptions> parse(const std::vector<std::string>& args, std::string* error);
    static std::string usage();
    // The environment entry ("NAME=value") that hands the resume values to the program this process becomes
    // by its next exec; only that program takes it.
    static std::string resumeEntry(int64_t frame, int64_t wallMicros, std::optional<int64_t> datesAhead);
    // Takes the resume values that the program this process was before its exec handed on, and removes the
    // entry, so no program this one starts inherits it; an entry made for another process (inherited, or
    // set by hand) is removed and changes nothing.
    void takeResume();
    // "potemaru <version>", the version being the project's (CMakeLists.txt).
    static std::string versionLine();
};
