#include "platform/ui/Application.h"

#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/base/Lasting.h"
#include "platform/base/Log.h"
#include "platform/runloop/NotificationCenter.h"
#include "platform/runloop/QuitSignals.h"
#include "platform/runloop/Thread.h"
#include "platform/storage/FileManager.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"

namespace plat {
namespace {

std::shared_ptr<Application>& sharedSlot() {
    static Lasting<std::shared_ptr<Application>> application;
    return *application;
}

Value toValue(const LocalNotification& n) {
    Value::Dictionary d;
    d.set("fireDate", Value(Value::Date{n.fireDate}));
    d.set("timeZone", Value(n.timeZone));
    d.set("alertBody", Value(n.alertBody));
    d.set("soundName", Value(n.soundName));
    return Value(std::move(d));
}

bool fromValue(const Value& v, LocalNotification* out) {
    const Value::Date* date = v["fireDate"].dateIf();
    const std::string* body = v["alertBody"].stringIf();
    if (!date || !body) return false;
    out->fireDate = date->secondsSince1970;
    out->alertBody = *body;
    out->timeZone = v["timeZone"].toString();
    out->soundName = v["soundName"].toString();
    return true;
}

struct KeptFromChildren {
    std::mutex mutex;
    std::vector<std::string> names;
};

KeptFromChildren& keptFromChildren() {
    static Lasting<KeptFromChildren> kept;
    return *kept;
}

// This process's environment without the variables it keeps from its children; the pointers are
// environ's own, so it is made before the fork and read by the child as it is.
std::vector<char*> childEnvironment() {
    auto& kept = keptFromChildren();
    std::lock_guard lock(kept.mutex);
    std::vector<char*> env;
    for (char** entry = environ; *entry; ++entry) {
        const bool keptBack =
            std::any_of(kept.names.begin(), kept.names.end(), [entry](const std::string& n) {
                return std::strncmp(*entry, n.c_str(), n.size()) == 0 && (*entry)[n.size()] == '=';
            });
        if (!keptBack) env.push_back(*entry);
    }
    env.push_back(nullptr);
    return env;
}

// Starts xdg-open without waiting for it and without leaving a zombie: the middle child exits at once
// and the grandchild is adopted by init.
bool spawnDetached(const std::string& url) {
    std::vector<char*> env = childEnvironment();
    char program[] = "xdg-open";
    char* argv[] = {program, const_cast<char*>(url.c_str()), nullptr};
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        if (fork() == 0) {
            setsid();
            // The program opened is not this one: it takes its quits itself.
            const sigset_t quits = QuitSignals::set();
            pthread_sigmask(SIG_UNBLOCK, &quits, nullptr);
            signal(SIGPIPE, SIG_DFL);
            execvpe(program, argv, env.data());
            _exit(127);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int Application::main(int, char**, const DelegateFactory& makeDelegate, const EventLoop& loop) {
    auto application = std::make_shared<Application>();
    setShared(application);
    application->setDelegate(makeDelegate ? makeDelegate() : nullptr);
    if (!application->launch()) {
        logError("Application: the app delegate did not finish launching");
        application->terminate();
        setShared(nullptr);
        return 1;
    }
    application->becomeActive();
    int status = loop ? loop(*application) : 0;
    application->terminate();
    // The delegate and what it holds go while the engine is still up.
    setShared(nullptr);
    return status;
}

std::shared_ptr<Application> Application::shared() {
    return sharedSlot();
}

void Application::setShared(std::shared_ptr<Application> application) {
    sharedSlot() = std::move(application);
}

bool Application::launch(const Value& options) {
    if (launched_ || terminated_) return false;
    launched_ = true;
    state_ = State::Inactive;
    return delegate_ ? delegate_->applicationDidFinishLaunching(*this, options) : true;
}

void Application::resignActive() {
    if (state_ != State::Active || terminated_) return;
    state_ = State::Inactive;
    if (delegate_) delegate_->applicationWillResignActive(*this);
    post(kWillResignActiveNotification);
}

void Application::becomeActive() {
    if (!launched_ || terminated_ || state_ == State::Active) return;
    if (state_ == State::Background) enterForeground();
    state_ = State::Active;
    if (delegate_) delegate_->applicationDidBecomeActive(*this);
    post(kDidBecomeActiveNotification);
}

void Application::enterBackground() {
    if (!launched_ || terminated_ || state_ == State::Background) return;
    resignActive();
    state_ = State::Background;
    if (delegate_) delegate_->applicationDidEnterBackground(*this);
    post(kDidEnterBackgroundNotification);
}

void Application::enterForeground() {
    if (terminated_ || state_ != State::Background) return;
    state_ = State::Inactive;
    if (delegate_) delegate_->applicationWillEnterForeground(*this);
    post(kWillEnterForegroundNotification);
}

void Application::terminate() {
    if (terminated_) return;
    terminated_ = true;
    if (!launched_) return;
    if (delegate_) delegate_->applicationWillTerminate(*this);
    post(kWillTerminateNotification);
}

void Application::post(const char* name) const {
    NotificationCenter::defaultCenter().post(name, this);
}

void Application::receiveMemoryWarning() {
    if (delegate_ && launched_ && !terminated_) delegate_->applicationDidReceiveMemoryWarning(*this);
}

void Application::keepFromChildren(const std::string& name) {
    auto& kept = keptFromChildren();
    std::lock_guard lock(kept.mutex);
    if (std::find(kept.names.begin(), kept.names.end(), name) == kept.names.end()) kept.names.push_back(name);
}

bool Application::canOpenURL(const std::string& url) const {
    return url.rfind("https://", 0) == 0 || url.rfind("http://", 0) == 0;
}

bool Application::openURL(const std::string& url) {
    if (!canOpenURL(url)) {
        logWarning("Application: not opening \"%s\" (only http and https addresses open)", url.c_str());
        return false;
    }
    if (opensOnDesktop_) {
        if (spawnDetached(url)) return true;
        logWarning("Application: xdg-open could not be started for %s", url.c_str());
    }
    printServiceLine("open URL: " + url);
    return true;
}

void Application::registerUserNotificationSettings(unsigned types) {
    notificationTypes_ = types;
    // Nobody is asked on the desktop: the permission counts as granted.
}

std::filesystem::path Application::notificationsFile() {
    return Paths::library() / kNotificationsFileName;
}

std::optional<std::vector<LocalNotification>> Application::loadNotifications(
    const std::filesystem::path& file) {
    std::vector<LocalNotification> list;
    const FileManager::ReadResult read = FileManager::readFile(file, PropertyList::kMaxInputSize);
    if (read.status == FileManager::ReadResult::Status::Missing) return list;
    if (!read.read()) {
        logError("Application: cannot read %s: %s", file.c_str(),
                 read.status == FileManager::ReadResult::Status::TooLarge ? "too large"
                                                                          : read.error.message().c_str());
        return std::nullopt;
    }
    auto value = PropertyList::parse(read.bytes.data(), read.bytes.size());
    const Value::Array* array = value ? value->arrayIf() : nullptr;
    if (!array) {
        logWarning("Application: %s holds no list of notifications", file.c_str());
        return list;
    }
    for (const Value& entry : *array) {
        LocalNotification n;
        if (fromValue(entry, &n)) list.push_back(std::move(n));
    }
    std::stable_sort(list.begin(), list.end(), [](const LocalNotification& a, const LocalNotification& b) {
        return a.fireDate < b.fireDate;
    });
    return list;
}

std::vector<LocalNotification> Application::readNotifications(const std::filesystem::path& file) {
    return loadNotifications(file).value_or(std::vector<LocalNotification>{});
}

std::vector<LocalNotification> Application::scheduledLocalNotifications() const {
    return readNotifications(notificationsFile());
}

bool Application::writeNotifications(const std::vector<LocalNotification>& list) const {
    Value::Array array;
    for (const auto& n : list) array.push_back(toValue(n));
    return PropertyList::writeFile(notificationsFile(), Value(std::move(array)));
}

void Application::cancelAllLocalNotifications() {
    writeNotifications({});
}

void Application::scheduleLocalNotification(const LocalNotification& notification) {
    // A list that could not be read now is still there: writing the new one alone would drop it.
    auto list = loadNotifications(notificationsFile());
    if (!list) {
        logWarning("Application: notification \"%s\" not scheduled", notification.alertBody.c_str());
        return;
    }
    list->push_back(notification);
    writeNotifications(*list);
}

void Application::printServiceLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string defaultTimeZoneName() {
    if (const char* tz = std::getenv("TZ"); tz && *tz) return tz[0] == ':' ? std::string(tz + 1) : tz;
    std::error_code ec;
    auto target = std::filesystem::read_symlink("/etc/localtime", ec);
    if (!ec) {
        const std::string path = target.string();
        const std::string marker = "zoneinfo/";
        if (auto at = path.find(marker); at != std::string::npos) return path.substr(at + marker.size());
    }
    return "UTC";
}

}  // namespace plat
