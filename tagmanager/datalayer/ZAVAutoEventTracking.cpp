#include "tagmanager/datalayer/ZAVAutoEventTracking.h"

#include <atomic>
#include <mutex>
#include <utility>

#include "platform/ui/ViewController.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"

namespace {

// Read on the main thread while the facade may set them from anywhere: an atomic mask and a locked slot.
std::atomic<uint64_t> gMask{0};

std::mutex& dataLayerMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<ZAVDataLayer>& dataLayerSlot() {
    static std::shared_ptr<ZAVDataLayer> d;
    return d;
}

void pushIfWanted(const plat::ViewController& controller, uint64_t bit, const char* event) {
    if (!(gMask.load() & bit)) return;
    auto layer = ZAVAutoEventTracking::ZAVdataLayer();
    if (!layer) return;
    layer->push(ZAVAutoEventDataLayerAdapter::dictionaryForViewController(controller, event));
}

}  // namespace

void ZAVAutoEventTracking::load() {
    static std::once_flag once;
    std::call_once(once, [] {
        plat::ViewController::setViewDidAppearHook(&ZAVAutoEventTracking::ZODAruzivu_viewDidAppear);
        plat::ViewController::setViewDidDisappearHook(&ZAVAutoEventTracking::ZODAruzivu_viewDidDisappear);
    });
}

// The platform's own body has run by now: the hook is called at its end.
void ZAVAutoEventTracking::ZODAruzivu_viewDidAppear(plat::ViewController& controller, bool) {
    pushIfWanted(controller, kAppearBit, "vuz.activity_started");
}

void ZAVAutoEventTracking::ZODAruzivu_viewDidDisappear(plat::ViewController& controller, bool) {
    pushIfWanted(controller, kDisappearBit, "vuz.activity_ended");
}

void ZAVAutoEventTracking::setTAGAutoEventMask(uint64_t mask) {
    gMask.store(mask);
}

uint64_t ZAVAutoEventTracking::ZAVautoEventMask() {
    return gMask.load();
}

void ZAVAutoEventTracking::setTAGDataLayer(std::shared_ptr<ZAVDataLayer> dataLayer) {
    std::shared_ptr<ZAVDataLayer> previous;  // released outside the lock
    std::lock_guard<std::mutex> lock(dataLayerMutex());
    previous = std::exchange(dataLayerSlot(), std::move(dataLayer));
}

std::shared_ptr<ZAVDataLayer> ZAVAutoEventTracking::ZAVdataLayer() {
    std::lock_guard<std::mutex> lock(dataLayerMutex());
    return dataLayerSlot();
}

ZAVObjectPtr ZAVAutoEventDataLayerAdapter::dictionaryForViewController(const plat::ViewController& controller,
                                                                       const std::string& event) {
    auto vuz =
        ZAVObject::map({{ZAVObject::text("activity_screen_name"), ZAVObject::text(controller.title())},
                        {ZAVObject::text("activity_class_name"), ZAVObject::text(controller.className())}});
    return ZAVObject::map(
        {{ZAVObject::text("event"), ZAVObject::text(event)}, {ZAVObject::text("vuz"), vuz}});
}
