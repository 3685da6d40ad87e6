// A container of the tag manager, as an app uses one: open it by its id (the server sends the current
// version; later launches start from the copy saved on the device), give it the app's own function-call
// handler, push events into the data layer, and send the pixel hits its tags left.
//   tagmanager_example --endpoints FILE [--home DIR] [--captures DIR]
// FILE names the tag-manager server (its "tagmanager.server" entry, as potemaru-peers writes it; with
// none the download fails at once and the example says so). The
// saved container, the data layer's store and the hits waiting to be sent live under the home folder
// (default: DIR/home, or a fresh folder in /tmp).
//
// The example container "CTR-EXAMPLE" has one rule: when the event is "go", three tags fire: a pixel to
// the server ("_img"), a write of "done" into the data layer ("_dlw") and the app's handler "example"
// ("_func"). Any other event fires nothing.
//
// A push runs the containers' rules on the pushing thread, and a "_dlw" tag's own pushes run them again:
// a container whose tags keep pushing their own event makes push() throw the exception named
// "ZAVListenerPushLoop" after 500 such updates. This container's write carries no event, so it cannot.
//
// Before it returns the app calls ZODAruzivu::shutdown(), which waits until the saved container, the data
// layer's store and the waiting hits are written and ends the tag manager's threads.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "ExampleSetup.h"
#include "platform/net/Endpoints.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Paths.h"
#include "tagmanager/ZODAruzivu.h"
#include "tagmanager/base/ZAVEndpoints.h"
#include "tagmanager/container/ZAVContainer.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tagmanager/values/ZAVObject.h"

namespace {

constexpr const char* kContainerId = "CTR-EXAMPLE";
constexpr double kWaitSeconds = 30;

int fail(const std::string& why) {
    std::fprintf(stderr, "tagmanager_example: %s\n", why.c_str());
    return 1;
}

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Turns the main run loop (where downloads and timers of the container run) until `done`, at most
// kWaitSeconds; false when it never came.
bool runUntil(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(kWaitSeconds);
    while (!done() && std::chrono::steady_clock::now() < until) plat::RunLoop::main().runOnce(0.05);
    return done();
}

// What the container reports while it loads. The first report (a saved-copy read beginning) comes from a
// worker thread, the rest on the main thread.
class LoadReport : public ZAVContainerCallback {
  public:
    void containerRefreshBegin(const std::shared_ptr<ZAVContainer>&, uint32_t refreshType) override {
        say(refreshType == ZAVRefreshTypeSaved ? "  reading the copy saved on this device..."
                                               : "  downloading from the server...");
    }
    void containerRefreshSuccess(const std::shared_ptr<ZAVContainer>& container,
                                 uint32_t refreshType) override {
        say(std::string(refreshType == ZAVRefreshTypeSaved ? "  saved copy" : "  downloaded") +
            ": version \"" + container->resourceVersion() + "\"");
        settled = true;
    }
    void containerRefreshFailure(const std::shared_ptr<ZAVContainer>&, uint32_t failure,
                                 uint32_t refreshType) override {
        if (refreshType == ZAVRefreshTypeSaved) {
            say(failure == ZAVRefreshFailureNoSavedContainer ? "  no saved copy yet (a first launch)"
                                                             : "  the saved copy cannot be used");
            return;  // a download follows at once
        }
        say("  the download failed (failure kind " + std::to_string(failure) + ")");
        settled = true;
        downloadFailed = true;
    }
    std::atomic<bool> settled{false};
    std::atomic<bool> downloadFailed{false};
};

// The app's side of the container's "_func" tag: the container calls it by the name the tag gives.
class ExampleHandler : public ZAVFunctionCallTagHandler {
  public:
    void execute(const std::string& tagName, const Parameters& parameters) override {
        auto event = parameters.find("event");
        say("    _func: the app's handler \"" + tagName + "\" ran, with event = " +
            (event == parameters.end() || !event->second ? "(none)" : event->second->description()));
        ++calls;
    }
    std::atomic<int> calls{0};
};

// Prints every change of the data layer: the app's own pushes and what the "_dlw" tag writes.
class DataLayerPrinter : public ZAVDataLayerListener {
  public:
    void changed(const ZAVObjectPtr& update) override {
        if (!update || !update->isMap() || update->objectForKey("event"))
            return;  // the app's pushes are shown
        say("    _dlw: the data layer got " + update->description());
    }
};

// One dispatch of both hit senders (the tag manager's and the analytics SDK's); its outcome, or -1 when
// none came in time. Senders answer on their own threads.
int dispatchOnce(ZODAruzivu& tagManager) {
    auto outcome = std::make_shared<std::atomic<int>>(-1);
    tagManager.dispatchWithCompletionHandler([outcome](int result) { *outcome = result; });
    runUntil([&] { return *outcome >= 0; });
    return *outcome;
}

int runExample(const ExampleSetup& setup) {
    auto tagManager = ZODAruzivu::instance();
    // Hits go out only when the app dispatches, so what this prints stays in step with what is sent.
    tagManager->setDispatchInterval(0);

    const std::string server = ZAVEndpoints::isConfigured(false) ? ZAVEndpoints::serverAddress() : "none";
    say(std::string("Opening container ") + kContainerId + " (server " + server + ")");
    say("  (this app ships no default copy of the container, so the tag manager logs that it starts empty)");
    auto report = std::make_shared<LoadReport>();
    auto container = tagManager->openContainerById(kContainerId, report);
    if (!container) return fail("the container could not be opened");
    if (!runUntil([&] { return report->settled.load(); }))
        return fail("the container neither loaded nor failed within " + std::to_string(int(kWaitSeconds)) +
                    " s");
    if (container->isDefault() && !ZAVEndpoints::isConfigured(false))
        return fail("no container: " + setup.endpoints +
                    " names no tag-manager server (its \"tagmanager\" section), so nothing was asked");
    if (container->isDefault())
        return fail(report->downloadFailed ? "no container: is potemaru-peers running at the address above?"
                                           : "the container has no rules");

    auto handler = std::make_shared<ExampleHandler>();
    container->registerFunctionCallTagHandler(handler, "example");
    tagManager->dataLayer()->registerListener(std::make_shared<DataLayerPrinter>());

    int pixelsSent = 0;
    for (const char* event : {"stop", "go"}) {
        say(std::string("push {event: ") + event + "}");
        const int before = handler->calls;
        const auto doneBefore = tagManager->dataLayer()->get("done");
        // The push runs the container's rules on this thread; the tags fire before it returns.
        tagManager->dataLayer()->push(ZAVObject::map({{ZAVObject::text("event"), ZAVObject::text(event)}}));
        const bool handled = handler->calls > before;
        const bool wrote = tagManager->dataLayer()->get("done") != doneBefore;
        // Pixel hits wait on the device until a dispatch sends them.
        int sent = 0, outcome;
        while ((outcome = dispatchOnce(*tagManager)) == 1) ++sent;
        if (sent > 0) say("    _img: " + std::to_string(sent) + " pixel hit(s) sent to the server");
        if (outcome != 0) return fail(outcome < 0 ? "a dispatch did not answer" : "the server refused a hit");
        if (!handled && !wrote && sent == 0) say("    no tag fired");
        pixelsSent += sent;
    }

    const auto done = tagManager->dataLayer()->get("done");
    say(std::string("data layer \"done\" = ") + (done ? done->description() : "(not set)"));
    container->close();
    if (handler->calls != 1)
        return fail("the handler ran " + std::to_string(handler->calls.load()) + " times, not once");
    if (!done || !done->boolValue()) return fail("the container's write of \"done\" did not come");
    if (pixelsSent != 1) return fail(std::to_string(pixelsSent) + " pixel hits went out, not 1");
    say("All three tags fired on \"go\", none on \"stop\".");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    ExampleSetup setup;
    std::string why;
    if (!setUpExample(argc, argv, "tagmanager_example", false, setup, why)) return fail(why);
    const int result = runExample(setup);
    ZODAruzivu::shutdown();
    return result;
}
