// A process that exits while a thread of it sends HTTPS requests, as a worker queue that outlives main
// does. Its own program, linked with the platform alone as the game is: the test programs load the
// loopback server's HTTP library, which sets the TLS library up as it is loaded, exit handler and all.
//
//   platform_https_at_exit <url> <CA file>   exits with 0 once a request got through, 2 if none did
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/net/URLConnection.h"

int main(int argc, char** argv) {
    if (argc != 3) return 64;
    static std::atomic<int> answered{0};
    plat::URLRequest request(argv[1]);
    request.setCAFile(argv[2]);
    std::thread([request] {
        for (;;)
            if (plat::URLConnection::sendSynchronous(request, nullptr, nullptr)) ++answered;
    }).detach();
    // Main exits once the requests get through, so that the next one is on its way.
    for (int wait = 0; answered == 0 && wait < 30000; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::exit(answered > 0 ? 0 : 2);
}
