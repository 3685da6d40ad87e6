#pragma once
// The command line every example shares: --endpoints FILE (where the local peers listen), --home DIR (the
// app's home folder) and --captures DIR (where a run leaves what it saw). Loads the endpoints and holds and
// makes the home folder: by default <captures>/home, else the app's own home,
// ${XDG_DATA_HOME:-~/.local/share}/<the app's name>/.
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/net/Endpoints.h"
#include "platform/storage/Paths.h"

struct ExampleSetup {
    std::string endpoints;
    std::string home;
    std::string captures;
};

// False, with the reason (a usage line for a malformed command line), when the example cannot start.
inline bool setUpExample(int argc, char** argv, const std::string& program, bool capturesRequired,
                         ExampleSetup& setup, std::string& why) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--endpoints") {
            setup.endpoints = argv[i + 1];
        } else if (option == "--home") {
            setup.home = argv[i + 1];
        } else if (option == "--captures") {
            setup.captures = argv[i + 1];
        } else {
            why = "unknown option " + option;
            return false;
        }
    }
    if (setup.endpoints.empty() || argc % 2 == 0 || (capturesRequired && setup.captures.empty())) {
        why = "usage: " + program + " --endpoints FILE " +
              (capturesRequired ? "--captures DIR" : "[--captures DIR]") + " [--home DIR]";
        return false;
    }
    if (!plat::Endpoints::loadFile(setup.endpoints, &why)) {
        why = setup.endpoints + ": " + why;
        return false;
    }
    if (setup.home.empty())
        setup.home = setup.captures.empty() ? plat::Paths::defaultHome().string()
                                            : (std::filesystem::path(setup.captures) / "home").string();
    if (setup.home.empty()) {
        why = "no home folder for the app (--home DIR names one)";
        return false;
    }
    std::string inUse;
    if (!plat::Paths::holdHome(setup.home, &inUse)) {
        why = inUse.empty() ? "the home folder " + setup.home + " cannot be made" : inUse;
        return false;
    }
    return true;
}
