#include "game/shell/ShellSession.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

#include "chime/AudioEngine.h"
#include "game/AppDelegate.h"
#include "game/GameGlobals.h"
#include "game/shell/AppController.h"
#include "game/shell/ShellScript.h"
#include "game/shell/WindowPlacement.h"
#include "kite/core/KTDirector.h"
#include "kite/platform/linux/KTHeadlessDriver.h"
#include "kite/platform/linux/KTScreen.h"
#include "kite/platform/linux/KTWindowDriver.h"
#include "platform/base/Clock.h"
#include "platform/base/Descriptors.h"
#include "platform/base/InheritedChildren.h"
#include "platform/base/Log.h"
#include "platform/base/Random.h"
#include "platform/media/AudioSession.h"
#include "platform/media/GLContext.h"
#include "platform/runloop/QuitSignals.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/Paths.h"
#include "platform/storage/ProgramFiles.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace fs = std::filesystem;

namespace {

// Open files: what a game needs to play, twice the most one was seen to hold with a banner and a popup
// showing (the GL driver, the web engine's views and its process, the stores, the sound device, the
// reserve); and how far the soft limit is raised toward the hard one.
constexpr unsigned long long kDescriptorsNeeded = 128;
constexpr unsigned long long kDescriptorsWanted = 1024;
// Open when the game starts: the standard streams, and the home's hold after a relaunch.
constexpr unsigned long long kOwnDescriptors = 4;
// The headless mix: its sample rate, and the virtual clock's frames per second it follows.
constexpr int kMixRate = 44100;
constexpr int kHeadlessFramesPerSecond = 60;

// Quits (SIGINT, SIGTERM, SIGHUP) are taken the moment they arrive by a thread of their own
// (plat::QuitSignals, installed first in main): the home is marked ending at once, so a game started on it
// meanwhile waits for this one, and the main run loop is woken. The app then leaves the way closing the
// window does: through the background, which stores the time and the timers and waits until the settings
// file holds them. A way out that has not finished within 10 s is ended with one line.

// The exit status of a run that a signal asked to end, or that ran out of open files.
int quitStatus(int status) {
    if (const int signal = plat::QuitSignals::signalled()) return 128 + signal;
    return plat::outOfDescriptors() && status == 0 ? 1 : status;
}

// Waits on the main run loop for each of `children` until it has ended. For when the run loop's clock is
// set: a timer added before a virtual clock replaces the real one would be due at the real clock's time.
void reapOnTheRunLoop(const std::shared_ptr<plat::InheritedChildren>& children) {
    if (children->reapEnded()) return;
    constexpr double kInterval = 0.2;
    auto timer = std::make_shared<plat::RunLoop::TimerId>(0);
    *timer = plat::RunLoop::main().addTimer(
        kInterval,
        [children, timer] {
            if (children->reapEnded()) plat::RunLoop::main().cancelTimer(*timer);
        },
        kInterval);
}

std::shared_ptr<plat::ApplicationDelegate> makeAppController() {
    return std::make_shared<AppController>();
}

// A headless run makes its mix by the frame (runHeadless), so the virtual clock decides where each sound
// falls; a window's mix is made in real time by the output OpenAL picks, which reads that choice once, when
// the audio engine first opens a device.
bool headlessRun(const ShellOptions& o) {
    const char* display = std::getenv("DISPLAY");
    return o.headless || !display || !*display;
}

bool setUpAudio(const ShellOptions& o) {
    // OpenAL reads its log level once, at its first call: without a sound card it would complain at every
    // start. Set before OpenAL or any other thread of the game reads the environment.
    setenv("ALSOFT_LOGLEVEL", "0", 0);
    plat::quietSoundLibraries();
    if (o.audio == ShellOptions::Audio::Null) {
        setenv("ALSOFT_DRIVERS", "null", 1);
    } else if (o.audio == ShellOptions::Audio::Wave && !headlessRun(o)) {
        const fs::path conf = plat::Paths::tmp() / "alsoft-wave.conf";
        const std::string text =
            "[general]\ndrivers=wave\n[wave]\nfile=" + fs::absolute(o.audioFile).string() + "\n";
        if (!plat::writeFileAtomically(conf, text)) return false;
        setenv("ALSOFT_CONF", conf.c_str(), 1);
        setenv("ALSOFT_DRIVERS", "wave", 1);
    }
    return true;
}

// Whether `file` can be opened for writing, tried for real (a folder's permissions say nothing of a file
// system that takes no new files, such as /proc's): a file made for the test goes again, and one that was
// there keeps its content until the run writes it.
bool canWriteFile(const fs::path& file, std::string* why) {
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(file.c_str());
        return true;
    }
    if (errno == EEXIST) fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    *why = std::strerror(errno);
    return false;
}

// Outputs that could never be written are refused before anything starts, with one line each: the
// run would otherwise play to its end and report success with nothing written.
bool checkOutputs(const ShellOptions& o) {
    std::error_code ec;
    if (o.audio == ShellOptions::Audio::Wave) {
        const fs::path file = fs::absolute(o.audioFile, ec);
        std::string why;
        if (fs::is_directory(file, ec)) {
            std::fprintf(stderr, "potemaru: --audio wave:%s names a folder, not a file\n",
                         o.audioFile.c_str());
            return false;
        }
        if (!canWriteFile(file, &why)) {
            std::fprintf(stderr, "potemaru: --audio wave:%s cannot be written (%s)\n", o.audioFile.c_str(),
                         why.c_str());
            return false;
        }
    }
    if (!o.captureDir.empty()) {
        if (fs::exists(o.captureDir, ec) && !fs::is_directory(o.captureDir, ec)) {
            std::fprintf(stderr, "potemaru: --capture %s is a file, not a folder\n", o.captureDir.c_str());
            return false;
        }
        fs::create_directories(o.captureDir, ec);
        if (!fs::is_directory(o.captureDir, ec) || access(o.captureDir.c_str(), W_OK) != 0) {
            std::fprintf(stderr, "potemaru: --capture %s is not a folder that can be written\n",
                         o.captureDir.c_str());
            return false;
        }
    }
    return true;
}

void syncScreen() {
    const kite::KTRect b = kite::KTScreen::mainScreen().bounds();
    plat::Screen::main().setBounds({b.origin.x, b.origin.y, b.size.width, b.size.height},
                                   kite::KTScreen::mainScreen().scale());
}

// The program's own file as found at its start, before anything could change the working folder.
const fs::path& programAtStart() {
    static const fs::path self = plat::executablePath();
    return self;
}

// Ends this program and starts it again with the same options, going on at `nextFrame` with the wall
// clock at `wallMicros`. Returns only when the new program could not be started (1), or when a quit was
// asked for before the exec (0; the program then ends as a quit ends it).
int relaunch(plat::Application& app, const std::vector<std::string>& args, int64_t nextFrame,
             int64_t wallMicros) {
    app.enterBackground();
    plat::QuitSignals::storedOnTheWayOut();
    app.terminate();
    // The name it was started by goes on, and with it the process's name (main sets it from this).
    std::vector<std::string> next{program_invocation_name};
    next.insert(next.end(), args.begin(), args.end());
    // The stored dates go on running as far ahead: settled afresh from the home, the time the clock moved
    // on since the last store (a jump in the background) would come off that, never to count as time away.
    // What goes on passes in the environment, to the new program only: it is not a user's to give.
    std::string resume = ShellOptions::resumeEntry(nextFrame, wallMicros, GameGlobals::storedDatesAhead);
    std::vector<char*> argv;
    for (auto& a : next) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The sound device closes first, so a mix written to a file is complete.
    ::AudioEngine::end();
    plat::AudioFrameMix::end();
    std::fflush(stdout);
    std::fflush(stderr);
    // Asked to quit on the way: this program ends here, its progress stored on the way to the background.
    // Once the quits' thread has stopped taking them, one that comes waits, pending, through the exec for the
    // program this one becomes; the thread marks the home ending for it all the same, and the mark stays
    // through the exec, so a game started meanwhile waits for this one.
    plat::QuitSignals::stopWatching();
    if (plat::QuitSignals::signalled()) return 0;
    // Only the standard streams and the home's hold go on into the new program: what libraries opened
    // without close-on-exec would pile up with every relaunch, and keep the processes they talk to (the
    // web engine's) from seeing this program end.
    plat::closeOnExecAll();
    // The home stays held through the exec: no other program can take it while this one starts again.
    std::string hold = plat::Paths::passHoldOnExec();
    std::vector<char*> environment;
    for (char** e = environ; *e; ++e) environment.push_back(*e);
    if (!hold.empty()) environment.push_back(hold.data());
    environment.push_back(resume.data());
    environment.push_back(nullptr);
    // The program's own file by the path found at the start (/proc hidden too), so that the process keeps
    // its name through the exec; the kernel's link to it when that path now names another file (replaced
    // by a build meanwhile).
    const fs::path& self = programAtStart();
    struct stat running {
    }, named{};
    const bool replaced = ::stat("/proc/self/exe", &running) == 0 &&
                          (::stat(self.c_str(), &named) != 0 || running.st_dev != named.st_dev ||
                           running.st_ino != named.st_ino);
    execve(self.empty() || replaced ? "/proc/self/exe" : self.c_str(), argv.data(), environment.data());
    plat::logError("potemaru: could not start again for the relaunch");
    return 1;
}

int runHeadless(const ShellOptions& o, const std::vector<std::string>& args,
                const std::shared_ptr<plat::InheritedChildren>& inherited) {
    ShellScript script;
    std::string error;
    if (!o.script.empty() && !script.load(o.script, o.resumeFrame, &error)) {
        std::fprintf(stderr, "potemaru: script %s: %s\n", o.script.c_str(), error.c_str());
        return 2;
    }
    // Without EGL nothing can be drawn: one line, before anything starts.
    std::string why;
    if (!plat::GLContext::headlessAvailable(&why)) {
        std::fprintf(stderr, "potemaru: no usable EGL display for headless drawing: %s\n", why.c_str());
        return 1;
    }
    auto clock = std::make_shared<plat::VirtualClock>(
        o.resumeWallMicros.value_or(plat::VirtualClock::kDefaultStartMicros));
    plat::Clock::setShared(clock);
    if (o.resumeDatesAhead) AppDelegate::carryStoredDates(*o.resumeDatesAhead);
    // The mix follows the frames: frame n's sound starts at sample n * rate / 60, in every run alike. After a
    // relaunch the file goes on where the program before left it.
    if (o.audio == ShellOptions::Audio::Wave &&
        !plat::AudioFrameMix::begin(fs::absolute(o.audioFile).string(), kMixRate, kHeadlessFramesPerSecond,
                                    o.resumeFrame, &why)) {
        std::fprintf(stderr, "potemaru: --audio wave:%s cannot be written (%s)\n", o.audioFile.c_str(),
                     why.c_str());
        return 1;
    }
    reapOnTheRunLoop(inherited);

    int status = 0;
    {
        kite::KTHeadlessDriver driver;
        syncScreen();
        driver.setScript(script.takeDriverScript());
        fs::path captures = o.captureDir.empty() ? fs::path(".") : fs::path(o.captureDir);
        driver.setCaptureDirectory(captures);

        const int64_t last = o.frames           ? *o.frames
                             : script.hasQuit() ? ShellOptions::kMaxFrames
                                                : ShellOptions::kDefaultHeadlessFrames;
        AppController::setGLViewFactory(
            [&driver](const kite::KTRect&, GLenum depthFormat) { return driver.createView(depthFormat); });

        status = plat::Application::main(0, nullptr, makeAppController, [&](plat::Application& app) {
            const auto& events = script.events();
            size_t next = 0;
            for (int64_t frame = o.resumeFrame; frame <= last; ++frame) {
                bool relaunchAfter = false;
                for (; next < events.size() && events[next].frame <= frame; ++next) {
                    if (events[next].frame < frame) continue;
                    switch (events[next].kind) {
                        case ShellEvent::Background:
                            app.enterBackground();
                            break;
                        case ShellEvent::Foreground:
                            app.enterForeground();
                            app.becomeActive();
                            break;
                        case ShellEvent::Jump:
                            clock->jumpWallMicros(std::llround(events[next].seconds * 1e6));
                            break;
                        case ShellEvent::Relaunch:
                            relaunchAfter = true;
                            break;
                    }
                }
                driver.runFrames(1);
                plat::AudioFrameMix::renderFrame();
                if (o.captureEvery > 0 && frame % o.captureEvery == 0) {
                    char name[40];
                    std::snprintf(name, sizeof name, "frame%06lld.png", static_cast<long long>(frame));
                    driver.capture(captures / name);
                }
                if (driver.quitRequested() || plat::QuitSignals::signalled() || plat::outOfDescriptors())
                    break;
                if (relaunchAfter && frame < last) return relaunch(app, args, frame + 1, clock->nowMicros());
            }
            // However the run ends, the app leaves through the background, as on the phone; a game
            // started on this home meanwhile waits for that.
            plat::Paths::markEnding();
            app.enterBackground();
            plat::QuitSignals::storedOnTheWayOut();
            return 0;
        });
        AppController::setGLViewFactory(nullptr);
    }
    // The virtual clock stays until the process ends: the SDKs' worker threads keep timers on it, and the
    // wall clock, months after the virtual start, would make them all due at once while the program exits
    // (the analytics dispatcher would then take the hits just stored for expired and delete them).
    return status;
}

// The game's icons at the sizes it installs: the installed ones, or the checkout's for the build's own
// program.
std::vector<fs::path> gameIcons() {
    std::vector<fs::path> icons;
    const fs::path checkout = plat::checkoutFolder();
    for (const char* size : {"256", "128", "64", "48"}) {
        std::error_code ec;
        const fs::path installed =
            plat::installedDataPath(fs::path("icons/hicolor") / (std::string(size) + "x" + size) / "apps" /
                                    (std::string(AppController::kAppIdentifier) + ".png"));
        const fs::path own = checkout.empty()
                                 ? fs::path()
                                 : checkout / "packaging/icons" / (std::string("icon-") + size + ".png");
        if (!installed.empty() && fs::is_regular_file(installed, ec))
            icons.push_back(installed);
        else if (!own.empty() && fs::is_regular_file(own, ec))
            icons.push_back(own);
    }
    return icons;
}

// The window as the player leaves it, for the next run to open alike; after the play is stored, as a
// failing write of this file must not hold that up.
void keepPlacement(const plat::X11Window& window) {
    if (window.normalWidth() <= 0 || window.normalHeight() <= 0) return;
    const WindowPlacement placement{window.normalWidth(), window.normalHeight(), window.isFullscreen()};
    placement.save(WindowPlacement::defaultPath());
}

// The window fitted to the screen, or at the size that --scale names; the last run's size when it fits, and
// fullscreen when asked for or when the last run ended so.
plat::X11WindowOptions windowOptions(const ShellOptions& o, const std::string& startupId) {
    plat::X11WindowOptions options;
    // The window as the desktop knows the game: the menu entry's name, its StartupWMClass and icons.
    options.title = "Potemaru";
    options.instanceName = "potemaru";
    options.className = "Potemaru";
    options.iconFiles = gameIcons();
    options.startupId = startupId;
    options.scale = o.scale;
    options.fitToScreen = !o.scaleGiven;
    options.fullscreen = o.fullscreen;
    if (const auto kept = WindowPlacement::load(WindowPlacement::defaultPath())) {
        options.keptWidth = kept->width;
        options.keptHeight = kept->height;
        options.fullscreen = options.fullscreen || kept->fullscreen;
    }
    return options;
}

int runWindow(const ShellOptions& o, std::unique_ptr<kite::KTWindowDriver> driver,
              const std::shared_ptr<plat::InheritedChildren>& inherited) {
    reapOnTheRunLoop(inherited);
    if (!o.script.empty() || !o.captureDir.empty())
        plat::logWarning("potemaru: --script and --capture apply to headless runs; the window ignores them");
    syncScreen();
    AppController::setGLViewFactory(
        [&driver](const kite::KTRect&, GLenum depthFormat) { return driver->createView(depthFormat); });
    int status = plat::Application::main(0, nullptr, makeAppController, [&](plat::Application& app) {
        app.setOpensURLsOnDesktop(true);
        kite::KTWindowDriver::Lifecycle lifecycle;
        lifecycle.resignActive = [&app] { app.resignActive(); };
        lifecycle.becomeActive = [&app] { app.becomeActive(); };
        lifecycle.enterBackground = [&app] { app.enterBackground(); };
        lifecycle.enterForeground = [&app] {
            app.enterForeground();
            app.becomeActive();
        };
        lifecycle.close = [] { plat::RunLoop::main().stop(); };
        driver->setLifecycle(std::move(lifecycle));
        plat::RunLoop::TimerId limit = 0;
        if (o.frames) {
            const int64_t frames = *o.frames;
            limit = plat::RunLoop::main().addTimer(
                0.05,
                [frames] {
                    if (kite::KTDirector::sharedDirector()->getTotalFrames() >= frames)
                        plat::RunLoop::main().stop();
                },
                0.05);
        }
        // Presenting a frame can pull X events into Xlib's queue, where the connection's file watch
        // never sees them; they are looked at between frames as well. A quit, and a close or the window's
        // end once read, stop the run loop from here too: they are kept, and no single stop can lose them.
        plat::X11Window& window = driver->window();
        const plat::RunLoop::TimerId events = plat::RunLoop::main().addTimer(
            1.0 / 120,
            [&window] {
                window.processEvents();
                // The launcher's startup feedback ends once the game shows its first frame.
                if (window.isVisible() && kite::KTDirector::sharedDirector()->getTotalFrames() > 0)
                    window.endStartup();
                if (plat::outOfDescriptors() || plat::QuitSignals::signalled() || window.closeRequested() ||
                    window.isGone())
                    plat::RunLoop::main().stop();
            },
            1.0 / 120);
        if (!plat::QuitSignals::signalled()) driver->run();
        plat::RunLoop::main().cancelTimer(events);
        if (limit) plat::RunLoop::main().cancelTimer(limit);
        // Closing or destroying the window, a lost X connection, the frame limit, a signal and running out
        // of open files all leave through the background; a lost connection ends with status 1.
        plat::Paths::markEnding();
        app.enterBackground();
        plat::QuitSignals::storedOnTheWayOut();
        keepPlacement(window);
        return window.connectionLost() ? 1 : 0;
    });
    AppController::setGLViewFactory(nullptr);
    return status;
}

}  // namespace

std::string describeNotifications() {
    std::string out;
    for (const auto& n : plat::Application::readNotifications(plat::Application::notificationsFile())) {
        const std::time_t t = static_cast<std::time_t>(std::floor(n.fireDate));
        std::tm tm{};
        gmtime_r(&t, &tm);
        char when[40];
        std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &tm);
        out += std::string(when) + "  " + n.timeZone + "  " + n.alertBody + "\n";
    }
    return out;
}

int runShellSession(const ShellOptions& o, const std::vector<std::string>& args,
                    const std::string& startupId) {
    if (o.help) {
        std::fputs(ShellOptions::usage().c_str(), stdout);
        // The folders as this program, in this environment, looks in them.
        for (const fs::path& folder : plat::Bundle::findDefaultResources().looked)
            std::printf("  %s\n", folder.c_str());
        return 0;
    }
    programAtStart();
    AppController::adoptIdentity();
    // Made here, so that the quits' thread only stops it.
    plat::RunLoop::main();
    plat::QuitSignals::setWake([] { plat::RunLoop::main().stop(); });
    // Short of open files, the graphics and web engine libraries fail, some by a crash: the game refuses to
    // start with one line instead, at a first start and after a relaunch alike. What counts is what is
    // free: descriptors inherited from the parent take from the same limit (the standard streams and
    // the home's hold, passed on by a relaunch, are the game's own), counted as main found them before it
    // opened any of its own (the quits' thread's).
    unsigned long long hardLimit = 0;
    const unsigned long long limit = plat::raiseDescriptorLimit(kDescriptorsWanted, &hardLimit);
    if (limit < kDescriptorsNeeded) {
        std::fprintf(stderr,
                     "potemaru: the limit of open files is %llu (hard limit %llu); the game needs %llu\n",
                     limit, hardLimit, kDescriptorsNeeded);
        return 1;
    }
    if (const unsigned long long open = plat::startingDescriptorCount(),
        inherited = open > kOwnDescriptors ? open - kOwnDescriptors : 0;
        limit - std::min(limit, inherited) < kDescriptorsNeeded) {
        std::fprintf(
            stderr,
            "potemaru: %llu of the %llu open files allowed (hard limit %llu) are taken by descriptors "
            "it was started with; the game needs %llu free\n",
            inherited, limit, hardLimit, kDescriptorsNeeded);
        return 1;
    }
    // The bundle's resources first: naming the home reads the bundle, which would otherwise look for the
    // assets itself, so the search runs once. What is missing is said below, in its turn.
    std::error_code resourcesError;
    const bool resourcesGiven = !o.resources.empty();
    const bool resourcesAFolder = resourcesGiven && fs::is_directory(o.resources, resourcesError);
    const plat::DataSearch assets =
        resourcesGiven ? plat::DataSearch{} : plat::Bundle::findDefaultResources();
    if (resourcesAFolder) plat::Bundle::setMainResourcePath(fs::absolute(o.resources));
    if (!assets.found.empty()) plat::Bundle::setMainResourcePath(assets.found);
    // The home is held before any file of it is read or written: a second program on it would write
    // its progress over this one's. That program ends here with one line and leaves the home as it is.
    const fs::path home = o.home.empty() ? plat::Paths::defaultHome() : fs::path(o.home);
    // No home at all was said in its line: the user has none, and --home names one.
    if (home.empty()) return 1;
    std::string inUse;
    if (!plat::Paths::holdHome(home, &inUse)) {
        // Asked to quit while it waited for the home: it ends as asked, having touched nothing.
        if (plat::QuitSignals::signalled()) return quitStatus(1);
        if (!inUse.empty())
            std::fprintf(stderr, "potemaru: %s (a home is held by one game at a time)\n", inUse.c_str());
        else
            std::fprintf(stderr, "potemaru: cannot use %s as the app's home\n", home.c_str());
        return 1;
    }
    if (o.notifications) {
        std::string list = describeNotifications();
        std::fputs(list.empty() ? "no reminders scheduled\n" : list.c_str(), stdout);
        return 0;
    }
    // Children left by the program this one was before a relaunch's exec, known before this one starts any
    // of its own; then the descriptors kept for the way out, should the others run out.
    const auto inherited = std::make_shared<plat::InheritedChildren>(plat::InheritedChildren::now());
    plat::reserveDescriptors();
    if (resourcesGiven && !resourcesAFolder) {
        std::fprintf(stderr, "potemaru: %s is not a folder of resources\n", o.resources.c_str());
        return 1;
    }
    if (!resourcesGiven && assets.found.empty()) {
        // Without its pictures and sounds the game would draw an empty field: it ends before any window.
        std::fprintf(stderr,
                     "potemaru: the game's assets are missing: looked for chara.csv in %s (--resources DIR "
                     "names another folder)\n",
                     assets.lookedList().c_str());
        return 1;
    }
    if (!checkOutputs(o)) return 1;
    if (!setUpAudio(o)) return 1;
    if (o.seed) plat::Random::setFixedSeed(*o.seed);

    // A quit during the start (one carried through a relaunch's exec among them) ends it here: the program
    // this one was stored the play before its exec, and nothing was played since.
    if (plat::QuitSignals::signalled()) return quitStatus(0);
    const char* display = std::getenv("DISPLAY");
    int status = -1;
    if (!o.headless && display && *display) {
        if (auto driver = kite::KTWindowDriver::create(windowOptions(o, startupId)))
            status = runWindow(o, std::move(driver), inherited);
        else
            plat::logWarning("potemaru: no window could be opened on %s; running headless", display);
    }
    if (status < 0) status = runHeadless(o, args, inherited);
    ::AudioEngine::end();
    plat::AudioFrameMix::end();
    return quitStatus(status);
}
