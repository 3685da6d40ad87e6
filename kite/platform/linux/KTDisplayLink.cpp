#include "kite/platform/linux/KTDisplayLink.h"

#include <algorithm>

#include "platform/base/Lasting.h"

namespace kite {
namespace {

struct Display {
    plat::RunLoop* loop = nullptr;
    plat::RunLoop::TimerId timer = 0;
    uint64_t refreshes = 0;
    std::vector<std::weak_ptr<KTDisplayLink>> links;
    std::vector<std::shared_ptr<KTDisplayLink>> scratch;  // reused every refresh
};

// Links may still be invalidated by other objects torn down at process exit.
Display& display() {
    static plat::Lasting<Display> d;
    return *d;
}

void stopIfIdle() {
    Display& d = display();
    d.links.erase(std::remove_if(d.links.begin(), d.links.end(),
                                 [](const auto& weak) {
                                     auto link = weak.lock();
                                     return !link || !link->isScheduled();
                                 }),
                  d.links.end());
    if (d.links.empty() && d.loop && d.timer) {
        d.loop->cancelTimer(d.timer);
        d.timer = 0;
        d.loop = nullptr;
    }
}

}  // namespace

std::shared_ptr<KTDisplayLink> KTDisplayLink::displayLinkWithTarget(std::function<void()> target) {
    std::shared_ptr<KTDisplayLink> link(new KTDisplayLink());
    link->target_ = std::move(target);
    return link;
}

KTDisplayLink::~KTDisplayLink() {
    scheduled_ = false;
}

void KTDisplayLink::setFrameInterval(int interval) {
    frameInterval_ = std::max(1, interval);
}

void KTDisplayLink::addToRunLoop(plat::RunLoop& loop) {
    if (scheduled_) return;
    Display& d = display();
    scheduled_ = true;
    refreshesSinceCall_ = 0;
    d.links.push_back(weak_from_this());
    if (!d.timer) {
        d.loop = &loop;
        d.timer = loop.addTimer(
            1.0 / kRefreshRate, [] { refresh(); }, 1.0 / kRefreshRate);
    }
}

void KTDisplayLink::invalidate() {
    if (!scheduled_) return;
    scheduled_ = false;
    target_ = nullptr;
    stopIfIdle();
}

void KTDisplayLink::refresh() {
    Display& d = display();
    ++d.refreshes;
    d.scratch.clear();
    for (const auto& weak : d.links)
        if (auto link = weak.lock()) d.scratch.push_back(std::move(link));
    for (const auto& link : d.scratch) {
        // A target may invalidate this link or others; those are skipped from then on.
        if (!link->scheduled_) continue;
        if (++link->refreshesSinceCall_ < link->frameInterval_) continue;
        link->refreshesSinceCall_ = 0;
        auto target = link->target_;  // the target may invalidate (and so clear) itself while running
        if (target) target();
    }
    d.scratch.clear();
    stopIfIdle();
}

size_t KTDisplayLink::scheduledCount() {
    stopIfIdle();
    return display().links.size();
}

int64_t KTDisplayLink::nextRefreshMicros() {
    Display& d = display();
    if (!d.loop || !d.timer) return -1;
    auto next = d.loop->timerDueMicros(d.timer);
    return next ? *next : -1;
}

uint64_t KTDisplayLink::refreshCount() {
    return display().refreshes;
}

}  // namespace kite
