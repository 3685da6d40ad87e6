#pragma once
// The app delegate of the app shell: at launch it builds the window with the engine's GL view, places
// the banner, schedules the two reminders and hands over to the engine's application object; later it
// passes the life-cycle on to the director and the game's AppDelegate. Its class operations carry out
// the game's bridge requests (share sheet, web pages, ads, screen views). Main thread only.
#include <GLES2/gl2.h>

#include <functional>
#include <memory>
#include <string>

#include "kite/base/KTGeometry.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace kite {
class EAGLView;
}
class RootViewController;
class ZividedirView;
class ZividedirPopupView;

class AppController : public plat::ApplicationDelegate {
  public:
    static constexpr const char* kClassName = "AppController";
    // The game's identity, which its hits name and after which its home and progress file are named. Its
    // version (the main bundle's short version string, which the hits, the ad settings request and the tag
    // manager tell the servers) is the project's, as --version prints it.
    static constexpr const char* kAppIdentifier = "org.potemaru.potemaru";
    static constexpr const char* kAppName = "potemaru";
    static constexpr const char* kBannerMediaId = "a1b2c3d4e5f60718293a4b5c";
    static constexpr const char* kPopupMediaId = "0f1e2d3c4b5a69788796a5b4";
    static constexpr const char* kTrackingId = "UA-27182818-1";
    static constexpr const char* kHourReminderText = "ぽてまるが続々襲来!今すぐ吸収しちゃおう!";
    static constexpr const char* kDayReminderText = "俺のこと忘れてない?";
    static constexpr double kHourReminderDelay = 3600;
    static constexpr double kDayReminderDelay = 86400;
    static constexpr const char* kShareText = "[ぽてまる]https://potemaru.example.com/app";
    static constexpr const char* kScreenNameFormat = "[iOS]ぽてまる　レベル%d";
    static constexpr const char* kScreenNameField = "&cd";
    static constexpr const char* kVideoPageURL = "https://video.example.com/channel/potemaru";
    static constexpr const char* kOtherAppURL = "https://store.example.com/jp/app/id1000000001";
    static constexpr double kBannerHeight = 50;
    static constexpr double kBannerWidth = 320;

    // The GL surface's depth-stencil format: none. The game draws flat sprites with the depth test off and
    // clips nothing, so a depth and stencil buffer would only hold memory (2.8 MB at 640 x 1136).
    static constexpr GLenum kGLViewDepthFormat = 0;

    // The session's GL surface view for a frame in points with the depth-stencil format the shell asks
    // for; without one the shell makes its own view.
    using GLViewFactory =
        std::function<std::shared_ptr<kite::EAGLView>(const kite::KTRect& frame, GLenum depthFormat)>;
    static void setGLViewFactory(GLViewFactory factory);
    // Gives the main bundle the game's identity; before anything reads the bundle or the home.
    static void adoptIdentity();

    ~AppController() override;

    bool applicationDidFinishLaunching(plat::Application& application, const plat::Value& options) override;
    void applicationWillResignActive(plat::Application& application) override;
    void applicationDidBecomeActive(plat::Application& application) override;
    void applicationDidEnterBackground(plat::Application& application) override;
    void applicationWillEnterForeground(plat::Application& application) override;
    void applicationWillTerminate(plat::Application& application) override;
    void applicationDidReceiveMemoryWarning(plat::Application& application) override;

    // The bridge requests; each finds the running instance as the shared application's delegate and
    // does nothing when there is none.
    static void ShowTweet(const std::string& path);
    static void ShowYoutube();
    static void ShowTobikuma();
    static void LoadAD();
    static void InterAD();
    static void ZediveAnalytics(int number);

    static std::string screenName(int number);

    const std::shared_ptr<plat::Window>& window() const { return window_; }
    const std::shared_ptr<RootViewController>& viewController() const { return viewController_; }
    plat::Rect frame() const { return frame_; }
    const std::shared_ptr<ZividedirView>& zividedir() const { return zividedir_; }
    // The latest popup, held by the view hierarchy only.
    // The popup of the latest InterAD while it is on screen; the view hierarchy owns it.
    std::shared_ptr<ZividedirPopupView> adPopupView() const { return adPopupView_.lock(); }

  private:
    static AppController* running();
    void scheduleReminders(plat::Application& application);

    std::shared_ptr<plat::Window> window_;
    std::shared_ptr<RootViewController> viewController_;
    plat::Rect frame_;
    std::shared_ptr<plat::View> webView_;
    std::shared_ptr<ZividedirView> zividedir_;
    std::weak_ptr<ZividedirPopupView> adPopupView_;
};
