// Screen views with the analytics SDK, as an app sends them: a tracker for the app's tracking id, one
// screen view per screen the user sees, and dispatches until nothing is left to send.
//   analytics_screen_views --endpoints FILE [--home DIR] [--captures DIR]
// FILE names the collection server (its "analytics" section, as potemaru-peers writes it). The SDK keeps
// its hits under the home folder (default: DIR/home, else the app's own home) until they are delivered.
// The app gives its identity first: its hits name it, and its home is named after it.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "ExampleSetup.h"
#include "analytics/RUV.h"
#include "analytics/base/RUVFields.h"
#include "analytics/hits/RUVDictionaryBuilder.h"
#include "platform/net/Endpoints.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/Paths.h"

namespace {

int fail(const std::string& why) {
    std::fprintf(stderr, "analytics_screen_views: %s\n", why.c_str());
    return 1;
}

// One dispatch; the SDK answers on its own thread, while this one keeps the main run loop (where the
// SDK watches the network's reachability) turning. -1 when no answer came within 30 s.
int dispatchOnce() {
    auto outcome = std::make_shared<std::atomic<int>>(-1);
    RUV::sharedInstance()->dispatchWithCompletionHandler([outcome](RUVDispatchOutcome o) { *outcome = o; });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (*outcome < 0 && std::chrono::steady_clock::now() < until) plat::RunLoop::main().runOnce(0.05);
    return *outcome;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything reads the bundle or the home: the identifier, name and version the hits carry.
    plat::Bundle::setMainIdentity("org.example.screenviews", "screenviews", "1.2");
    ExampleSetup setup;
    std::string why;
    if (!setUpExample(argc, argv, "analytics_screen_views", false, setup, why)) return fail(why);

    // The first tracker made becomes the default one.
    auto tracker = RUV::sharedInstance()->trackerWithTrackingId("UA-27182818-1");
    if (!tracker) return fail("no tracker: the SDK could not open its hit store under " + setup.home);

    for (const char* screen : {"Title", "Level 1", "Level 2"}) {
        // The screen name stays on the tracker for every later hit, until the next screen replaces it.
        tracker->set(RUVFieldScreenName, screen);
        tracker->send(RUVDictionaryBuilder::createScreenView()->build());
        std::printf("screen view \"%s\" queued\n", screen);
    }

    // 1: hits went out; 0: nothing left to send; 2: the server or the network refused them (they stay
    // stored for the next try).
    for (int attempt = 1; attempt <= 10; ++attempt) {
        const int outcome = dispatchOnce();
        std::printf("dispatch %d: %d\n", attempt, outcome);
        std::fflush(stdout);
        if (outcome == RUVDispatchOutcomeNothingSent) return 0;
        if (outcome != RUVDispatchOutcomeSent)
            return fail(outcome < 0 ? "the dispatch did not answer"
                                    : "the collection server refused the hits");
    }
    return fail("hits were still waiting after ten dispatches");
}
