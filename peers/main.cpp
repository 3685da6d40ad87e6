// potemaru-peers: the outside parties on 127.0.0.1.
//   potemaru-peers [--port N] [--tls-port N] [--data DIR] [--record FILE] [--endpoints-out FILE]
//   potemaru-peers --help | --version
// Prints its port on the first line of stdout once it serves, and its https port on the second when it
// serves https; stops cleanly on SIGTERM or SIGINT.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// Made by the build: the project's version (POTEMARU_VERSION).
#include "PotemaruVersion.h"
#include "peers/PeerServer.h"
#include "platform/net/Endpoints.h"
#include "platform/runloop/QuitSignals.h"
#include "platform/runloop/Thread.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/ProgramFiles.h"

namespace {

constexpr const char* kUsage =
    "usage: potemaru-peers [--port N] [--tls-port N] [--data DIR] [--record FILE]\n"
    "                      [--endpoints-out FILE]\n"
    "       potemaru-peers --help | --version\n"
    "\n"
    "Serves the ad server, the collection server and the tag-manager server on 127.0.0.1 until SIGTERM or\n"
    "SIGINT; prints its port (and its https port) once it serves.\n"
    "\n"
    "  --port N               http port (default 0: any free one)\n"
    "  --tls-port N           https port (default 0: any free one)\n"
    "  --data DIR             the files it serves (default: the installed share/potemaru-sdk/peers/data)\n"
    "  --record FILE          append what it receives (hits, reports) as JSON lines\n"
    "  --endpoints-out FILE   write its endpoints for potemaru --endpoints and the SDKs\n"
    "  --help                 this text\n"
    "  --version              the version\n";

int usage(const char* why) {
    std::fprintf(stderr, "potemaru-peers: %s\n%s", why, kUsage);
    return 2;
}

// The installed data and certificates: beside the program, else where Linux programs look for data; the
// build's own program, not installed, serves the committed ones. Empty folders when none is found.
plat::DataSearch setDefaultFolders(peers::PeerServer::Options& options) {
    plat::DataSearch search = plat::findData(plat::sdkDataFolder() / "peers", "peers", "data/README.txt");
    if (!search.found.empty()) {
        options.dataDir = (search.found / "data").string();
        options.tlsDir = (search.found / "tls").string();
    }
    return search;
}

}  // namespace

int main(int argc, char** argv) {
    peers::PeerServer::Options options;
    const plat::DataSearch installed = setDefaultFolders(options);
    std::string endpointsOut;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("potemaru-peers %s\n", POTEMARU_VERSION);
            return 0;
        }
        if (a != "--port" && a != "--tls-port" && a != "--data" && a != "--record" && a != "--endpoints-out")
            return usage(("unknown option \"" + a + "\"").c_str());
        if (i + 1 >= argc) return usage((a + " needs a value").c_str());
        std::string v = argv[++i];
        if (a == "--port" || a == "--tls-port") {
            char* end = nullptr;
            long port = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || port < 0 || port > 65535)
                return usage((a + " needs a number from 0 to 65535").c_str());
            (a == "--port" ? options.port : options.tlsPort) = static_cast<int>(port);
        } else if (a == "--data") {
            options.dataDir = v;
        } else if (a == "--record") {
            options.recordFile = v;
        } else {  // --endpoints-out
            endpointsOut = v;
        }
    }
    if (options.dataDir.empty()) {
        std::fprintf(stderr,
                     "potemaru-peers: its data is missing: looked for data/README.txt in %s (--data DIR "
                     "names another folder)\n",
                     installed.lookedList().c_str());
        return 1;
    }
    if (!std::filesystem::is_directory(options.dataDir))
        return usage(("no data folder " + options.dataDir).c_str());

    // The signals are taken by sigwait below, never by a server thread.
    const sigset_t stopSignals = plat::QuitSignals::set();
    plat::Thread::holdQuitsBack();
    signal(SIGPIPE, SIG_IGN);

    peers::PeerServer server(options);
    peers::addRoutes(server);
    if (!server.start()) return 1;
    if (!endpointsOut.empty() &&
        !plat::writeFileAtomically(endpointsOut, plat::Endpoints::toJson(server.endpoints()))) {
        std::fprintf(stderr, "potemaru-peers: cannot write %s\n", endpointsOut.c_str());
        return 1;
    }
    std::printf("%d\n", server.port());
    if (server.tlsPort() > 0) std::printf("%d\n", server.tlsPort());
    std::fflush(stdout);

    int signalNumber = 0;
    sigwait(&stopSignals, &signalNumber);
    server.stop();
    return 0;
}
