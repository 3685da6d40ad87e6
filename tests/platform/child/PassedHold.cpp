// Holds a home, marks itself ending and passes the hold on through an exec of itself, as a relaunch does;
// the program it becomes holds the home again.
//   platform_passed_hold <home> plain|quit
// With "quit", a SIGTERM waits, held back, through the exec. Prints "held" once the new program holds the
// home, then waits for the end of its standard input and exits with 0; 1 when a hold failed.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/storage/Paths.h"

extern char** environ;

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    if (!plat::Paths::holdHome(argv[1])) return 1;
    if (argc > 3) {
        std::puts("held");
        std::fflush(stdout);
        char byte;
        while (::read(STDIN_FILENO, &byte, 1) > 0) {
        }
        return 0;
    }
    plat::Paths::markEnding();
    if (std::strcmp(argv[2], "quit") == 0) {
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
