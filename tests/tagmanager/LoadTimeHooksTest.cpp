#include <gtest/gtest.h>

#include "platform/base/ClassRegistry.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tagmanager/base/ZAVAdIdAccess.h"
#include "tagmanager/datalayer/ZAVAutoEventTracking.h"
#include "tagmanager/datalayer/ZAVDataLayer.h"

namespace {

class Recorder : public ZAVDataLayerListener {
  public:
    void changed(const ZAVObjectPtr& update) override { updates.push_back(update); }
    std::vector<ZAVObjectPtr> updates;
};

class GameViewController : public plat::ViewController {
  public:
    void viewDidAppear(bool animated) override {
        ++ownAppear;
        ViewController::viewDidAppear(animated);
    }
    void viewDidDisappear(bool animated) override {
        ++ownDisappear;
        ViewController::viewDidDisappear(animated);
    }
    int ownAppear = 0;
    int ownDisappear = 0;
};

// An override that does not call the base: the hook does not run.
class SilentController : public plat::ViewController {
  public:
    void viewDidAppear(bool) override {}
};

ZAVObjectPtr screenEvent(const std::string& event, const std::string& title, const std::string& cls) {
    auto T = [](const std::string& s) { return ZAVObject::text(s); };
    return ZAVObject::map({{T("event"), T(event)},
                           {T("vuz"), ZAVObject::map({{T("activity_screen_name"), T(title)},
                                                      {T("activity_class_name"), T(cls)}})}});
}

struct Fixture {
    Fixture() {
        ZAVAutoEventTracking::load();
        layer->registerListener(recorder);
    }
    ~Fixture() {
        ZAVAutoEventTracking::setTAGAutoEventMask(0);
        ZAVAutoEventTracking::setTAGDataLayer(nullptr);
    }
    // Presents and dismisses `shown` over a root controller.
    void showAndHide(const std::shared_ptr<plat::ViewController>& shown) {
        auto root = std::make_shared<plat::ViewController>();
        ASSERT_TRUE(root->presentViewController(shown, true, nullptr));
        root->dismissViewControllerAnimated(true, nullptr);
    }
    std::shared_ptr<ZAVDataLayer> layer = ZAVDataLayer::create();
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

TEST(LoadTimeHooksTest, MaskZeroPushesNothing) {
    Fixture f;
    ZAVAutoEventTracking::setTAGDataLayer(f.layer);
    auto controller = std::make_shared<GameViewController>();
    f.showAndHide(controller);
    EXPECT_EQ(controller->ownAppear, 1);
    EXPECT_EQ(controller->ownDisappear, 1);
    EXPECT_TRUE(f.recorder->updates.empty());
}

TEST(LoadTimeHooksTest, MaskThreePushesBothEvents) {
    Fixture f;
    ZAVAutoEventTracking::setTAGDataLayer(f.layer);
    ZAVAutoEventTracking::setTAGAutoEventMask(3);
    auto controller = std::make_shared<GameViewController>();
    controller->setTitle("Home");
    f.showAndHide(controller);
    ASSERT_EQ(f.recorder->updates.size(), 2u);
    EXPECT_TRUE(ZAVObject::Equal()(f.recorder->updates[0],
                                   screenEvent("vuz.activity_started", "Home", "GameViewController")));
    EXPECT_TRUE(ZAVObject::Equal()(f.recorder->updates[1],
                                   screenEvent("vuz.activity_ended", "Home", "GameViewController")));

    // The window showing its root counts as appearing; no title gives ''.
    f.recorder->updates.clear();
    plat::Window window(plat::Rect{0, 0, 320, 568});
    window.setRootViewController(std::make_shared<plat::ViewController>());
    window.makeKeyAndVisible();
    ASSERT_EQ(f.recorder->updates.size(), 1u);
    EXPECT_TRUE(ZAVObject::Equal()(f.recorder->updates[0],
                                   screenEvent("vuz.activity_started", "", "ViewController")));
    f.showAndHide(std::make_shared<SilentController>());
    EXPECT_EQ(f.recorder->updates.size(), 2u);  // only the disappearance
}

TEST(LoadTimeHooksTest, SingleBitsAndNoDataLayer) {
    Fixture f;
    ZAVAutoEventTracking::setTAGDataLayer(f.layer);
    ZAVAutoEventTracking::setTAGAutoEventMask(1);
    f.showAndHide(std::make_shared<GameViewController>());
    ASSERT_EQ(f.recorder->updates.size(), 1u);
    EXPECT_EQ(f.recorder->updates[0]->objectForKey("event")->textValue(), "vuz.activity_started");
    ZAVAutoEventTracking::setTAGAutoEventMask(2);
    f.showAndHide(std::make_shared<GameViewController>());
    ASSERT_EQ(f.recorder->updates.size(), 2u);
    EXPECT_EQ(f.recorder->updates[1]->objectForKey("event")->textValue(), "vuz.activity_ended");

    ZAVAutoEventTracking::setTAGAutoEventMask(3);
    ZAVAutoEventTracking::setTAGDataLayer(nullptr);
    auto controller = std::make_shared<GameViewController>();
    f.showAndHide(controller);
    EXPECT_EQ(controller->ownAppear, 1);
    EXPECT_EQ(f.recorder->updates.size(), 2u);
    EXPECT_EQ(ZAVAutoEventTracking::ZAVautoEventMask(), 3u);
}

class ActualProvider : public plat::ClassObject, public ZAVAdIdAccessProtocol {
  public:
    std::string retrieveId() override { return "ad-id-1"; }
    bool retrieveTrackingFlag() override { return true; }
};

TEST(LoadTimeHooksTest, AdIdProvider) {
    auto& registry = plat::ClassRegistry::shared();
    ZAVAdIdAccess::load();
    EXPECT_EQ(ZAVAdIdAccess::retrieveId(), "");
    EXPECT_FALSE(ZAVAdIdAccess::retrieveTrackingFlag());
    {
        // A class of that name that does not adopt the interface is passed over.
        plat::ClassRegistry::Scoped scope(registry, ZAVAdIdAccess::kProviderClassName);
        registry.registerProvider<plat::ClassObject>(ZAVAdIdAccess::kProviderClassName,
                                                     std::make_shared<plat::ClassObject>());
        ZAVAdIdAccess::load();
        EXPECT_EQ(ZAVAdIdAccess::retrieveId(), "");
    }
    {
        plat::ClassRegistry::Scoped scope(registry, ZAVAdIdAccess::kProviderClassName);
        registry.registerProvider<plat::ClassObject>(ZAVAdIdAccess::kProviderClassName,
                                                     std::make_shared<ActualProvider>());
        ZAVAdIdAccess::load();
        EXPECT_EQ(ZAVAdIdAccess::retrieveId(), "ad-id-1");
        EXPECT_TRUE(ZAVAdIdAccess::retrieveTrackingFlag());
    }
    ZAVAdIdAccess::forgetProvider();
}

}  // namespace
