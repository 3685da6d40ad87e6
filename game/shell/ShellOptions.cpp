#include "game/shell/ShellOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include <unistd.h>

// Made by the build: the project's version (POTEMARU_VERSION).
#include "PotemaruVersion.h"
#include "platform/net/Endpoints.h"

namespace {

// Names the resume values a relaunch hands on: "<pid>:<frame>:<wall>[:<dates ahead>]". The process id is
// the relaunching one's, which its exec keeps: any other process that inherits the entry leaves it.
constexpr const char* kResume = "POTEMARU_RESUME";

bool toInt(const std::string& text, int64_t lo, int64_t hi, int64_t* out) {
    if (text.empty() || text.size() > 20) return false;
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno || *end != '\0' || value < lo || value > hi) return false;
    *out = value;
    return true;
}

}  // namespace

std::optional<ShellOptions> ShellOptions::parse(const std::vector<std::string>& args, std::string* error) {
    ShellOptions o;
    auto fail = [&](const std::string& why) -> std::optional<ShellOptions> {
        if (error) *error = why;
        return std::nullopt;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) return false;
            *out = args[++i];
            return true;
        };
        std::string v;
        int64_t n = 0;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--headless") {
            o.headless = true;
        } else if (a == "--notifications") {
            o.notifications = true;
        } else if (a == "--frames") {
            if (!value(&v) || !toInt(v, 1, kMaxFrames, &n))
                return fail("--frames needs a number of frames (1 or more)");
            o.frames = n;
        } else if (a == "--script") {
            if (!value(&o.script) || o.script.empty()) return fail("--script needs a file");
        } else if (a == "--capture") {
            if (!value(&o.captureDir) || o.captureDir.empty()) return fail("--capture needs a folder");
        } else if (a == "--capture-every") {
            if (!value(&v) || !toInt(v, 1, kMaxFrames, &n))
                return fail("--capture-every needs a number of frames");
            o.captureEvery = n;
        } else if (a == "--seed") {
            if (!value(&v) || !toInt(v, 0, INT64_MAX, &n)) return fail("--seed needs a number (0 or more)");
            o.seed = static_cast<uint64_t>(n);
        } else if (a == "--home") {
            if (!value(&o.home) || o.home.empty()) return fail("--home needs a folder");
        } else if (a == "--resources") {
            if (!value(&o.resources) || o.resources.empty()) return fail("--resources needs a folder");
        } else if (a == "--audio") {
            if (!value(&v)) return fail("--audio needs null or wave:FILE");
            if (v == "null") {
                o.audio = Audio::Null;
            } else if (v.rfind("wave:", 0) == 0 && v.size() > 5) {
                o.audio = Audio::Wave;
                o.audioFile = v.substr(5);
            } else {
                return fail("--audio needs null or wave:FILE");
            }
        } else if (a == "--scale") {
            char* end = nullptr;
            if (!value(&v)) return fail("--scale needs a number");
            double s = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !std::isfinite(s) || s < 0.25 || s > 4)
                return fail("--scale needs a number from 0.25 to 4");
            o.scale = s;
            o.scaleGiven = true;
        } else if (a == "--fullscreen") {
            o.fullscreen = true;
        } else if (a == "--endpoints") {
            if (!value(&o.endpointsFile) || o.endpointsFile.empty()) return fail("--endpoints needs a file");
            std::string why;
            if (!plat::Endpoints::loadFile(o.endpointsFile, &why))
                return fail("--endpoints " + o.endpointsFile + ": " + why);
        } else {
            return fail("unknown option \"" + a + "\" (see --help)");
        }
    }
    if (o.captureEvery > 0 && o.captureDir.empty()) return fail("--capture-every needs --capture DIR");
    return o;
}

std::string ShellOptions::usage() {
    return R"(usage: potemaru [options]

Plays in an X11 window when DISPLAY is set (the left mouse button is the finger), else headless.
The window opens at the largest size that, with its frame, fits the free area of the monitor (or at the
size it last had, when that still fits), and takes any size it is given; the picture keeps its shape,
centred, with black bars beside it. F11 or Alt+Enter: fullscreen on and off; Escape leaves fullscreen (and
otherwise is the back key: it closes the catalogue). The last size and fullscreen are kept in ${XDG_STATE_HOME:-~/.local/state}/potemaru.

  --headless            render off screen on a virtual clock (1/60 s per frame), even with a display
  --frames N            stop after frame N (headless default: 600, or the script's quit)
  --script FILE         headless events at given frames, one per line: "<frame> <event> [arguments]"
                          touch down|move|up X Y   finger at window pixels (640 x 1136, origin top left)
                          capture NAME.png         PNG of the frame (relative names go to --capture)
                          background | foreground  the app leaves for the background / comes back
                          jump SECONDS             the wall clock moves on (time spent away)
                          relaunch                 after this frame the app closes and starts again
                          quit                     the run ends after this frame
                        '#' starts a comment; background, foreground, jump and relaunch happen
                        before the frame's touches
  --capture DIR         folder for captures (created when missing)
  --capture-every N     capture every Nth frame as DIR/frameNNNNNN.png
  --seed N              fixed seed for all randomness
  --home DIR            the app's data (default ${XDG_DATA_HOME:-~/.local/share}/potemaru)
  --resources DIR       the app's pictures, sounds and chara.csv (default: the assets found as below)
  --audio null          no sound device (OpenAL null backend)
  --audio wave:FILE     write the mix to a WAV file (headless: made by the frame, the same for one script)
  --scale S             open the window at 640 x 1136 times S instead of fitting it (0.5 halves it); a size
                        that does not fit the screen is said once
  --fullscreen          open fullscreen
  --endpoints FILE      where the ad, analytics and tag-manager servers are (JSON written by potemaru-peers:
                        {"name": {"scheme": "http", "host": "127.0.0.1", "port": N}, ...})
  --notifications       list the scheduled reminders and exit
  --help                this text
  --version             the version

The assets are the first of these folders that holds chara.csv: <prefix>/share/games/potemaru/assets
beside the program (<prefix>/bin/potemaru or <prefix>/games/potemaru); for a program that a build made,
the checkout's assets; then games/potemaru/assets below $XDG_DATA_HOME (default ~/.local/share) and below
each folder of $XDG_DATA_DIRS (default /usr/local/share/:/usr/share/), a relative one skipped. Without
them the game exits 1 naming the folders; --resources DIR names another. This program looks in, up to
the first that holds them:
)";
}

std::string ShellOptions::resumeEntry(int64_t frame, int64_t wallMicros, std::optional<int64_t> datesAhead) {
    std::string entry = std::string(kResume) + "=" + std::to_string(::getpid()) + ":" +
                        std::to_string(frame) + ":" + std::to_string(wallMicros);
    if (datesAhead) entry += ":" + std::to_string(*datesAhead);
    return entry;
}

void ShellOptions::takeResume() {
    const char* passed = std::getenv(kResume);
    if (!passed) return;
    std::vector<std::string> fields(1);
    for (const char* c = passed; *c; ++c) {
        if (*c == ':')
            fields.emplace_back();
        else
            fields.back() += *c;
    }
    ::unsetenv(kResume);
    int64_t pid = 0, frame = 0, wall = 0, ahead = 0;
    if (fields.size() < 3 || fields.size() > 4 || !toInt(fields[0], 1, INT64_MAX, &pid) ||
        pid != ::getpid() || !toInt(fields[1], 1, kMaxFrames, &frame) ||
        !toInt(fields[2], INT64_MIN, INT64_MAX, &wall) ||
        (fields.size() == 4 && !toInt(fields[3], INT64_MIN, INT64_MAX, &ahead)))
        return;
    resumeFrame = frame;
    resumeWallMicros = wall;
    if (fields.size() == 4) resumeDatesAhead = ahead;
}

std::string ShellOptions::versionLine() {
    return std::string("potemaru ") + POTEMARU_VERSION;
}
