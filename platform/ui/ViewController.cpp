#include "platform/ui/ViewController.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <typeinfo>

#include "platform/base/Log.h"
#include "platform/base/UncaughtException.h"
#include "platform/runloop/RunLoop.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/Paths.h"
#include "platform/storage/PropertyList.h"
#include "platform/ui/Application.h"

namespace plat {
namespace {

std::filesystem::path& lastRequest() {
    static std::filesystem::path path;
    return path;
}

constexpr uintmax_t kMaxImageFileBytes = 64u << 20;

struct Hooks {
    std::mutex mutex;
    ViewController::AppearanceHook appear;
    ViewController::AppearanceHook disappear;
};

Hooks& hooks() {
    static Hooks h;
    return h;
}

}  // namespace

ViewController::~ViewController() = default;

std::string ViewController::className() const {
    const std::string name = demangle(typeid(*this).name());
    const size_t colon = name.rfind("::");
    return colon == std::string::npos ? name : name.substr(colon + 2);
}

void ViewController::viewDidAppear(bool animated) {
    AppearanceHook hook;
    {
        std::lock_guard<std::mutex> lock(hooks().mutex);
        hook = hooks().appear;
    }
    if (hook) hook(*this, animated);
}

void ViewController::viewDidDisappear(bool animated) {
    AppearanceHook hook;
    {
        std::lock_guard<std::mutex> lock(hooks().mutex);
        hook = hooks().disappear;
    }
    if (hook) hook(*this, animated);
}

void ViewController::setViewDidAppearHook(AppearanceHook hook) {
    std::lock_guard<std::mutex> lock(hooks().mutex);
    hooks().appear = std::move(hook);
}

void ViewController::setViewDidDisappearHook(AppearanceHook hook) {
    std::lock_guard<std::mutex> lock(hooks().mutex);
    hooks().disappear = std::move(hook);
}

const std::shared_ptr<View>& ViewController::view() {
    if (!view_) view_ = std::make_shared<View>(Screen::main().bounds());
    return view_;
}

bool ViewController::shouldAutorotateToInterfaceOrientation(InterfaceOrientation orientation) {
    return orientation == InterfaceOrientation::Portrait;
}

unsigned ViewController::supportedInterfaceOrientations() {
    return OrientationMask::kAllButUpsideDown;
}

bool ViewController::shouldAutorotate() {
    return true;
}

bool ViewController::prefersStatusBarHidden() {
    return false;
}

bool ViewController::presentViewController(std::shared_ptr<ViewController> controller, bool animated,
                                           std::function<void()> completion) {
    if (!controller) return false;
    if (presented_ || controller->presenting_ || controller.get() == this) {
        logWarning("ViewController: a controller is already presented; the new one is not shown");
        return false;
    }
    presented_ = controller;
    controller->presenting_ = this;
    controller->viewDidAppear(animated);
    if (completion) completion();
    return true;
}

void ViewController::dismissViewControllerAnimated(bool animated, std::function<void()> completion) {
    if (!presented_ && presenting_) {
        presenting_->dismissViewControllerAnimated(animated, std::move(completion));
        return;
    }
    if (!presented_) return;
    std::shared_ptr<ViewController> gone = std::move(presented_);
    presented_.reset();
    gone->presenting_ = nullptr;
    gone->viewDidDisappear(animated);
    if (completion) completion();
}

std::shared_ptr<ComposeViewController> ComposeViewController::composeViewControllerForServiceType(
    const std::string& type) {
    if (!isAvailableForServiceType(type)) return nullptr;
    return std::shared_ptr<ComposeViewController>(new ComposeViewController(type));
}

bool ComposeViewController::isAvailableForServiceType(const std::string& type) {
    return type == kServiceTypeTwitter;
}

bool ComposeViewController::setInitialText(const std::string& text) {
    if (shown_) return false;
    text_ = text;
    return true;
}

bool ComposeViewController::addImage(DecodedImage image) {
    if (shown_ || image.width == 0 || image.height == 0) return false;
    image_ = std::move(image);
    return true;
}

std::filesystem::path ComposeViewController::lastRequestPath() {
    return lastRequest();
}

bool ComposeViewController::keepRequest() {
    const std::filesystem::path folder = Paths::documents() / "ShareRequests";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::filesystem::path plist, png;
    for (int n = 1; n < 1000000; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "share-%04d", n);
        plist = folder / (std::string(name) + ".plist");
        png = folder / (std::string(name) + ".png");
        if (!std::filesystem::exists(plist, ec)) break;
    }
    Value::Dictionary request;
    request.set("service", Value(service_));
    request.set("text", Value(text_));
    if (image_) {
        auto bytes = ImageCodec::encodePng(image_->pixels.data(), image_->width, image_->height, 4);
        if (bytes && writeFileAtomically(png, *bytes)) {
            request.set("image", Value(png.filename().string()));
            request.set("imageWidth", Value(static_cast<int64_t>(image_->width)));
            request.set("imageHeight", Value(static_cast<int64_t>(image_->height)));
        } else {
            logError("ComposeViewController: the picture could not be kept with the share request");
        }
    }
    if (!PropertyList::writeFile(plist, Value(std::move(request)))) return false;
    lastRequest() = plist;
    std::string line = "share (" + service_ + "): " + text_;
    if (image_)
        line += " [picture " + std::to_string(image_->width) + "x" + std::to_string(image_->height) + "]";
    else
        line += " [no picture]";
    Application::printServiceLine(line + " -> " + plist.string());
    return true;
}

void ComposeViewController::viewDidAppear(bool animated) {
    ViewController::viewDidAppear(animated);
    shown_ = true;
    const bool kept = keepRequest();
    // Nobody edits the sheet on the desktop: it finishes as sent (or as cancelled when nothing was kept).
    std::weak_ptr<ViewController> weak = weak_from_this();
    RunLoop::main().post([weak, kept] {
        auto self = std::static_pointer_cast<ComposeViewController>(weak.lock());
        if (self && self->completion_) self->completion_(kept ? Result::Done : Result::Cancelled);
    });
}

std::optional<DecodedImage> imageWithContentsOfFile(const std::filesystem::path& path) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size == 0 || size > kMaxImageFileBytes) {
        logError("image: cannot read a picture from \"%s\"", path.c_str());
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() != size) {
        logError("image: cannot read a picture from \"%s\"", path.c_str());
        return std::nullopt;
    }
    auto image = ImageCodec::decode(bytes.data(), bytes.size(), AlphaMode::Straight);
    if (!image) logError("image: \"%s\" is not a picture this system reads", path.c_str());
    return image;
}

}  // namespace plat
