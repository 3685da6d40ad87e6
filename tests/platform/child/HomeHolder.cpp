// Holds a home for the home hold's tests, in one of these ways, and prints "held" once it does:
//   platform_home_holder <home> pass|pass-quit   marks itself ending and passes the hold on through an exec
//                                                of itself, as a relaunch does; the program it becomes holds
//                                                the home again ("pass-quit": with a SIGTERM held back
//                                                through the exec), then waits for the end of its input
//   platform_home_holder <home> linger <ms>      its main thread ends at once, while another keeps the hold
//                                                for that long
// Exits with 0, or 1 when a hold failed.
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/storage/Paths.h"

extern char** environ;

namespace {

void sayHeld() {
    std::puts("held");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string mode = argv[2];
    if (!plat::Paths::holdHome(argv[1])) return 1;
    if (mode == "linger" && argc > 3) {
        const long millis = std::atol(argv[3]);
        sayHeld();
        std::thread([millis] {
            ::usleep(static_cast<useconds_t>(millis) * 1000);
            ::_exit(0);
        }).detach();
        // The main thread alone ends: the process lingers, visibly ending, with its other thread.
        ::syscall(SYS_exit, 0);
    }
    if (argc > 3) {
        sayHeld();
        char byte;
        while (::read(STDIN_FILENO, &byte, 1) > 0) {
        }
        return 0;
    }
    plat::Paths::markEnding();
    if (mode == "pass-quit") {
        sigset_t quit;
        sigemptyset(&quit);
        sigaddset(&quit, SIGTERM);
        sigprocmask(SIG_BLOCK, &quit, nullptr);
        raise(SIGTERM);
    }
    std::string hold = plat::Paths::passHoldOnExec();
    std::vector<char*> environment;
    for (char** e = environ; *e; ++e) environment.push_back(*e);
    environment.push_back(hold.data());
    environment.push_back(nullptr);
    char again[] = "again";
    char* next[] = {argv[0], argv[1], argv[2], again, nullptr};
    ::execve("/proc/self/exe", next, environment.data());
    return 1;
}
