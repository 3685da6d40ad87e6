#pragma once
// The application's entry to the tag manager: one shared object that owns the data layer, keeps every
// open container by id, opens containers, enters and leaves preview mode, forwards hit dispatch to the
// tag hit dispatcher and to the analytics SDK, and lets the application replace the logger. A push into
// the data layer that carries "event" makes every open container evaluate its tags for that event.
//
// Locks: the class lock guards the shared instance; the manager's lock guards the container map, the
// server address and the open decision. The manager never calls into a container while it holds its own
// lock (a closing container holds its lock while it takes the manager's), so the order is always
// container, then manager.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/container/ZAVContainerOwner.h"
#include "tagmanager/container/ZAVLoadCallback.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"

class ZAVContainer;
class ZAVDataLayerPersistentStoreImpl;

class ZODAruzivu : public ZAVContainerOwner, public std::enable_shared_from_this<ZODAruzivu> {
  private:
    struct Private {
        explicit Private() = default;
    };

  public:
    // A dispatch result: 0 nothing sent, 1 sent, 2 failed.
    using DispatchHandler = std::function<void(int result)>;

    explicit ZODAruzivu(Private);
    ~ZODAruzivu() override;
    ZODAruzivu(const ZODAruzivu&) = delete;
    ZODAruzivu& operator=(const ZODAruzivu&) = delete;

    // The shared instance, made on first use (initWithSameInstance(true)).
    static std::shared_ptr<ZODAruzivu> init();
    // With true, the shared instance when there is one; otherwise a new manager with its own data layer,
    // which becomes the shared instance (replacing any earlier one).
    static std::shared_ptr<ZODAruzivu> initWithSameInstance(bool sameInstance);
    static std::shared_ptr<ZODAruzivu> instance();
    static void clearManagerInstance();
    static void notCalled() {}
    // Tests: forgets the shared instance, closes its open containers (which hold it) and waits until its
    // data layer has read the saved entries and written what was pushed, so that a new instance reads it.
    static void resetInstance();
    // The app's last call, before it returns from main: waits until everything the tag manager has to
    // write is written (saved containers, the data layer's store, the hit store, the pixel ids; pushes the
    // data layer's store cannot write on a last try are dropped, counted in one line), ends pending hit
    // requests (their hits stay stored for the next launch) and ends its threads. Use after it
    // starts afresh, with a new hit dispatcher at its default settings. An app that never calls it still
    // exits cleanly, with every completed download saved.
    static void shutdown();

    // ---- containers
    // None, with an error line and the callback never called, when the id is open already.
    std::shared_ptr<ZAVContainer> openContainerById(const std::string& containerId,
                                                    std::shared_ptr<ZAVContainerCallback> callback);
    // A new container of this manager; not kept in the map.
    std::shared_ptr<ZAVContainer> containerById(const std::string& containerId);
    std::shared_ptr<ZAVContainer> getContainerById(const std::string& containerId);
    void removeContainerById(const std::string& containerId) override;
    void refreshTagsInAllContainers(const std::string& eventName);
    // `url` is the URL's absolute text; none is no URL. True when it entered or ended a preview.
    bool previewWithUrl(const std::optional<std::string>& url);
    std::map<std::string, std::shared_ptr<ZAVContainer>> containers() const;

    // ---- logging
    std::shared_ptr<ZAVLogger> logger() const;
    void setLogger(std::shared_ptr<ZAVLogger> logger);

    // ---- dispatch
    void dispatch();
    double dispatchInterval();
    void setDispatchInterval(double seconds);
    // With a handler: the analytics SDK dispatches first; when it had nothing to send the tag hit
    // dispatcher runs with the handler, otherwise the handler hears the analytics SDK's 1 or 2.
    void dispatchWithCompletionHandler(DispatchHandler handler);

    // ---- settings
    // Given to containers opened later.
    std::optional<std::string> ctfeServerAddress() const;
    void setCtfeServerAddress(std::optional<std::string> address);
    int32_t refreshMode() const override { return refreshMode_.load(); }
    void setRefreshMode(int32_t mode) { refreshMode_.store(mode); }
    std::shared_ptr<ZAVDataLayer> dataLayer() const override { return dataLayer_; }

  private:
    void setUp();

    std::atomic<int32_t> refreshMode_{kRefreshModeStandard};
    std::shared_ptr<ZAVDataLayer> dataLayer_;
    // The data layer's store, which the instance's reset waits on.
    std::shared_ptr<ZAVDataLayerPersistentStoreImpl> store_;
    mutable std::recursive_mutex lock_;
    std::map<std::string, std::shared_ptr<ZAVContainer>> containers_;
    std::optional<std::string> ctfeServerAddress_;
};

// Turns every push that carries "event" into an evaluation of all open containers' tags, the event
// named by the value's text form. It holds the manager weakly: the manager owns the data layer that
// holds this listener.
class ZODAruzivuListener final : public ZAVDataLayerListener {
  public:
    explicit ZODAruzivuListener(std::weak_ptr<ZODAruzivu> zodAruzivu) : zodAruzivu_(std::move(zodAruzivu)) {}
    void changed(const ZAVObjectPtr& update) override;
    std::shared_ptr<ZODAruzivu> zodAruzivu() const { return zodAruzivu_.lock(); }

  private:
    std::weak_ptr<ZODAruzivu> zodAruzivu_;
};
