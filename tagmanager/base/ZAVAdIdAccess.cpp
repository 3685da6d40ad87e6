#include "tagmanager/base/ZAVAdIdAccess.h"

#include <memory>
#include <mutex>

#include "platform/base/ClassRegistry.h"

namespace {

std::mutex& providerMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<ZAVAdIdAccessProtocol>& providerSlot() {
    static std::shared_ptr<ZAVAdIdAccessProtocol> p;
    return p;
}

std::shared_ptr<ZAVAdIdAccessProtocol> provider() {
    std::lock_guard<std::mutex> lock(providerMutex());
    return providerSlot();
}

}  // namespace

void ZAVAdIdAccess::load() {
    auto found = plat::ClassRegistry::shared().provider<plat::ClassObject>(kProviderClassName);
    auto adopted = std::dynamic_pointer_cast<ZAVAdIdAccessProtocol>(found);
    std::lock_guard<std::mutex> lock(providerMutex());
    providerSlot() = std::move(adopted);
}

std::string ZAVAdIdAccess::retrieveId() {
    auto p = provider();
    return p ? p->retrieveId() : std::string();
}

bool ZAVAdIdAccess::retrieveTrackingFlag() {
    auto p = provider();
    return p && p->retrieveTrackingFlag();
}

void ZAVAdIdAccess::forgetProvider() {
    std::lock_guard<std::mutex> lock(providerMutex());
    providerSlot().reset();
}
