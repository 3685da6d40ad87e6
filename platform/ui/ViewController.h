#pragma once
// View controllers as the phone has them: one view each, presenting another controller modally, and the
// rotation and status-bar questions the system asks. ComposeViewController is the share sheet: on this
// desktop "sending" keeps the request as files in the app's Documents/ShareRequests/ and prints one line.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/media/ImageCodec.h"
#include "platform/ui/Window.h"

namespace plat {

enum class InterfaceOrientation {
    Portrait = 1,
    PortraitUpsideDown = 2,
    LandscapeLeft = 4,
    LandscapeRight = 3
};

// Bits of supportedInterfaceOrientations: 1 << orientation.
namespace OrientationMask {
constexpr unsigned kPortrait = 1u << 1;
constexpr unsigned kPortraitUpsideDown = 1u << 2;
constexpr unsigned kLandscapeRight = 1u << 3;
constexpr unsigned kLandscapeLeft = 1u << 4;
constexpr unsigned kAllButUpsideDown = kPortrait | kLandscapeLeft | kLandscapeRight;
}  // namespace OrientationMask

class ViewController : public std::enable_shared_from_this<ViewController> {
  public:
    ViewController() = default;
    virtual ~ViewController();
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    // Made on first use (a plain view of the screen's bounds) unless one was set.
    const std::shared_ptr<View>& view();
    void setView(std::shared_ptr<View> view) { view_ = std::move(view); }
    bool isViewLoaded() const { return view_ != nullptr; }
    bool wantsFullScreenLayout() const { return wantsFullScreenLayout_; }
    void setWantsFullScreenLayout(bool wants) { wantsFullScreenLayout_ = wants; }

    virtual bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation orientation);
    virtual unsigned supportedInterfaceOrientations();
    virtual bool shouldAutorotate();
    virtual bool prefersStatusBarHidden();
    virtual void didReceiveMemoryWarning() {}
    virtual void viewDidUnload() {}

    // Empty when the controller has none.
    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    // The name of the controller's own (most derived) class, without namespaces.
    virtual std::string className() const;

    // Called once the controller's view is on screen (the window shows its root, a presentation) and once
    // it has left (a dismissal). The base bodies end by running the installed hooks, so an override that
    // does not call the base skips them, as on the phone.
    virtual void viewDidAppear(bool animated);
    virtual void viewDidDisappear(bool animated);
    using AppearanceHook = std::function<void(ViewController& controller, bool animated)>;
    // Process-wide; an empty hook removes the one installed.
    static void setViewDidAppearHook(AppearanceHook hook);
    static void setViewDidDisappearHook(AppearanceHook hook);

    // One presented controller at a time: a second presentation while one is up is refused (logged) and
    // its completion does not run. The completion runs once the presented controller is up.
    bool presentViewController(std::shared_ptr<ViewController> controller, bool animated,
                               std::function<void()> completion);
    // Dismisses what this controller presented (or, called on a presented controller, itself).
    void dismissViewControllerAnimated(bool animated, std::function<void()> completion);
    const std::shared_ptr<ViewController>& presentedViewController() const { return presented_; }
    // Not retained.
    ViewController* presentingViewController() const { return presenting_; }

  private:
    std::shared_ptr<View> view_;
    std::string title_;
    bool wantsFullScreenLayout_ = false;
    std::shared_ptr<ViewController> presented_;
    ViewController* presenting_ = nullptr;
};

class ComposeViewController : public ViewController {
  public:
    enum class Result { Cancelled = 0, Done = 1 };
    using CompletionHandler = std::function<void(Result)>;

    static constexpr const char* kServiceTypeTwitter = "twitter";

    // Null for a service this desktop cannot share to.
    static std::shared_ptr<ComposeViewController> composeViewControllerForServiceType(
        const std::string& type);
    static bool isAvailableForServiceType(const std::string& type);

    // Both are refused (false) once the sheet is up, as on the phone.
    bool setInitialText(const std::string& text);
    bool addImage(DecodedImage image);
    void setCompletionHandler(CompletionHandler handler) { completion_ = std::move(handler); }

    const std::string& serviceType() const { return service_; }
    const std::string& initialText() const { return text_; }
    const std::optional<DecodedImage>& image() const { return image_; }

    // Where the last request was kept (empty before the first one).
    static std::filesystem::path lastRequestPath();

    // Keeps the request, prints it and, on the next pass of the main run loop, finishes as sent.
    void viewDidAppear(bool animated) override;

  private:
    explicit ComposeViewController(std::string service) : service_(std::move(service)) {}
    bool keepRequest();

    std::string service_;
    std::string text_;
    std::optional<DecodedImage> image_;
    CompletionHandler completion_;
    bool shown_ = false;
};

// The picture in a file (PNG, JPEG, TIFF or WebP), read from that path; empty (logged) when unreadable.
std::optional<DecodedImage> imageWithContentsOfFile(const std::filesystem::path& path);

}  // namespace plat
