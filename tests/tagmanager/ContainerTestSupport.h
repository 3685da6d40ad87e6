#pragma once
// What the container tests share: a stand-in for the tag manager that owns containers, a container
// callback that writes down what it hears, and resources by name.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tagmanager/container/ZAVContainer.h"
#include "tagmanager/container/ZAVContainerOwner.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"
#include "tests/tagmanager/support/ResourceBuilder.h"
#include "wire/ZAVWireString.h"

namespace tmtest {

class TestOwner : public ZAVContainerOwner {
  public:
    int32_t refreshMode() const override { return mode; }
    std::shared_ptr<ZAVDataLayer> dataLayer() const override { return layer; }
    void removeContainerById(const std::string& containerId) override {
        std::lock_guard<std::mutex> lock(mutex);
        removed.push_back(containerId);
    }
    std::vector<std::string> removedIds() {
        std::lock_guard<std::mutex> lock(mutex);
        return removed;
    }

    int32_t mode = kRefreshModeStandard;
    std::shared_ptr<ZAVDataLayer> layer = ZAVDataLayer::create();
    std::mutex mutex;
    std::vector<std::string> removed;
};

// "begin <type>", "success <type>", "failure <kind> <type>"; the begin of a saved load comes from a
// worker thread.
class RecordingContainerCallback : public ZAVContainerCallback {
  public:
    void containerRefreshBegin(const std::shared_ptr<ZAVContainer>&, uint32_t refreshType) override {
        add("begin " + std::to_string(refreshType));
    }
    void containerRefreshSuccess(const std::shared_ptr<ZAVContainer>&, uint32_t refreshType) override {
        add("success " + std::to_string(refreshType));
    }
    void containerRefreshFailure(const std::shared_ptr<ZAVContainer>&, uint32_t failure,
                                 uint32_t refreshType) override {
        add("failure " + std::to_string(failure) + " " + std::to_string(refreshType));
    }
    std::vector<std::string> events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    size_t count(const std::string& event) const {
        size_t n = 0;
        for (const auto& e : events())
            if (e == event) ++n;
        return n;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
    }

  private:
    void add(std::string event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(event));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

// A resource whose macro "greeting" is the constant text, at the given version.
inline std::shared_ptr<ZAVPResource> greetingResource(const std::string& text,
                                                      const std::string& version = "1") {
    ResourceBuilder b;
    b.macro("greeting", "_c", {{"value", b.string(text)}});
    b.setVersion(version);
    return b.build();
}

// Parses, but the expansion refuses it: its rule names a predicate that is not there.
inline std::shared_ptr<ZAVPResource> invalidResource() {
    ResourceBuilder b;
    b.macro("greeting", "_c", {{"value", b.string("invalid")}});
    ResourceBuilder::Rule rule;
    rule.positive = {99};
    b.rule(rule);
    b.setVersion("bad");
    return b.build();
}

inline std::shared_ptr<ZAVPSupplementedResource> supplemented(std::shared_ptr<ZAVPResource> resource,
                                                              const std::string& fingerprint = "") {
    auto s = ZAVPSupplementedResource::message();
    if (resource) s->setResource(std::move(resource));
    if (!fingerprint.empty()) s->setFingerprint(ZAVWireString::create(fingerprint));
    return s;
}

inline std::string bytesOf(const ZAVWireGeneratedMessage& message) {
    auto data = message.data();
    return std::string(reinterpret_cast<const char*>(data->bytes()), data->length());
}

}  // namespace tmtest
