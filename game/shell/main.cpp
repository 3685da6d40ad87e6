// The potemaru program: the game in an X11 window, or headless for scripted runs.
#include <errno.h>
#include <malloc.h>
#include <sys/prctl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "game/AppDelegate.h"
#include "game/shell/ShellOptions.h"
#include "game/shell/ShellSession.h"
#include "platform/base/Descriptors.h"
#include "platform/runloop/QuitSignals.h"
#include "platform/runloop/Thread.h"
#include "platform/storage/Paths.h"
#include "platform/ui/Application.h"
#include "tagmanager/base/ZAVAdIdAccess.h"
#include "tagmanager/datalayer/ZAVAutoEventTracking.h"

// The engine's one application object, made before main runs.
static AppDelegate appDelegateInstance;

int main(int argc, char** argv) {
    // The launcher's startup sequence is this program's to end, once its window shows: taken out of the
    // environment before any thread could read it, so nothing the game starts (the browser) takes it for
    // its own.
    const char* startupVariable = std::getenv("DESKTOP_STARTUP_ID");
    std::string startupId = startupVariable ? startupVariable : "";
    unsetenv("DESKTOP_STARTUP_ID");
    // Before any library starts a thread: every thread inherits the mask, so a quit (Ctrl-C, SIGTERM, a
    // hangup) goes to the one thread that takes it the moment it comes, marks the home ending at once and
    // wakes the main loop; one that comes during a relaunch's exec waits for the program it becomes. A
    // write to a connection whose other end is gone (the X server's, at a logout) fails with EPIPE instead
    // of ending the game before it could store the play.
    plat::Thread::holdQuitsBack();
    // The web engine looks for the accessibility bus as it starts its first web process and, where there is
    // none (a headless run, a console), says so on standard error as if the game had failed. The ads are
    // drawn into the game's own frame, which no assistive tool reads: an empty address makes the engine
    // look for none. An address the player set stays; the empty one is not passed to the browser the game
    // opens.
    if (!std::getenv("WEBKIT_A11Y_BUS_ADDRESS")) {
        setenv("WEBKIT_A11Y_BUS_ADDRESS", "", 0);
        plat::Application::keepFromChildren("WEBKIT_A11Y_BUS_ADDRESS");
    }
    // Before anything opens a file: a standard stream the game was started without is /dev/null, so no
    // file of the game (the quits' own, the home's hold) takes its number. What is open then is what the
    // game was started with; what it opens from here on is its own.
    plat::openClosedStandardStreams();
    plat::noteStartingDescriptors();
    plat::QuitSignals::install([](int) { plat::Paths::markEnding(); }, 10.0, 60.0,
                               "potemaru: the game did not end within 10 s of %s: the play since it was last "
                               "stored could not be stored",
                               "potemaru: the play is stored, but the game did not end within 10 s of %s");
    // The home a relaunch passed on is marked at a quit from here on, before the session holds it.
    plat::Paths::adoptPassedHold();
    // Named as it was started (argv[0]), through a relaunch too: one that had to exec /proc/self/exe
    // would be named "exe" otherwise.
    prctl(PR_SET_NAME, program_invocation_short_name);
    // The GL driver allocates and frees around every draw; glibc's defaults hand that memory back to the
    // kernel and take it again each frame (page clearing in the profile). Up to 16 MB freed at the top of
    // the heap stays for the next frame, and only blocks of 1 MB or more (pictures, frame buffers) get
    // their own mappings, which go back to the kernel when freed.
    mallopt(M_TRIM_THRESHOLD, 16 << 20);
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    auto options = ShellOptions::parse(args, &error);
    if (!options) {
        std::fprintf(stderr, "potemaru: %s\n", error.c_str());
        return 2;
    }
    options->takeResume();
    if (options->version) {
        std::printf("%s\n", ShellOptions::versionLine().c_str());
        return 0;
    }
    // What the tag manager does at load time, whether or not the app ever uses it: the advertising-id
    // provider lookup and the screen-event hooks of every view controller.
    ZAVAdIdAccess::load();
    ZAVAutoEventTracking::load();
    return runShellSession(*options, args, startupId);
}
