#pragma once
// The phone's application object on the desktop: it owns the app delegate, walks it through the
// life-cycle (launch, active, inactive, background, terminate) and offers the system services the app
// uses: opening a web address, local notifications and the status bar. Local notifications are kept in
// Library/LocalNotifications.plist; a web address opens with xdg-open in a window session and is
// printed otherwise. Main thread only.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Value.h"

namespace plat {

class Application;

class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;
    virtual bool applicationDidFinishLaunching(Application& application, const Value& options) = 0;
    virtual void applicationWillResignActive(Application&) {}
    virtual void applicationDidBecomeActive(Application&) {}
    virtual void applicationDidEnterBackground(Application&) {}
    virtual void applicationWillEnterForeground(Application&) {}
    virtual void applicationWillTerminate(Application&) {}
    virtual void applicationDidReceiveMemoryWarning(Application&) {}
};

struct LocalNotification {
    static constexpr const char* kDefaultSoundName = "default";
    double fireDate = 0;  // seconds since 1970
    std::string timeZone;
    std::string alertBody;
    std::string soundName;
    bool operator==(const LocalNotification&) const = default;
};

// Bits of the notification settings the app asks for.
namespace NotificationType {
constexpr unsigned kBadge = 1, kSound = 2, kAlert = 4;
}

class Application {
  public:
    enum class State { Active, Inactive, Background };
    using DelegateFactory = std::function<std::shared_ptr<ApplicationDelegate>()>;
    // Runs the app's events until it should end; returns the exit status.
    using EventLoop = std::function<int(Application&)>;

    static constexpr const char* kNotificationsFileName = "LocalNotifications.plist";

    // Life-cycle notifications, posted on the default centre with the application as sender right after
    // the delegate has heard of the change, so that SDKs follow the app without a hook in it.
    static constexpr const char* kWillResignActiveNotification = "UIApplicationWillResignActiveNotification";
    static constexpr const char* kDidEnterBackgroundNotification =
        "UIApplicationDidEnterBackgroundNotification";
    static constexpr const char* kWillEnterForegroundNotification =
        "UIApplicationWillEnterForegroundNotification";
    static constexpr const char* kDidBecomeActiveNotification = "UIApplicationDidBecomeActiveNotification";
    static constexpr const char* kWillTerminateNotification = "UIApplicationWillTerminateNotification";

    // Makes the shared application and its delegate, launches it, makes it active, runs `loop`, then
    // terminates it. Returns the loop's status, or 1 when the delegate refuses to launch.
    static int main(int argc, char** argv, const DelegateFactory& makeDelegate, const EventLoop& loop);

    // Null outside main() (and outside tests that install one).
    static std::shared_ptr<Application> shared();
    static void setShared(std::shared_ptr<Application> application);

    Application() = default;
    const std::shared_ptr<ApplicationDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::shared_ptr<ApplicationDelegate> delegate) { delegate_ = std::move(delegate); }
    State applicationState() const { return state_; }

    // The life-cycle as the session reports it. Each call does only what the current state allows and
    // walks through the states in between (going to the background from the front resigns first).
    bool launch(const Value& options = {});
    void resignActive();
    void becomeActive();
    void enterBackground();
    void enterForeground();
    void terminate();
    bool isTerminated() const { return terminated_; }
    void receiveMemoryWarning();

    // Web addresses: http and https only (anything else is refused, logged).
    bool canOpenURL(const std::string& url) const;
    bool openURL(const std::string& url);
    // A window session hands addresses to the desktop (xdg-open); otherwise they are printed.
    void setOpensURLsOnDesktop(bool desktop) { opensOnDesktop_ = desktop; }
    // Names a variable the program set for itself, which the programs it starts here (the browser of
    // openURL) do not inherit.
    static void keepFromChildren(const std::string& name);

    // Whether this system has the notification-settings request (it has unless a test says otherwise).
    bool respondsToRegisterUserNotificationSettings() const { return hasNotificationSettings_; }
    void setRespondsToRegisterUserNotificationSettings(bool responds) { hasNotificationSettings_ = responds; }
    void registerUserNotificationSettings(unsigned types);
    unsigned registeredNotificationTypes() const { return notificationTypes_; }

    void cancelAllLocalNotifications();
    void scheduleLocalNotification(const LocalNotification& notification);
    std::vector<LocalNotification> scheduledLocalNotifications() const;
    static std::filesystem::path notificationsFile();
    // The notifications kept in `file`, soonest first; empty when there is none or the file is unreadable.
    static std::vector<LocalNotification> readNotifications(const std::filesystem::path& file);

    // The interface's orientation, in the device's numbering (1 portrait, 3 and 4 landscape): a desktop
    // window stays portrait unless a test turns it.
    int statusBarOrientation() const { return statusBarOrientation_; }
    void setStatusBarOrientation(int orientation) { statusBarOrientation_ = orientation; }
    void setStatusBarHidden(bool hidden) { statusBarHidden_ = hidden; }
    bool isStatusBarHidden() const { return statusBarHidden_; }

    // One line on standard output for a service this desktop only reports (flushed at once).
    static void printServiceLine(const std::string& line);

  private:
    void post(const char* name) const;
    bool writeNotifications(const std::vector<LocalNotification>& list) const;
    // The notifications kept in `file`, soonest first (none when it is missing or holds no list); nothing
    // when it is there but could not be read now.
    static std::optional<std::vector<LocalNotification>> loadNotifications(const std::filesystem::path& file);

    std::shared_ptr<ApplicationDelegate> delegate_;
    State state_ = State::Inactive;
    bool launched_ = false;
    bool terminated_ = false;
    bool opensOnDesktop_ = false;
    bool hasNotificationSettings_ = true;
    unsigned notificationTypes_ = 0;
    bool statusBarHidden_ = false;
    int statusBarOrientation_ = 1;
};

// The name of the local time zone ("Asia/Tokyo"), from TZ or /etc/localtime; "UTC" when unknown.
std::string defaultTimeZoneName();

}  // namespace plat
