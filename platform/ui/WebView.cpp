#include "platform/ui/WebView.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <wayland-server.h>
#include <wpe/fdo.h>
#include <wpe/unstable/fdo-shm.h>
#include <wpe/webkit.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/base/Log.h"
#include "platform/base/PercentEncoding.h"
#include "platform/net/InFlight.h"
#include "platform/net/ProxyEnvironment.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/Bundle.h"
#include "platform/storage/UserDefaults.h"
#include "platform/ui/Window.h"

namespace plat {

namespace {

constexpr double kFrameInterval = 1.0 / 60;
// How long a finished load waits at most for its page to be painted (see Engine::paintWaitSource), in
// real time: the web process draws in real time, and under a virtual clock that a headless run moves
// only once the loads in flight have settled, a virtual wait would hold that run up for good. Only a web
// process that stopped drawing meets it.
constexpr guint kFinishedPaintWaitMillis = 10000;
// The page's paint is told by a script in a world of its own, out of the page's scripts' reach, through
// a message handler only that world has.
constexpr const char* kPaintWorld = "plat-webview";
constexpr const char* kPaintHandler = "painted";

// Runs the default GLib main context from the main run loop: its descriptors become fd watches, its
// time-out a real-time timer descriptor (GLib's time-outs keep real time under a virtual clock too).
class GLibPump {
  public:
    static GLibPump& shared() {
        static GLibPump pump;
        return pump;
    }

    void pump() {
        if (pumping_) return;  // a callback of the engine pumping again
        pumping_ = true;
        GMainContext* context = g_main_context_default();
        if (!acquired_) acquired_ = g_main_context_acquire(context);
        int timeout = -1;
        // Bounded: a source that is always ready must not starve the run loop.
        for (int round = 0; round < 64; ++round) {
            gint priority = 0;
            g_main_context_prepare(context, &priority);
            int n;
            while ((n = g_main_context_query(context, priority, &timeout, fds_.data(),
                                             static_cast<int>(fds_.size()))) > static_cast<int>(fds_.size()))
                fds_.resize(n);
            used_ = n;
            if (n > 0) g_poll(fds_.data(), n, 0);
            if (!g_main_context_check(context, priority, fds_.data(), n)) break;
            g_main_context_dispatch(context);
            timeout = 0;
        }
        watch(timeout);
        pumping_ = false;
    }

  private:
    GLibPump() { timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC); }

    void watch(int timeoutMillis) {
        RunLoop& loop = RunLoop::main();
        // Watches change only when the descriptor set does.
        bool same = watched_.size() == static_cast<size_t>(used_);
        for (int i = 0; same && i < used_; ++i)
            same = watched_[i].fd == fds_[i].fd && watched_[i].events == fds_[i].events;
        if (!same) {
            for (auto id : watchIds_) loop.unwatchFd(id);
            watchIds_.clear();
            watched_.assign(fds_.begin(), fds_.begin() + used_);
            for (const GPollFD& fd : watched_) {
                unsigned events = 0;
                if (fd.events & G_IO_IN) events |= RunLoop::kReadable;
                if (fd.events & G_IO_OUT) events |= RunLoop::kWritable;
                watchIds_.push_back(loop.watchFd(fd.fd, events, [this](int, unsigned) { pump(); }));
            }
        }
        if (timerFd_ < 0) return;
        if (!timerWatch_)
            timerWatch_ = loop.watchFd(timerFd_, RunLoop::kReadable, [this](int fd, unsigned) {
                uint64_t expirations;
                ssize_t n = read(fd, &expirations, sizeof expirations);
                (void)n;
                pump();
            });
        itimerspec timeout{};
        if (timeoutMillis >= 0) {
            int64_t nanos = std::max<int64_t>(int64_t(timeoutMillis) * 1000000, 1);
            timeout.it_value.tv_sec = nanos / 1000000000;
            timeout.it_value.tv_nsec = nanos % 1000000000;
        }
        timerfd_settime(timerFd_, 0, &timeout, nullptr);
    }

    std::vector<GPollFD> fds_ = std::vector<GPollFD>(16);
    int used_ = 0;
    std::vector<GPollFD> watched_;
    std::vector<RunLoop::WatchId> watchIds_;
    int timerFd_ = -1;
    RunLoop::WatchId timerWatch_ = 0;
    bool pumping_ = false;
    bool acquired_ = false;
};

}  // namespace

// Out of the unnamed namespace, as WebView::Engine, which has linkage, holds one.
namespace webviewdetail {

// What the backend's callbacks reach; it outlives the view when the engine keeps the page a while
// longer (a script still running), so the view's part is cut off first.
struct BackendSink {
    WebView::Engine* engine = nullptr;
    wpe_view_backend_exportable_fdo* exportable = nullptr;
};

}  // namespace webviewdetail

using webviewdetail::BackendSink;

namespace {

std::vector<WebView::Engine*>& liveEngines() {
    static std::vector<WebView::Engine*> engines;
    return engines;
}

WebKitWebContext*& sharedContext() {
    static WebKitWebContext* context = nullptr;
    return context;
}

bool& engineStartedSlot() {
    static bool started = false;
    return started;
}

// The engine is started by the first call into it. Its start opens descriptors (its first is for
// /dev/urandom: its own wake-up pipes, the web process's sockets) and ends the process when one of them
// cannot be opened. So the descriptors it needs are taken here first and given back: a start without
// them is refused with one line, and tried again at the next call.
constexpr size_t kEngineStartDescriptors = 32;

bool startEngine() {
    if (engineStartedSlot()) return true;
    std::vector<int> taken;
    int error = 0;
    while (taken.size() < kEngineStartDescriptors) {
        const int fd = taken.empty() ? ::open("/dev/urandom", O_RDONLY | O_CLOEXEC)
                                     : ::fcntl(taken.front(), F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            error = errno;
            break;
        }
        taken.push_back(fd);
    }
    const size_t free = taken.size();
    for (int fd : taken) ::close(fd);
    if (error) {
        logError("WebView: the web engine cannot start: %zu descriptors are free and it needs %zu (%s)", free,
                 kEngineStartDescriptors, std::strerror(error));
        return false;
    }
    engineStartedSlot() = true;
    return true;
}

void initBackend() {
    static bool done = [] {
        wpe_loader_init("libWPEBackend-fdo-1.0.so.1");
        return wpe_fdo_initialize_shm();
    }();
    if (!done) logError("WebView: the fdo backend could not be set up");
}

// The environment's proxies, loopback excluded; with none named, every load goes direct.
void applyProxies(WebKitWebContext* context) {
    const ProxyEnvironment env = ProxyEnvironment::current();
    WebKitWebsiteDataManager* data = webkit_web_context_get_website_data_manager(context);
    if (!env.anyProxy()) {
        webkit_website_data_manager_set_network_proxy_settings(data, WEBKIT_NETWORK_PROXY_MODE_NO_PROXY,
                                                               nullptr);
        return;
    }
    // The engine matches a bare name exactly; the environment's names cover their subdomains too.
    std::vector<std::string> hosts;
    for (const std::string& entry : env.exclusions) {
        std::string name = entry.front() == '.' ? entry.substr(1) : entry;
        if (name.empty()) continue;
        hosts.push_back(name);
        if (name.find('/') == std::string::npos && name.find(':') == std::string::npos &&
            name.find_first_not_of("0123456789.") != std::string::npos)
            hosts.push_back("*." + name);
    }
    std::vector<const char*> ignore;
    for (const std::string& host : hosts) ignore.push_back(host.c_str());
    ignore.push_back(nullptr);
    WebKitNetworkProxySettings* settings = webkit_network_proxy_settings_new(
        env.allProxy.empty() ? nullptr : env.allProxy.c_str(), ignore.data());
    if (!env.httpProxy.empty())
        webkit_network_proxy_settings_add_proxy_for_scheme(settings, "http", env.httpProxy.c_str());
    if (!env.httpsProxy.empty())
        webkit_network_proxy_settings_add_proxy_for_scheme(settings, "https", env.httpsProxy.c_str());
    webkit_website_data_manager_set_network_proxy_settings(data, WEBKIT_NETWORK_PROXY_MODE_CUSTOM, settings);
    webkit_network_proxy_settings_free(settings);
}

// Why the web engine's sandbox cannot start here, or "" when it can; found out once. The engine itself
// declines it inside a container or an app package that confines it already ("/.dockerenv",
// "/.flatpak-info", a snap); elsewhere it needs its launcher (bubblewrap, at the path the engine was
// built with) to start with the namespaces it asks for. Told to sandbox where that fails, the engine
// would lose every web process at its start.
const std::string& sandboxRefusal() {
    static const std::string reason = []() -> std::string {
        if (g_file_test("/.dockerenv", G_FILE_TEST_EXISTS)) return "the engine declines it in a container";
        if (g_file_test("/.flatpak-info", G_FILE_TEST_EXISTS) || g_getenv("SNAP"))
            return "the engine declines it in an app package";
        const char* argv[] = {"/usr/bin/bwrap",
                              "--die-with-parent",
                              "--unshare-all",
                              "--ro-bind",
                              "/",
                              "/",
                              "--proc",
                              "/proc",
                              "--dev",
                              "/dev",
                              "true",
                              nullptr};
        gchar* errors = nullptr;
        gint status = 0;
        GError* error = nullptr;
        bool ok = g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr,
                               static_cast<GSpawnFlags>(G_SPAWN_STDOUT_TO_DEV_NULL), nullptr, nullptr,
                               nullptr, &errors, &status, &error) &&
                  g_spawn_check_wait_status(status, &error);
        std::string why;
        if (!ok) {
            why = errors && *errors ? errors : error && error->message ? error->message : "";
            why = why.substr(0, why.find('\n'));
            if (why.empty()) why = "its launcher failed";
        }
        g_free(errors);
        if (error) g_error_free(error);
        return why;
    }();
    return reason;
}

// Web pages come from anywhere (an ad's page is another party's code), so the engine's processes get
// namespaces of their own and see only what they need: the engine binds the system's libraries and
// fonts and its own folders itself; pages with a file: base read from the app's resources. Once a page
// has moved to another site, this engine version warms a spare web process with its own persistent data
// store, which lasts and keeps the last network process alive, idle, until the app ends.
void applySandbox(WebKitWebContext* context) {
    if (!sandboxRefusal().empty()) {
        static bool told = false;
        if (!told)
            logWarning(
                "WebView: the web engine's sandbox cannot start here (%s); its processes run without it",
                sandboxRefusal().c_str());
        told = true;
        return;
    }
    webkit_web_context_set_sandbox_enabled(context, TRUE);
    std::error_code ec;
    std::filesystem::path resources = std::filesystem::canonical(Bundle::main().resourcePath(), ec);
    if (!ec && resources.is_absolute() && resources != "/")
        webkit_web_context_add_path_to_sandbox(context, resources.c_str(), TRUE);
}

std::optional<std::string> registeredUserAgent() {
    auto defaults = UserDefaults::standard();
    return defaults ? defaults->stringForKey("UserAgent") : std::nullopt;
}

}  // namespace

struct WebView::Engine {
    WebView* owner = nullptr;
    BackendSink* sink = nullptr;
    wpe_view_backend* backend = nullptr;
    WebKitWebView* view = nullptr;
    cairo_surface_t* frame = nullptr;
    double frameScale = 1;
    uint64_t frames = 0;
    bool frameUnacknowledged = false;
    RunLoop::TimerId ackTimer = 0;
    bool loadCounted = false;  // a web load counted as in flight
    // The load finished; it ends once a frame of the finished page is here. The engine's frames and its
    // load notices come over different channels, so a frame drawn before the page was whole may arrive
    // after the notice, and a still page may send no frame after it. So the page itself is asked to tell
    // when its second animation frame comes: the first is drawn from the finished page, and the engine
    // starts the second only once the frame drawn after the first was acknowledged, that is, delivered
    // here. The ask carries a serial, so an answer for an earlier load ends nothing.
    bool awaitingPaint = false;
    uint64_t paintSerial = 0;
    guint paintWaitSource = 0;  // a GLib time-out, so it keeps real time
    bool failed = false;
    bool started = false;  // the engine said the load started and has not finished it yet
    // A request the engine cannot send itself (another method, a body) is loaded here and its answer
    // handed to the engine; the delegate already decided on it and heard that it started.
    std::shared_ptr<URLConnection> fetch;
    bool decidedAlready = false;
    bool startTold = false;
    uint64_t loadSerial = 0;  // counts loads asked for, so a delegate that starts another is noticed
    // The last load asked for, asked again once when the web process ends in the middle of it (a process
    // that fails to start takes the page with it); a second end fails the load.
    std::function<void()> lastLoad;
    bool reloadedAfterCrash = false;

    ~Engine() {
        cancelFetch();
        if (ackTimer) RunLoop::main().cancelTimer(ackTimer);
        endLoad();
        if (view) {
            g_signal_handlers_disconnect_by_data(view, this);
            g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(view), this);
            if (sink) sink->engine = nullptr;
            g_object_unref(view);
        }
        if (frame) cairo_surface_destroy(frame);
    }

    void cancelPaintWait() {
        if (paintWaitSource) g_source_remove(paintWaitSource);
        paintWaitSource = 0;
    }
    void awaitPaint() {
        cancelPaintWait();
        awaitingPaint = true;
        ++paintSerial;
        paintWaitSource = g_timeout_add(
            kFinishedPaintWaitMillis,
            [](gpointer data) -> gboolean {
                auto* waiting = static_cast<Engine*>(data);
                waiting->paintWaitSource = 0;
                if (!waiting->awaitingPaint) return G_SOURCE_REMOVE;
                logWarning("WebView: the finished page was not painted within %u s; its load ends anyway",
                           kFinishedPaintWaitMillis / 1000);
                waiting->endLoad();
                return G_SOURCE_REMOVE;
            },
            this);
        const std::string script =
            "requestAnimationFrame(() => requestAnimationFrame(() => "
            "window.webkit.messageHandlers." +
            std::string(kPaintHandler) + ".postMessage(" + std::to_string(paintSerial) + ")))";
        webkit_web_view_run_javascript_in_world(view, script.c_str(), kPaintWorld, nullptr, nullptr, nullptr);
    }
    void painted(uint64_t serial) {
        if (awaitingPaint && serial == paintSerial) endLoad();
    }
    void beginLoad() {
        cancelPaintWait();
        if (!loadCounted) InFlight::begin(InFlightKind::WebLoad);
        loadCounted = true;
        awaitingPaint = false;
    }
    void endLoad() {
        cancelPaintWait();
        if (loadCounted) InFlight::end(InFlightKind::WebLoad);
        loadCounted = false;
        awaitingPaint = false;
    }

    // A newer load, a stop or the view's end drops the request being fetched, and what it had settled.
    void cancelFetch() {
        ++loadSerial;
        decidedAlready = false;
        startTold = false;
        if (!fetch) return;
        fetch->cancel();
        fetch.reset();
        endLoad();
    }

    void fetchAndShow(const URLRequest& request);

    void acknowledge() {
        if (!frameUnacknowledged || !sink) return;
        frameUnacknowledged = false;
        wpe_view_backend_exportable_fdo_dispatch_frame_complete(sink->exportable);
    }

    void receiveFrame(wpe_fdo_shm_exported_buffer* buffer) {
        wl_shm_buffer* shm = wpe_fdo_shm_exported_buffer_get_shm_buffer(buffer);
        if (shm) {
            wl_shm_buffer_begin_access(shm);
            int width = wl_shm_buffer_get_width(shm);
            int height = wl_shm_buffer_get_height(shm);
            int stride = wl_shm_buffer_get_stride(shm);
            bool opaque = wl_shm_buffer_get_format(shm) == WL_SHM_FORMAT_XRGB8888;
            auto* source = static_cast<const uint8_t*>(wl_shm_buffer_get_data(shm));
            if (!frame || cairo_image_surface_get_width(frame) != width ||
                cairo_image_surface_get_height(frame) != height) {
                if (frame) cairo_surface_destroy(frame);
                frame =
                    cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(width, 1), std::max(height, 1));
            }
            cairo_surface_flush(frame);
            uint8_t* target = cairo_image_surface_get_data(frame);
            int targetStride = cairo_image_surface_get_stride(frame);
            if (source && width > 0 && height > 0 && stride >= width * 4) {
                for (int y = 0; y < height; ++y) {
                    uint8_t* row = target + size_t(y) * targetStride;
                    std::memcpy(row, source + size_t(y) * stride, size_t(width) * 4);
                    if (opaque)
                        for (int x = 0; x < width; ++x) row[x * 4 + 3] = 255;
                }
            }
            cairo_surface_mark_dirty(frame);
            wl_shm_buffer_end_access(shm);
        }
        wpe_view_backend_exportable_fdo_dispatch_release_shm_exported_buffer(sink->exportable, buffer);
        ++frames;
        frameUnacknowledged = true;
        owner->setNeedsDisplay();
        // The next frame may come at the next game frame, no sooner.
        if (!ackTimer || !RunLoop::main().hasTimer(ackTimer))
            ackTimer = RunLoop::main().addTimer(kFrameInterval, [this] {
                ackTimer = 0;
                acknowledge();
            });
    }

    // The view, held through a callback that may reach its delegate, which may let the view go. The
    // engine's signals reach a view from its constructor's pump on, before anything owns it: a web process
    // that a new view shares with a related one may be found ended there, and the engine tells every page
    // of it. Nothing can let a view go before it is owned, so such a callback runs without the hold.
    std::shared_ptr<View> hold() const { return owner->weak_from_this().lock(); }

    WebViewDelegate* delegate() {
        auto d = owner->delegate_.lock();
        delegateKeep = d;
        return d.get();
    }
    std::shared_ptr<WebViewDelegate> delegateKeep;
};

namespace {

using Engine = WebView::Engine;

gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                        gpointer data) {
    // A link aimed at another window ("_blank") asks the delegate too: this view has no other windows.
    const bool newWindow = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION;
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && !newWindow) return FALSE;
    auto* engine = static_cast<Engine*>(data);
    auto* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    auto navigation =
        static_cast<WebViewNavigationType>(webkit_navigation_action_get_navigation_type(action));
    if (engine->decidedAlready) {
        engine->decidedAlready = false;
        return FALSE;
    }
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    URLRequest asked(uri ? uri : "");
    if (request) {
        if (const char* method = webkit_uri_request_get_http_method(request)) asked.setHTTPMethod(method);
        if (SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(request))
            soup_message_headers_foreach(
                headers,
                [](const char* name, const char* value, gpointer data) {
                    static_cast<URLRequest*>(data)->addValue(value, name);
                },
                &asked);
    }
    auto keep = engine->hold();
    WebViewDelegate* delegate = engine->delegate();
    bool allowed =
        !delegate || delegate->webViewShouldStartLoadWithRequest(*engine->owner, asked, navigation);
    if (newWindow) {
        webkit_policy_decision_ignore(decision);
        // Allowed, it loads in this view, on the next turn (not inside the engine's own callback).
        if (allowed) {
            std::weak_ptr<View> weak = engine->owner->weak_from_this();
            RunLoop::main().post([weak, asked] {
                if (auto view = std::dynamic_pointer_cast<WebView>(weak.lock())) view->loadRequest(asked);
            });
        }
        return TRUE;
    }
    if (allowed) return FALSE;
    webkit_policy_decision_ignore(decision);
    // A load asked for that will never start is no longer in flight.
    if (!engine->started) engine->endLoad();
    return TRUE;
}

void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    auto* engine = static_cast<Engine*>(data);
    auto keep = engine->hold();
    if (event == WEBKIT_LOAD_STARTED) {
        engine->failed = false;
        engine->started = true;
        engine->beginLoad();
        if (engine->startTold) {
            engine->startTold = false;
            return;
        }
        if (auto* delegate = engine->delegate()) delegate->webViewDidStartLoad(*engine->owner);
    } else if (event == WEBKIT_LOAD_FINISHED) {
        engine->started = false;
        if (engine->failed) {
            engine->endLoad();
            return;
        }
        if (engine->loadCounted) engine->awaitPaint();
        if (auto* delegate = engine->delegate()) delegate->webViewDidFinishLoad(*engine->owner);
    }
}

gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer data) {
    auto* engine = static_cast<Engine*>(data);
    engine->failed = true;
    // A load stopped on purpose (stopLoading, a newer load) is no failure to report.
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED)) return FALSE;
    auto keep = engine->hold();
    std::string text = error && error->message ? error->message : "the page could not be loaded";
    Error failure = Error::withDescription(error ? g_quark_to_string(error->domain) : "WebKitNetworkError",
                                           error ? error->code : 0, text);
    logInfo("WebView: %s failed: %s", uri ? uri : "(no URL)", text.c_str());
    if (auto* delegate = engine->delegate()) delegate->webViewDidFailLoadWithError(*engine->owner, failure);
    // Handled: the engine's own error page would load next and be reported as a finished load.
    return TRUE;
}

void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer data) {
    auto* engine = static_cast<Engine*>(data);
    auto keep = engine->hold();
    const char* why = reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT ? "over its memory limit"
                      : reason == WEBKIT_WEB_PROCESS_CRASHED             ? "crashed"
                                                                         : "was ended";
    if (!engine->loadCounted || !engine->lastLoad) {
        logWarning("WebView: the web process %s", why);
        return;
    }
    engine->started = false;
    if (!engine->reloadedAfterCrash) {
        logWarning("WebView: the web process %s during a load; loading the page again", why);
        std::function<void()> load = engine->lastLoad;
        load();  // a load asked for anew counts its crashes from zero
        engine->reloadedAfterCrash = true;
        return;
    }
    logWarning("WebView: the web process %s again; the load fails", why);
    engine->failed = true;
    engine->endLoad();
    Error failure = Error::withDescription("WebKitWebProcessError", static_cast<int>(reason),
                                           std::string("the web process ") + why);
    if (auto* delegate = engine->delegate()) delegate->webViewDidFailLoadWithError(*engine->owner, failure);
}

void onPainted(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!value || !jsc_value_is_number(value)) return;
    static_cast<Engine*>(data)->painted(static_cast<uint64_t>(jsc_value_to_double(value)));
}

void exportShmBuffer(void* data, wpe_fdo_shm_exported_buffer* buffer) {
    auto* sink = static_cast<BackendSink*>(data);
    if (sink->engine) {
        sink->engine->receiveFrame(buffer);
        return;
    }
    wpe_view_backend_exportable_fdo_dispatch_release_shm_exported_buffer(sink->exportable, buffer);
}

const wpe_view_backend_exportable_fdo_client kClient = {
    nullptr, nullptr, exportShmBuffer, nullptr, nullptr,
};

void destroySink(gpointer data) {
    auto* sink = static_cast<BackendSink*>(data);
    wpe_view_backend_exportable_fdo_destroy(sink->exportable);
    delete sink;
}

double screenScale() {
    double scale = Screen::main().scale();
    return scale > 0 ? scale : 1;
}

}  // namespace

WebView::WebView(Rect frame) : View(frame), engine_(std::make_unique<Engine>()) {
    Engine& e = *engine_;
    e.owner = this;
    e.frameScale = screenScale();
    // Without the engine the view stays empty and its loads do nothing.
    if (!startEngine()) return;
    initBackend();
    auto& engines = liveEngines();
    WebKitWebContext*& context = sharedContext();
    if (!context) {
        context = webkit_web_context_new_ephemeral();
        applySandbox(context);
        applyProxies(context);
    }

    Size size = bounds().size();
    auto width = static_cast<uint32_t>(std::max(1.0, size.width));
    auto height = static_cast<uint32_t>(std::max(1.0, size.height));
    e.sink = new BackendSink;
    e.sink->engine = &e;
    e.sink->exportable = wpe_view_backend_exportable_fdo_create(&kClient, e.sink, width, height);
    e.backend = wpe_view_backend_exportable_fdo_get_view_backend(e.sink->exportable);
    WebKitWebViewBackend* backend = webkit_web_view_backend_new(e.backend, destroySink, e.sink);

    // Views of one site share one web process: each is related to a live one.
    WebKitWebView* related = engines.empty() ? nullptr : engines.front()->view;
    if (related)
        e.view = WEBKIT_WEB_VIEW(
            g_object_new(WEBKIT_TYPE_WEB_VIEW, "backend", backend, "related-view", related, nullptr));
    else
        e.view = WEBKIT_WEB_VIEW(
            g_object_new(WEBKIT_TYPE_WEB_VIEW, "backend", backend, "web-context", context, nullptr));
    engines.push_back(&e);
    // Told once the page exists; before, the backend has nobody to pass it to.
    wpe_view_backend_dispatch_set_device_scale_factor(e.backend, static_cast<float>(e.frameScale));
    // Rendered whether or not it is on screen; focused so that pointer events reach the page.
    wpe_view_backend_add_activity_state(e.backend, wpe_view_activity_state_visible |
                                                       wpe_view_activity_state_focused |
                                                       wpe_view_activity_state_in_window);

    if (auto agent = registeredUserAgent())
        webkit_settings_set_user_agent(webkit_web_view_get_settings(e.view), agent->c_str());
    g_signal_connect(e.view, "decide-policy", G_CALLBACK(onDecidePolicy), &e);
    g_signal_connect(e.view, "load-changed", G_CALLBACK(onLoadChanged), &e);
    g_signal_connect(e.view, "load-failed", G_CALLBACK(onLoadFailed), &e);
    g_signal_connect(e.view, "web-process-terminated", G_CALLBACK(onWebProcessTerminated), &e);
    WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(e.view);
    webkit_user_content_manager_register_script_message_handler_in_world(content, kPaintHandler, kPaintWorld);
    g_signal_connect(content, (std::string("script-message-received::") + kPaintHandler).c_str(),
                     G_CALLBACK(onPainted), &e);
    setBackgroundColor(Color::whiteColor());
    GLibPump::shared().pump();
}

WebView::~WebView() {
    auto& engines = liveEngines();
    engines.erase(std::remove(engines.begin(), engines.end(), engine_.get()), engines.end());
    engine_.reset();
    // The context goes with the last view; its processes end soon after.
    if (engines.empty() && sharedContext()) {
        g_object_unref(sharedContext());
        sharedContext() = nullptr;
    }
    GLibPump::shared().pump();
}

void WebView::loadHTMLString(const std::string& html, const std::string& baseURL) {
    if (!engine_->view) return;
    engine_->reloadedAfterCrash = false;
    engine_->lastLoad = [this, html, baseURL] { loadHTMLString(html, baseURL); };
    engine_->cancelFetch();
    engine_->beginLoad();  // in flight from now on, before the engine takes it up
    webkit_web_view_load_html(engine_->view, html.c_str(), baseURL.empty() ? nullptr : baseURL.c_str());
    GLibPump::shared().pump();
}

void WebView::loadRequest(const URLRequest& request) {
    if (!engine_->view) return;
    engine_->reloadedAfterCrash = false;
    engine_->lastLoad = [this, request] { loadRequest(request); };
    engine_->cancelFetch();
    engine_->beginLoad();  // in flight from now on, before the engine takes it up
    if (request.httpMethod() != "GET" || !request.httpBody().empty()) {
        engine_->fetchAndShow(request);
        return;
    }
    // The engine reads this address as Latin-1, which would make each byte of a UTF-8 letter a letter of
    // its own; escaped, the letter reaches the server as the bytes it is.
    const std::string address = percentEncoded(request.url(), [](unsigned char c) { return c < 0x80; });
    WebKitURIRequest* uri = webkit_uri_request_new(address.c_str());
    if (SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(uri))
        for (const auto& [name, value] : request.allHTTPHeaderFields())
            soup_message_headers_replace(headers, name.c_str(), value.c_str());
    webkit_web_view_load_request(engine_->view, uri);
    g_object_unref(uri);
    GLibPump::shared().pump();
}

void WebView::Engine::fetchAndShow(const URLRequest& request) {
    auto keep = hold();
    const uint64_t serial = loadSerial;
    if (WebViewDelegate* d = delegate();
        d && !d->webViewShouldStartLoadWithRequest(*owner, request, WebViewNavigationType::Other)) {
        if (serial == loadSerial) endLoad();
        return;
    }
    if (serial != loadSerial) return;  // the delegate asked for another load meanwhile
    if (WebViewDelegate* d = delegate()) d->webViewDidStartLoad(*owner);
    if (serial != loadSerial) return;
    fetch = URLConnection::sendAsynchronous(
        request, [this, url = request.url()](const std::optional<URLResponse>& response, const Bytes& body,
                                             const std::optional<Error>& error) {
            fetch.reset();
            auto keep = hold();
            if (error || !response) {
                endLoad();
                logInfo("WebView: %s failed: %s", url.c_str(),
                        error ? error->localizedDescription().c_str() : "no answer");
                if (WebViewDelegate* d = delegate())
                    d->webViewDidFailLoadWithError(
                        *owner, error.value_or(Error(URLError::kDomain, URLError::kUnknown)));
                return;
            }
            // The engine shows the answer as the page at its final address, without asking again.
            decidedAlready = true;
            startTold = true;
            GBytes* bytes = g_bytes_new(body.data(), body.size());
            const std::string& mime = response->mimeType();
            const std::string& charset = response->textEncodingName();
            webkit_web_view_load_bytes(view, bytes, mime.empty() ? "text/html" : mime.c_str(),
                                       charset.empty() ? nullptr : charset.c_str(), response->url().c_str());
            g_bytes_unref(bytes);
            GLibPump::shared().pump();
        });
}

void WebView::stopLoading() {
    if (!engine_->view) return;
    engine_->cancelFetch();
    webkit_web_view_stop_loading(engine_->view);
    GLibPump::shared().pump();
}

void WebView::goBack() {
    if (!engine_->view) return;
    engine_->cancelFetch();
    if (webkit_web_view_can_go_back(engine_->view))
        engine_->beginLoad();  // in flight from now on, before the engine takes it up
    webkit_web_view_go_back(engine_->view);
    GLibPump::shared().pump();
}

void WebView::reload() {
    if (!engine_->view) return;
    engine_->cancelFetch();
    engine_->beginLoad();  // in flight from now on, before the engine takes it up
    webkit_web_view_reload(engine_->view);
    GLibPump::shared().pump();
}

bool WebView::isLoading() const {
    return engine_->fetch || (engine_->view && webkit_web_view_is_loading(engine_->view));
}

std::string WebView::url() const {
    const char* uri = engine_->view ? webkit_web_view_get_uri(engine_->view) : nullptr;
    return uri ? uri : "";
}

namespace {

struct ScriptCall {
    std::function<void(const std::string&)> completion;
};

void scriptFinished(GObject* object, GAsyncResult* result, gpointer data) {
    std::unique_ptr<ScriptCall> call(static_cast<ScriptCall*>(data));
    GError* error = nullptr;
    WebKitJavascriptResult* js =
        webkit_web_view_run_javascript_finish(WEBKIT_WEB_VIEW(object), result, &error);
    std::string text;
    if (js) {
        JSCValue* value = webkit_javascript_result_get_js_value(js);
        if (value && !jsc_value_is_undefined(value) && !jsc_value_is_null(value)) {
            gchar* s = jsc_value_to_string(value);
            if (s) text = s;
            g_free(s);
        }
        webkit_javascript_result_unref(js);
    } else {
        logInfo("WebView: script failed: %s", error && error->message ? error->message : "unknown error");
    }
    if (error) g_error_free(error);
    if (call->completion) call->completion(text);
}

}  // namespace

void WebView::evaluateScript(const std::string& script, std::function<void(const std::string&)> completion) {
    if (!engine_->view) {
        if (completion) completion("");
        return;
    }
    webkit_web_view_run_javascript(engine_->view, script.c_str(), nullptr, scriptFinished,
                                   new ScriptCall{std::move(completion)});
    GLibPump::shared().pump();
}

std::string WebView::defaultUserAgent() {
    if (auto agent = registeredUserAgent()) return *agent;
    if (!startEngine()) return {};
    WebKitSettings* settings = webkit_settings_new();
    std::string agent = webkit_settings_get_user_agent(settings);
    g_object_unref(settings);
    return agent;
}

uint64_t WebView::framesDelivered() const {
    return engine_->frames;
}

void WebView::pumpEngine() {
    GLibPump::shared().pump();
}

void WebView::acknowledgeFrames() {
    if (liveEngines().empty()) return;
    for (Engine* engine : liveEngines()) engine->acknowledge();
    GLibPump::shared().pump();
}

size_t WebView::liveCount() {
    return liveEngines().size();
}

bool WebView::engineStarted() {
    return engineStartedSlot();
}

bool WebView::engineSandboxed() {
    return sandboxRefusal().empty();
}

void WebView::setBackgroundColor(const Color& color) {
    // The page draws the colour itself, under its content; the view's own background stays clear.
    View::setBackgroundColor(Color::clearColor());
    setOpaque(false);
    WebKitColor page{color.red, color.green, color.blue, color.alpha};
    if (engine_->view) webkit_web_view_set_background_color(engine_->view, &page);
}

void WebView::drawRect(cairo_t* cr, const Rect&) {
    if (!engine_->frame) return;
    cairo_save(cr);
    cairo_scale(cr, 1 / engine_->frameScale, 1 / engine_->frameScale);
    cairo_set_source_surface(cr, engine_->frame, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

void WebView::layoutSubviews() {
    if (!engine_->backend) return;
    Size size = bounds().size();
    wpe_view_backend_dispatch_set_size(engine_->backend, static_cast<uint32_t>(std::max(1.0, size.width)),
                                       static_cast<uint32_t>(std::max(1.0, size.height)));
}

void WebView::pointer(const Touch& touch, bool pressed, bool motionOnly) {
    if (!engine_->backend) return;
    Point at = touch.locationInView(this);
    double scale = engine_->frameScale;
    wpe_input_pointer_event event{};
    // Milliseconds on the monotonic clock, wrapped to 32 bits as the engine takes them (after 49.7 days of
    // uptime a straight conversion would be out of range).
    event.time = static_cast<uint32_t>(static_cast<uint64_t>(std::max(0.0, touch.timestamp()) * 1000));
    event.x = static_cast<int>(at.x * scale);
    event.y = static_cast<int>(at.y * scale);
    event.type = wpe_input_pointer_event_type_motion;
    // The move to the spot comes before the press, with no button down; before the release the button is
    // still down, or the engine takes the press as ended by the move and a tap on a draggable element
    // (an image in a link) never becomes a click.
    event.modifiers = motionOnly || !pressed ? wpe_input_pointer_modifier_button1 : 0;
    wpe_view_backend_dispatch_pointer_event(engine_->backend, &event);
    if (!motionOnly) {
        event.type = wpe_input_pointer_event_type_button;
        event.button = 1;
        event.state = pressed ? 1 : 0;
        event.modifiers = pressed ? wpe_input_pointer_modifier_button1 : 0;
        wpe_view_backend_dispatch_pointer_event(engine_->backend, &event);
    }
    GLibPump::shared().pump();
}

void WebView::touchesBegan(const TouchSet& touches, const Event&) {
    if (!touches.empty()) pointer(*touches.front(), true, false);
}

void WebView::touchesMoved(const TouchSet& touches, const Event&) {
    if (!touches.empty()) pointer(*touches.front(), true, true);
}

void WebView::touchesEnded(const TouchSet& touches, const Event&) {
    if (!touches.empty()) pointer(*touches.front(), false, false);
}

void WebView::touchesCancelled(const TouchSet& touches, const Event&) {
    if (!touches.empty()) pointer(*touches.front(), false, false);
}

}  // namespace plat
