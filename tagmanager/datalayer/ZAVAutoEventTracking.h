#pragma once
// Screen events from every view controller of the process: after the platform's own viewDidAppear /
// viewDidDisappear body, a screen-event map may be pushed into the data layer. That needs a bit of the
// auto-event mask (1: appearing, 2: disappearing) and a data layer; the mask starts at 0, so as the app
// is built the hooks only let the platform's own bodies run.
#include <cstdint>
#include <memory>
#include <string>

#include "tagmanager/values/ZAVObject.h"

namespace plat {
class ViewController;
}
class ZAVDataLayer;

class ZAVAutoEventTracking {
  public:
    ZAVAutoEventTracking() = delete;
    static constexpr uint64_t kAppearBit = 1;
    static constexpr uint64_t kDisappearBit = 2;

    // Installs the hooks once per process (called by the program's main before the application runs).
    static void load();
    static void ZODAruzivu_viewDidAppear(plat::ViewController& controller, bool animated);
    static void ZODAruzivu_viewDidDisappear(plat::ViewController& controller, bool animated);

    static void setTAGAutoEventMask(uint64_t mask);
    static uint64_t ZAVautoEventMask();
    static void setTAGDataLayer(std::shared_ptr<ZAVDataLayer> dataLayer);
    static std::shared_ptr<ZAVDataLayer> ZAVdataLayer();
};

class ZAVAutoEventDataLayerAdapter {
  public:
    ZAVAutoEventDataLayerAdapter() = delete;
    // {"event": event, "vuz": {"activity_screen_name": title or "", "activity_class_name": class}}
    static ZAVObjectPtr dictionaryForViewController(const plat::ViewController& controller,
                                                    const std::string& event);
};
