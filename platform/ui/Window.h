#pragma once
// The window (the root of the views on screen) and the main screen. The window's content view hosts the
// GL frame; the compositor lays every other view over it, and touches go to the view they hit.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/View.h"

namespace plat {

class ViewController;

class Window : public View {
  public:
    explicit Window(Rect frame) : View(frame) {}
    ~Window() override;

    // The controller's view becomes the window's only content view. On a window already shown, the old
    // root is told it disappeared and the new one that it appeared.
    void setRootViewController(std::shared_ptr<ViewController> controller);
    const std::shared_ptr<ViewController>& rootViewController() const { return root_; }
    // The root controller is told it appeared, the first time the window shows it.
    void makeKeyAndVisible();
    bool isKeyWindow() const { return keyWindow() == this; }
    // The window last made key (not retained; null once it is gone).
    static Window* keyWindow();

    // The view that hosts the GL frame: the root view controller's view, else the first subview.
    View* contentView() const;

    // Offers a touch of the screen (window points) to the key window. On its beginning the window's hit
    // test decides: a touch on the content view (or on nothing) belongs to the game, and every later phase
    // of it too; any other view takes the touch to its end. True when a view took it, so the game must not
    // see it; false when the game should.
    static bool routeTouch(Touch::Phase phase, intptr_t identity, Point location);
    bool sendTouch(Touch::Phase phase, intptr_t identity, Point location);

  private:
    struct TrackedTouch {
        intptr_t identity;
        std::shared_ptr<Touch> touch;  // null: the game's touch
    };
    std::shared_ptr<ViewController> root_;
    bool rootAppeared_ = false;
    std::vector<TrackedTouch> touches_;
};

// The device's screen: 320 x 568 points at 2 pixels per point unless the session says otherwise.
class Screen {
  public:
    static Screen& main();
    Rect bounds() const { return bounds_; }
    double scale() const { return scale_; }
    void setBounds(Rect bounds, double scale);
    // Whether a session gave the screen its bounds: a program that shows nothing has no screen of its
    // own, only the phone's default size.
    bool shown() const { return shown_; }
    // The bounds less the status bar (20 points at the top) while the status bar shows.
    Rect applicationFrame() const;

  private:
    Rect bounds_{0, 0, 320, 568};
    double scale_ = 2;
    bool shown_ = false;
};

}  // namespace plat
