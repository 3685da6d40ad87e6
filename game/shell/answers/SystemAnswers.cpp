// The game's own answers to three calls of the libraries it loads: the C library's process spawns and
// libxcb's maximum request length. Only the potemaru program (and the test programs that stand in for it)
// link this file, and they export the names (the link options of `systemanswers`), so that libraries loaded
// at run time (the GL driver, the web engine's) bind to these answers. No library of the SDK defines them:
// an app keeps the C library's own, or defines its own.
#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <cstdint>

#include "platform/runloop/QuitSignals.h"

namespace {

using Spawn = int (*)(pid_t*, const char*, const posix_spawn_file_actions_t*, const posix_spawnattr_t*,
                      char* const[], char* const[]);

}  // namespace

// A sanitizer's runtime answers for posix_spawn itself (it checks the arguments' memory); a definition in the
// program takes the name from it, so the spawn goes on through the runtime's own entry when there is one.
extern "C" int __interceptor_posix_spawn(pid_t*, const char*, const posix_spawn_file_actions_t*,
                                         const posix_spawnattr_t*, char* const[], char* const[])
    __attribute__((weak));
extern "C" int __interceptor_posix_spawnp(pid_t*, const char*, const posix_spawn_file_actions_t*,
                                          const posix_spawnattr_t*, char* const[], char* const[])
    __attribute__((weak));

namespace {

// Spawns through `next` (the sanitizer's entry, else the C library's), the child beginning with the quits
// let through, and with them and SIGPIPE at their defaults (the program catches SIGPIPE, and the web engine's
// socket library leaves it ignored): what the caller's attributes leave unset. A quit or SIGPIPE that the
// program was started with ignored stays ignored, as the program began. A mask or defaults that the caller
// set are the child's as given.
int spawnWithDefaults(Spawn next, pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                      const posix_spawnattr_t* given, char* const argv[], char* const envp[]) {
    if (!next) return ENOSYS;
    short flags = 0;
    if (given) posix_spawnattr_getflags(given, &flags);
    if ((flags & POSIX_SPAWN_SETSIGMASK) && (flags & POSIX_SPAWN_SETSIGDEF))
        return next(pid, path, actions, given, argv, envp);
    posix_spawnattr_t attributes;
    if (given) {
        attributes = *given;
    } else {
        posix_spawnattr_init(&attributes);
    }
    const sigset_t quits = plat::QuitSignals::set();
    if (!(flags & POSIX_SPAWN_SETSIGMASK)) {
        sigset_t mask;
        pthread_sigmask(SIG_SETMASK, nullptr, &mask);
        for (int s = 1; s < NSIG; ++s)
            if (sigismember(&quits, s) == 1) sigdelset(&mask, s);
        posix_spawnattr_setsigmask(&attributes, &mask);
    }
    if (!(flags & POSIX_SPAWN_SETSIGDEF)) {
        sigset_t defaults = quits;
        if (!plat::QuitSignals::startedIgnoring(SIGPIPE)) sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
    }
    posix_spawnattr_setflags(&attributes,
                             static_cast<short>(flags | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));
    const int result = next(pid, path, actions, &attributes, argv, envp);
    if (!given) posix_spawnattr_destroy(&attributes);
    return result;
}

Spawn libraryEntry(Spawn sanitizers, const char* name) {
    return sanitizers ? sanitizers : reinterpret_cast<Spawn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int posix_spawn(pid_t* pid, const char* path,
                                                                  const posix_spawn_file_actions_t* actions,
                                                                  const posix_spawnattr_t* attributes,
                                                                  char* const argv[], char* const envp[]) {
    static const Spawn next = libraryEntry(&__interceptor_posix_spawn, "posix_spawn");
    return spawnWithDefaults(next, pid, path, actions, attributes, argv, envp);
}

extern "C" __attribute__((visibility("default"))) int posix_spawnp(pid_t* pid, const char* file,
                                                                   const posix_spawn_file_actions_t* actions,
                                                                   const posix_spawnattr_t* attributes,
                                                                   char* const argv[], char* const envp[]) {
    static const Spawn next = libraryEntry(&__interceptor_posix_spawnp, "posix_spawnp");
    return spawnWithDefaults(next, pid, file, actions, attributes, argv, envp);
}

// The GL driver's software present splits a frame into requests no longer than the connection's maximum
// request length, which reads 0 once the connection has failed (the X server gone, the client killed): the
// split then never advances and the present spins inside eglSwapBuffers for good, deaf to everything. The
// answer is the core protocol's own maximum on a failed connection, so the present runs through its
// requests, each of which fails at once, and returns; the window then finds the connection lost.
extern "C" __attribute__((visibility("default"))) uint32_t xcb_get_maximum_request_length(
    xcb_connection_t* connection) {
    using Length = uint32_t (*)(xcb_connection_t*);
    static const auto library = reinterpret_cast<Length>(dlsym(RTLD_NEXT, "xcb_get_maximum_request_length"));
    const uint32_t length = library ? library(connection) : 0;
    constexpr uint32_t kCoreMaximum = 65535;  // in 4-byte units
    return length ? length : kCoreMaximum;
}
