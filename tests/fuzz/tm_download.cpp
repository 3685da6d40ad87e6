// A download's body as the loader meets it: a 200 reply of these bytes, parsed and reported. Exactly one
// report comes, a resource or failure 3 (the body does not parse), never a crash or a raise. A resource
// then goes on to a container as a download's result: it is adopted and saved, or refused and not saved.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/net/URLConnection.h"
#include "platform/net/URLResponse.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/container/ZAVContainer.h"
#include "tagmanager/container/ZAVNetworkLoadCallback.h"
#include "tagmanager/container/ZAVResourceLoader.h"
#include "tagmanager/container/ZAVResourceStorage.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
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

// Keeps nothing and has no defaults: the container starts empty, and only saves are counted.
struct NoStorage : ZAVResourceStorage {
    void setLoadCallback(std::shared_ptr<ZAVSavedResourceLoadCallback>) override {}
    void loadResourceFromDiskInBackground() override {}
    void saveResourceToDiskInBackground(std::shared_ptr<const ZAVPResourceWithMetadata>) override { ++saves; }
    std::shared_ptr<ZAVPResource> loadResourceFromContainerFile(const std::string&) override {
        return nullptr;
    }
    std::shared_ptr<const ZAVExpandedResource> loadExpandedResourceFromPlistFile(
        const std::string&) override {
        return nullptr;
    }
    std::shared_ptr<const ZAVExpandedResource> loadExpandedResourceFromJsonFile(const std::string&) override {
        return nullptr;
    }
    int saves = 0;
};

struct Owner : ZAVContainerOwner {
    int32_t refreshMode() const override { return kRefreshModeStandard; }
    std::shared_ptr<ZAVDataLayer> dataLayer() const override { return layer; }
    void removeContainerById(const std::string&) override {}
    std::shared_ptr<ZAVDataLayer> layer = ZAVDataLayer::create();
};

struct Heard : ZAVContainerCallback {
    void containerRefreshBegin(const std::shared_ptr<ZAVContainer>&, uint32_t) override {}
    void containerRefreshSuccess(const std::shared_ptr<ZAVContainer>&, uint32_t) override { ++successes; }
    void containerRefreshFailure(const std::shared_ptr<ZAVContainer>&, uint32_t, uint32_t) override {
        ++failures;
    }
    int successes = 0;
    int failures = 0;
};

// Exactly one outcome; what is adopted is saved, what is refused is not.
void adopt(const std::shared_ptr<ZAVPSupplementedResource>& message) {
    auto storage = std::make_shared<NoStorage>();
    auto heard = std::make_shared<Heard>();
    auto container = ZAVContainer::initWithId("CTR-FUZZ", std::make_shared<Owner>(), storage);
    ZAVNetworkLoadCallback::initWithCallback(heard, container)->onSuccess(message);
    if (heard->successes + heard->failures != 1) std::abort();
    if ((heard->successes == 1) != (storage->saves == 1)) std::abort();
    if (heard->successes == 1 && container->isDefault()) std::abort();
    container->close();
}

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
        adopt(report->message);
    } else if (report->failure != ZAVLoadFailureServerError &&
               !(report->failure == ZAVLoadFailureNotAvailable &&
                 size > ZAVResourceLoader::kMaxResponseBytes)) {
        std::abort();
    }
    return 0;
}
