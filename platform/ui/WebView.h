#pragma once
// A view that shows a web page. The page is rendered by a shared web engine (one ephemeral context, one
// web process for views of one site) into shared-memory frames, which become the view's layer and are
// composited like any other view. The engine's event loop is pumped from the main run loop. Main thread
// only.
//
// The page is rendered whether or not the view is on screen; each delivered frame is acknowledged at the
// next game frame (1/60 s on the shared clock) so a page never outruns the game.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/View.h"

namespace plat {

class WebView;

enum class WebViewNavigationType {
    LinkClicked = 0,
    FormSubmitted = 1,
    BackForward = 2,
    Reload = 3,
    FormResubmitted = 4,
    Other = 5
};

class WebViewDelegate {
  public:
    virtual ~WebViewDelegate() = default;
    // Asked before each navigation; false refuses it (nothing is requested).
    virtual bool webViewShouldStartLoadWithRequest(WebView&, const URLRequest&, WebViewNavigationType) {
        return true;
    }
    virtual void webViewDidStartLoad(WebView&) {}
    virtual void webViewDidFinishLoad(WebView&) {}
    virtual void webViewDidFailLoadWithError(WebView&, const Error&) {}
};

class WebView : public View {
  public:
    explicit WebView(Rect frame = {});
    ~WebView() override;

    // Not retained.
    void setDelegate(std::weak_ptr<WebViewDelegate> delegate) { delegate_ = std::move(delegate); }

    void loadHTMLString(const std::string& html, const std::string& baseURL);
    void loadRequest(const URLRequest& request);
    void stopLoading();
    void goBack();
    void reload();
    bool isLoading() const;
    // The URL of the current page (empty before the first load).
    std::string url() const;

    // Runs `script` in the page; the completion gets the result as a string (empty on an error).
    void evaluateScript(const std::string& script, std::function<void(const std::string&)> completion);

    // What the page's "navigator.userAgent" gives in a new view: the "UserAgent" value of the standard
    // user defaults when there is one, else the engine's own (empty when the engine cannot start).
    static std::string defaultUserAgent();
    // Whether the engine was started in this process: by the first view, or the first defaultUserAgent()
    // that asks it. A start it cannot make (no descriptor left) is said in one line and tried again later.
    static bool engineStarted();

    // Kept only: the engine has no such settings.
    void setDataDetectorTypes(unsigned types) { dataDetectorTypes_ = types; }
    unsigned dataDetectorTypes() const { return dataDetectorTypes_; }
    void setBounces(bool bounces) { bounces_ = bounces; }
    bool bounces() const { return bounces_; }
    void setContentInset(double top, double left, double bottom, double right) {
        contentInset_ = {top, left, bottom, right};
    }

    // Frames delivered by the engine so far (for tests and the headless driver).
    uint64_t framesDelivered() const;
    // Runs whatever the web engine has ready now; the main run loop does this by itself.
    static void pumpEngine();
    // Acknowledges every frame shown so far, so the engine may render the next (the headless driver,
    // while it holds the clock, lets pages go on rendering).
    static void acknowledgeFrames();
    // Web views alive in the process.
    static size_t liveCount();
    // True when the engine's processes run in its sandbox, in namespaces of their own; false on a
    // machine where the sandbox cannot start (said once in the log), where they run as the app does.
    static bool engineSandboxed();

    void setBackgroundColor(const Color& color);
    void drawRect(cairo_t* cr, const Rect& rect) override;
    void layoutSubviews() override;
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void touchesCancelled(const TouchSet& touches, const Event& event) override;

    struct Engine;  // the engine's objects for one view

  private:
    friend struct Engine;
    void pointer(const Touch& touch, bool pressed, bool motionOnly);

    std::unique_ptr<Engine> engine_;
    std::weak_ptr<WebViewDelegate> delegate_;
    unsigned dataDetectorTypes_ = 0;
    bool bounces_ = true;
    std::vector<double> contentInset_{0, 0, 0, 0};
};

}  // namespace plat
