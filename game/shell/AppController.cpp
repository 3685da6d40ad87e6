#include "game/shell/AppController.h"

#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <cstdio>

// Made by the build: the project's version (POTEMARU_VERSION).
#include "PotemaruVersion.h"
#include "ads/ZividedirPopupView.h"
#include "ads/ZividedirView.h"
#include "ads/base/ADFRAdvertisingIdentifier.h"
#include "ads/base/ADFREndpoints.h"
#include "analytics/RUV.h"
#include "analytics/base/RUVFields.h"
#include "analytics/hits/RUVDictionaryBuilder.h"
#include "game/Bridge.h"
#include "game/shell/RootViewController.h"
#include "kite/core/KTDirector.h"
#include "kite/platform/KTApplication.h"
#include "kite/platform/linux/EAGLView.h"
#include "platform/base/Clock.h"
#include "platform/base/Log.h"
#include "platform/storage/Bundle.h"
#include "platform/ui/Device.h"
#include "platform/ui/ViewController.h"

namespace {

AppController::GLViewFactory& viewFactory() {
    static AppController::GLViewFactory factory;
    return factory;
}

// Carries the game's bridge requests to the app shell.
class ShellBridge : public BridgeReceiver {
  public:
    void ShowTweet(const std::string& path) override { AppController::ShowTweet(path); }
    void ShowYoutube() override { AppController::ShowYoutube(); }
    void ShowTobikuma() override { AppController::ShowTobikuma(); }
    void LoadAD() override { AppController::LoadAD(); }
    void InterAD() override { AppController::InterAD(); }
    void ZediveAnalytics(int number) override { AppController::ZediveAnalytics(number); }
};

// The popup's size on the phone: a 310 x 300 base centred on what it covers.

}  // namespace

void AppController::setGLViewFactory(GLViewFactory factory) {
    viewFactory() = std::move(factory);
}

void AppController::adoptIdentity() {
    plat::Bundle::setMainIdentity(kAppIdentifier, kAppName, POTEMARU_VERSION);
}

AppController::~AppController() {
    // Only the receiver this shell installed is taken away.
    if (auto receiver = bridgeReceiver(); receiver && dynamic_cast<ShellBridge*>(receiver.get()))
        setBridgeReceiver(nullptr);
}

AppController* AppController::running() {
    auto application = plat::Application::shared();
    return application ? dynamic_cast<AppController*>(application->delegate().get()) : nullptr;
}

std::string AppController::screenName(int number) {
    char name[96];
    std::snprintf(name, sizeof name, kScreenNameFormat, number);
    return name;
}

bool AppController::applicationDidFinishLaunching(plat::Application& application, const plat::Value&) {
    const plat::Rect screen = plat::Screen::main().bounds();
    window_ = std::make_shared<plat::Window>(screen);

    const plat::Rect bounds = window_->bounds();
    const kite::KTRect glFrame(static_cast<float>(bounds.x), static_cast<float>(bounds.y),
                               static_cast<float>(bounds.width), static_cast<float>(bounds.height));
    std::shared_ptr<kite::EAGLView> glView =
        viewFactory() ? viewFactory()(glFrame, kGLViewDepthFormat)
                      : kite::EAGLView::viewWithFrame(glFrame, kite::kEAGLColorFormatRGB565,
                                                      kGLViewDepthFormat, false, nullptr, false, 0);
    if (!glView) {
        // Without a GL surface the engine has nothing to draw into; the launch ends here.
        plat::logError("AppController: the GL view could not be made; the app cannot start");
        return false;
    }

    viewController_ = std::make_shared<RootViewController>();
    viewController_->setWantsFullScreenLayout(true);
    viewController_->setView(std::make_shared<GLHostView>(bounds, glView));
    if (plat::Device::current().systemVersionNumber() < 6.0)
        window_->addSubview(viewController_->view());
    else
        window_->setRootViewController(viewController_);

    window_->makeKeyAndVisible();
    application.setStatusBarHidden(true);
    frame_ = plat::Screen::main().applicationFrame();

    // The banner at the bottom of the screen; it shows nothing until the play field asks. Its ad server
    // is the endpoints file's "ads" section; without one the SDK sends nothing, says so once, and the
    // game plays on with an empty banner.
    ADFREndpoints::registerDefaults();
    // The ads name the player by the install's advertising id (limited in the defaults, none is sent).
    ADFRPlatformAdvertisingIdentifier::registerClass();
    zividedir_ =
        ZividedirView::create(plat::Rect{0, frame_.height - kBannerHeight, kBannerWidth, kBannerHeight});
    zividedir_->setAppID(kBannerMediaId);
    zividedir_->setDelegate(viewController_);
    viewController_->view()->addSubview(zividedir_);

    if (application.respondsToRegisterUserNotificationSettings())
        application.registerUserNotificationSettings(plat::NotificationType::kAlert |
                                                     plat::NotificationType::kSound);
    application.cancelAllLocalNotifications();
    scheduleReminders(application);

    // The first tracker becomes the default one that every screen view goes through. Its collection
    // server is the endpoints file's "analytics" section, read when the options were.
    RUV::sharedInstance()->trackerWithTrackingId(kTrackingId);

    setBridgeReceiver(std::make_shared<ShellBridge>());
    kite::KTApplication::sharedApplication()->run();
    return true;
}

void AppController::scheduleReminders(plat::Application& application) {
    const double now = plat::Clock::shared().nowSeconds();
    const std::string zone = plat::defaultTimeZoneName();
    const struct {
        double delay;
        const char* text;
    } reminders[] = {{kHourReminderDelay, kHourReminderText}, {kDayReminderDelay, kDayReminderText}};
    for (const auto& r : reminders) {
        plat::LocalNotification n;
        n.timeZone = zone;
        n.fireDate = now + r.delay;
        n.alertBody = r.text;
        n.soundName = plat::LocalNotification::kDefaultSoundName;
        application.scheduleLocalNotification(n);
    }
}

void AppController::applicationWillResignActive(plat::Application&) {
    kite::KTDirector::sharedDirector()->pause();
}

void AppController::applicationDidBecomeActive(plat::Application&) {
    kite::KTDirector::sharedDirector()->resume();
}

void AppController::applicationDidEnterBackground(plat::Application&) {
    kite::KTApplication::sharedApplication()->applicationDidEnterBackground();
}

void AppController::applicationWillEnterForeground(plat::Application&) {
    kite::KTApplication::sharedApplication()->applicationWillEnterForeground();
}

void AppController::applicationWillTerminate(plat::Application&) {}

void AppController::applicationDidReceiveMemoryWarning(plat::Application&) {}

void AppController::ShowTweet(const std::string& path) {
    AppController* self = running();
    if (!self || !self->viewController_) return;
    auto controller = self->viewController_;
    auto sheet = plat::ComposeViewController::composeViewControllerForServiceType(
        plat::ComposeViewController::kServiceTypeTwitter);
    if (!sheet) {
        plat::logWarning("AppController: no share sheet for this service; nothing is shared");
        return;
    }
    sheet->setInitialText(kShareText);
    // The screenshot is a file the game just wrote, so it is read from its path, not looked up among the
    // bundle's resources.
    if (auto image = plat::imageWithContentsOfFile(path)) sheet->addImage(std::move(*image));
    std::weak_ptr<RootViewController> weakController = controller;
    sheet->setCompletionHandler([weakController](plat::ComposeViewController::Result result) {
        if (result != plat::ComposeViewController::Result::Cancelled &&
            result != plat::ComposeViewController::Result::Done)
            return;
        if (auto c = weakController.lock()) c->dismissViewControllerAnimated(true, nullptr);
    });
    controller->presentViewController(sheet, true, nullptr);
}

void AppController::ShowYoutube() {
    if (auto application = plat::Application::shared()) application->openURL(kVideoPageURL);
}

void AppController::ShowTobikuma() {
    if (auto application = plat::Application::shared()) application->openURL(kOtherAppURL);
}

void AppController::LoadAD() {
    AppController* self = running();
    if (!self || !self->zividedir_) return;
    plat::Application::printServiceLine(std::string("banner ad: start showing ads (media id ") +
                                        kBannerMediaId + ")");
    self->zividedir_->startShowAd();
}

void AppController::InterAD() {
    AppController* self = running();
    if (!self || !self->viewController_) return;
    // A new popup each time; the root view keeps it until it closes itself.
    auto popup = ZividedirPopupView::create();
    popup->setDelegate(self->viewController_);
    popup->setAppId(kPopupMediaId);
    self->viewController_->view()->addSubview(popup);
    popup->startShowAd();
    self->adPopupView_ = popup;
}

void AppController::ZediveAnalytics(int number) {
    if (!running()) return;
    auto tracker = RUV::sharedInstance()->defaultTracker();
    if (!tracker) return;
    // The screen name rides on the tracker for this one hit only.
    tracker->set(RUVFieldScreenName, screenName(number));
    tracker->send(RUVDictionaryBuilder::createScreenView()->build());
    tracker->set(RUVFieldScreenName, std::nullopt);
}
