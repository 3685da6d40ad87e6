// Built into every benchmark program: the user's home and XDG folders are never a benchmark's. The program,
// and every program it starts, gets them in a temporary folder of its own, removed when it ends, as the test
// programs do. This runs before any other initialisation of the program, some of which reads them. Plain C:
// no C++ object is made yet.
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace {

char ownHome[4096];

__attribute__((constructor(101))) void useOwnHome() {
    const char* tmp = getenv("TMPDIR");
    snprintf(ownHome, sizeof ownHome, "%s/potemaru-bench-home-XXXXXX", tmp && *tmp ? tmp : "/tmp");
    if (!mkdtemp(ownHome)) {
        perror("cannot make the benchmark's own home folder");
        _Exit(2);
    }
    char path[sizeof ownHome + 32];
    const struct {
        const char* variable;
        const char* folder;
    } folders[] = {{"HOME", "home"},
                   {"XDG_DATA_HOME", "data"},
                   {"XDG_CONFIG_HOME", "config"},
                   {"XDG_CACHE_HOME", "cache"},
                   {"XDG_STATE_HOME", "state"},
                   {"XDG_RUNTIME_DIR", "runtime"}};
    for (const auto& f : folders) {
        snprintf(path, sizeof path, "%s/%s", ownHome, f.folder);
        mkdir(path, 0700);
        setenv(f.variable, path, 1);
    }
}

__attribute__((destructor(101))) void removeOwnHome() {
    if (!ownHome[0]) return;
    std::error_code ec;
    std::filesystem::remove_all(ownHome, ec);
}

}  // namespace
