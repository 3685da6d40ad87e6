// A download's body as the loader meets it: a 200 reply of these bytes, parsed and reported. Exactly one
// report comes, a resource or failure 3 (the body does not parse), never a crash or a raise.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/net/URLConnection.h"
#include "platform/net/URLResponse.h"
#include "tagmanager/ZAVLog.h"
#include "tagmanager/ZAVResourceLoader.h"
#include "wire/ZAVWireRootObject.h"
#include "wire/schema/ZAVPServing.h"

namespace {

struct Report : ZAVLoadCallback {
    void startLoad() override {}
    void onSuccess(const std::shared_ptr<ZAVPSupplementedResource>& resource) override {
        ++reports;
        message = resource;
    }
    void onFailure(uint32_t kind) override {
        ++reports;
        failure = kind;
    }
    int reports = 0;
    uint32_t failure = 0;
    std::shared_ptr<ZAVPSupplementedResource> message;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        ZAVLog::setLogger(nullptr);
        return true;
    }();
    (void)quiet;
    auto loader = ZAVResourceLoader::initWithContainerId("CTR-FUZZ");
    auto report = std::make_shared<Report>();
    loader->setCallback(report);
    // Never started: it only carries the delegate calls a real download would make.
    auto connection = plat::URLConnection::create(plat::URLRequest(loader->ctfeUrl()), loader, false);
    loader->connectionDidReceiveResponse(*connection, plat::URLResponse(loader->ctfeUrl(), 200, {}));
    loader->connectionDidReceiveData(*connection, plat::Bytes(data, data + size));
    loader->connectionDidFinishLoading(*connection);
    if (report->reports != 1) std::abort();
    if (report->message) {
        // What was accepted can be written back out.
        (void)report->message->data();
    } else if (report->failure != ZAVLoadFailureServerError &&
               !(report->failure == ZAVLoadFailureNotAvailable &&
                 size > ZAVResourceLoader::kMaxResponseBytes)) {
        std::abort();
    }
    return 0;
}
