#pragma once
// The phone's view model on the desktop: rectangles in points with the origin at the top left, views
// that hold subviews, the one window, and the main screen. Nothing here draws; the GL frame is the
// screen's content and these views stand for what the phone would lay over it (ads, sheets).
#include <functional>
#include <memory>
#include <vector>

namespace plat {

class ViewController;

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

class View : public std::enable_shared_from_this<View> {
  public:
    explicit View(Rect frame = {}) : frame_(frame) {}
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    Rect frame() const { return frame_; }
    void setFrame(Rect frame) { frame_ = frame; }
    // The frame moved to the view's own origin.
    Rect bounds() const { return {0, 0, frame_.width, frame_.height}; }
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }

    // Takes the view out of its old superview first; adding a view to itself or to one of its own
    // subviews is refused (logged), since it would make a cycle.
    void addSubview(const std::shared_ptr<View>& view);
    void removeFromSuperview();
    const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
    // Not retained: the superview owns its subviews.
    View* superview() const { return superview_; }
    bool isDescendantOf(const View* view) const;

  private:
    Rect frame_;
    bool hidden_ = false;
    View* superview_ = nullptr;
    std::vector<std::shared_ptr<View>> subviews_;
};

class Window : public View {
  public:
    explicit Window(Rect frame) : View(frame) {}
    ~Window() override;

    // The controller's view becomes the window's only content view.
    void setRootViewController(std::shared_ptr<ViewController> controller);
    const std::shared_ptr<ViewController>& rootViewController() const { return root_; }
    void makeKeyAndVisible();
    bool isKeyWindow() const { return keyWindow() == this; }
    // The window last made key (not retained; null once it is gone).
    static Window* keyWindow();

  private:
    std::shared_ptr<ViewController> root_;
};

// The device's screen: 320 x 568 points at 2 pixels per point unless the session says otherwise.
class Screen {
  public:
    static Screen& main();
    Rect bounds() const { return bounds_; }
    double scale() const { return scale_; }
    void setBounds(Rect bounds, double scale);
    // The bounds less the status bar (20 points at the top) while the status bar shows.
    Rect applicationFrame() const;

  private:
    Rect bounds_{0, 0, 320, 568};
    double scale_ = 2;
};

}  // namespace plat
