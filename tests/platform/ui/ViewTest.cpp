// The view model without GL: layout by autoresizing masks, hit tests and the touches a window routes,
// controls and buttons, toolbars, pictures from the bundle, snapshots and the spinner.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>

#include "platform/runloop/RunLoop.h"
#include "platform/storage/Bundle.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/Window.h"
#include "tests/support/TestSupport.h"

using plat::Rect;

namespace {

void expectRect(const Rect& actual, const Rect& expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9);
    EXPECT_NEAR(actual.y, expected.y, 1e-9);
    EXPECT_NEAR(actual.width, expected.width, 1e-9);
    EXPECT_NEAR(actual.height, expected.height, 1e-9);
}

// Records the phases that reach it.
class RecordingView : public plat::View {
  public:
    using View::View;
    void touchesBegan(const plat::TouchSet& t, const plat::Event& e) override { log("began", t, e); }
    void touchesMoved(const plat::TouchSet& t, const plat::Event& e) override { log("moved", t, e); }
    void touchesEnded(const plat::TouchSet& t, const plat::Event& e) override { log("ended", t, e); }
    void touchesCancelled(const plat::TouchSet& t, const plat::Event& e) override { log("cancelled", t, e); }
    std::vector<std::string> phases;
    plat::Point last;
    bool passUp = false;

  private:
    void log(const char* phase, const plat::TouchSet& touches, const plat::Event& event) {
        phases.push_back(phase);
        last = touches.front()->locationInView(this);
        if (!passUp) return;
        std::string p = phase;
        if (p == "began") View::touchesBegan(touches, event);
        if (p == "ended") View::touchesEnded(touches, event);
    }
};

// A window with a content view (the GL view's host) filling it.
struct Screen {
    Screen() {
        window = std::make_shared<plat::Window>(Rect{0, 0, 320, 568});
        content = std::make_shared<RecordingView>(Rect{0, 0, 320, 568});
        window->addSubview(content);
        window->makeKeyAndVisible();
    }
    std::shared_ptr<plat::Window> window;
    std::shared_ptr<RecordingView> content;
};

}  // namespace

TEST(ViewLayout, MasksGiveThePopupsAndWallsFramesAfterAResize) {
    auto super = std::make_shared<plat::View>(Rect{0, 0, 320, 568});
    // The popup fills its superview (18); its box stays in the middle (45).
    auto popup = std::make_shared<plat::View>(Rect{0, 0, 320, 568});
    popup->setAutoresizingMask(18);
    auto box = std::make_shared<plat::View>(Rect{5, 134, 310, 300});
    box->setAutoresizingMask(45);
    popup->addSubview(box);
    super->addSubview(popup);
    // The wall keeps the superview's size (58) and its toolbar the width (2).
    auto wall = std::make_shared<plat::View>(Rect{0, 0, 320, 568});
    wall->setAutoresizingMask(58);
    auto toolbar = std::make_shared<plat::View>(Rect{0, 0, 320, 44});
    toolbar->setAutoresizingMask(2);
    wall->addSubview(toolbar);
    super->addSubview(wall);

    super->setFrame({0, 0, 568, 320});
    expectRect(popup->frame(), {0, 0, 568, 320});
    expectRect(box->frame(), {129, 10, 310, 300});
    expectRect(wall->frame(), {0, 0, 568, 320});
    expectRect(toolbar->frame(), {0, 0, 568, 44});

    // Without autoresizing of subviews nothing follows.
    wall->setAutoresizesSubviews(false);
    super->setFrame({0, 0, 320, 568});
    expectRect(wall->frame(), {0, 0, 320, 568});
    expectRect(toolbar->frame(), {0, 0, 568, 44});
    expectRect(box->frame(), {5, 134, 310, 300});
}

TEST(ViewLayout, TransformTurnsAboutTheCentreAndPointsConvertThroughIt) {
    auto window = std::make_shared<plat::Window>(Rect{0, 0, 320, 480});
    auto box = std::make_shared<plat::View>(Rect{0, 0, 320, 480});
    window->addSubview(box);
    box->setTransform(plat::AffineTransform::makeRotation(M_PI / 2));
    expectRect(box->frame(), {-80, 80, 480, 320});
    const plat::Point p = box->convertPointToView({0, 0}, nullptr);
    EXPECT_NEAR(p.x, 400, 1e-9);
    EXPECT_NEAR(p.y, 80, 1e-9);
    const plat::Point back = box->convertPointFromView(p, nullptr);
    EXPECT_NEAR(back.x, 0, 1e-9);
    EXPECT_NEAR(back.y, 0, 1e-9);
    EXPECT_EQ(window->hitTest({300, 90}, nullptr), box.get());
    EXPECT_EQ(window->hitTest({10, 10}, nullptr), window.get());
}

TEST(ViewLayout, BadGeometryIsRefused) {
    plat::View view(Rect{1, 2, 3, 4});
    view.setFrame({NAN, 0, 10, 10});
    expectRect(view.frame(), {1, 2, 3, 4});
    view.setFrame({0, 0, -5, 10});
    expectRect(view.frame(), {0, 0, 0, 10});
    view.setAlpha(7);
    EXPECT_EQ(view.alpha(), 1);
    view.setBorderWidth(-1);
    EXPECT_EQ(view.borderWidth(), 0);
    auto parent = std::make_shared<plat::View>();
    auto child = std::make_shared<plat::View>();
    parent->addSubview(child);
    child->addSubview(parent);  // a cycle: refused
    EXPECT_TRUE(child->subviews().empty());
}

TEST(ViewTouches, TapOnAViewReachesItAndNotTheGame) {
    Screen screen;
    auto view = std::make_shared<RecordingView>(Rect{0, 518, 320, 50});
    screen.content->addSubview(view);
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Began, 1, {100, 540}));
    // The touch stays with its view even when the finger leaves it.
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Moved, 1, {100, 100}));
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, {100, 100}));
    EXPECT_EQ(view->phases, (std::vector<std::string>{"began", "moved", "ended"}));
    EXPECT_NEAR(view->last.y, -418, 1e-9);
    EXPECT_TRUE(screen.content->phases.empty());

    // Beside the view: the game's, and so every later phase of it.
    EXPECT_FALSE(plat::Window::routeTouch(plat::Touch::Phase::Began, 2, {100, 100}));
    EXPECT_FALSE(plat::Window::routeTouch(plat::Touch::Phase::Moved, 2, {100, 540}));
    EXPECT_FALSE(plat::Window::routeTouch(plat::Touch::Phase::Ended, 2, {100, 540}));
    EXPECT_EQ(view->phases.size(), 3u);
    // Phases a view passes up stop at the window: they never become the game's.
    view->passUp = true;
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Began, 3, {10, 530}));
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Ended, 3, {10, 530}));
    EXPECT_EQ(screen.content->phases, (std::vector<std::string>{"began", "ended"}));

    // Hidden, transparent or non-interactive views are not hit.
    view->setHidden(true);
    EXPECT_FALSE(plat::Window::routeTouch(plat::Touch::Phase::Began, 4, {100, 540}));
    EXPECT_FALSE(plat::Window::routeTouch(plat::Touch::Phase::Ended, 4, {100, 540}));
    view->setHidden(false);
    view->setUserInteractionEnabled(false);
    EXPECT_EQ(screen.window->hitTest({100, 540}, nullptr), screen.content.get());
    view->setUserInteractionEnabled(true);
    view->setAlpha(0);
    EXPECT_EQ(screen.window->hitTest({100, 540}, nullptr), screen.content.get());
}

TEST(ViewTouches, NoKeyWindowLeavesEveryTouchToTheGame) {
    { Screen screen; }
    EXPECT_EQ(plat::Window::keyWindow(), nullptr);
    EXPECT_FALSE(plat::Window::routeTouch(plat::Touch::Phase::Began, 1, {1, 1}));
    EXPECT_FALSE(plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, {1, 1}));
}

TEST(ViewTouches, OverlayStopsTheBeginningOfATouch) {
    // A view that takes the beginning of a touch and passes nothing on.
    class Overlay : public plat::View {
      public:
        using View::View;
        void touchesBegan(const plat::TouchSet&, const plat::Event&) override {}
    };
    Screen screen;
    auto overlay = std::make_shared<Overlay>(Rect{0, 0, 320, 568});
    screen.content->addSubview(overlay);
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Began, 1, {100, 100}));
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, {100, 100}));
    // Began stopped at the overlay; the end went up the chain by default.
    EXPECT_EQ(screen.content->phases, (std::vector<std::string>{"ended"}));
}

TEST(Button, TouchUpInsideOnceWhenReleasedInsideHighlightedWhileInside) {
    Screen screen;
    auto button = plat::Button::buttonWithType(plat::Button::Type::Custom);
    button->setFrame({248, 5, 57, 33});
    button->setTitle("Close", plat::ControlState::kNormal);
    button->setTitleColor(plat::Color::grayColor(), plat::ControlState::kNormal);
    screen.content->addSubview(button);
    int inside = 0, outside = 0, downs = 0;
    button->addTarget(
        this, [&](plat::Control&, const plat::Event*) { ++inside; }, plat::ControlEvent::kTouchUpInside);
    button->addTarget(
        nullptr, [&](plat::Control&, const plat::Event*) { ++outside; }, plat::ControlEvent::kTouchUpOutside);
    button->addTarget(
        nullptr, [&](plat::Control&, const plat::Event*) { ++downs; }, plat::ControlEvent::kTouchDown);

    ASSERT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Began, 1, {260, 20}));
    EXPECT_TRUE(button->isHighlighted());
    EXPECT_EQ(button->state(), plat::ControlState::kHighlighted);
    plat::Window::routeTouch(plat::Touch::Phase::Moved, 1, {200, 20});
    EXPECT_FALSE(button->isHighlighted());
    plat::Window::routeTouch(plat::Touch::Phase::Moved, 1, {270, 30});
    EXPECT_TRUE(button->isHighlighted());
    plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, {270, 30});
    EXPECT_FALSE(button->isHighlighted());
    EXPECT_EQ(inside, 1);
    EXPECT_EQ(outside, 0);

    // Released outside: no action of touch-up-inside.
    plat::Window::routeTouch(plat::Touch::Phase::Began, 1, {260, 20});
    plat::Window::routeTouch(plat::Touch::Phase::Moved, 1, {100, 300});
    plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, {100, 300});
    EXPECT_EQ(inside, 1);
    EXPECT_EQ(outside, 1);
    EXPECT_EQ(downs, 2);

    // A disabled button sends nothing; a removed target gets nothing.
    button->setEnabled(false);
    plat::Window::routeTouch(plat::Touch::Phase::Began, 1, {260, 20});
    plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, {260, 20});
    EXPECT_EQ(inside, 1);
    button->setEnabled(true);
    button->removeTarget(this, plat::ControlEvent::kTouchUpInside);
    plat::Window::routeTouch(plat::Touch::Phase::Began, 1, {260, 20});
    plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, {260, 20});
    EXPECT_EQ(inside, 1);
    EXPECT_EQ(downs, 3);
}

TEST(Button, ActionThatRemovesTheButtonIsSafe) {
    Screen screen;
    auto button = std::make_shared<plat::Button>(Rect{0, 0, 50, 50});
    screen.content->addSubview(button);
    plat::Button* raw = button.get();
    int taps = 0;
    button->addTarget(
        nullptr,
        [&](plat::Control& sender, const plat::Event*) {
            ++taps;
            sender.removeFromSuperview();
        },
        plat::ControlEvent::kTouchUpInside);
    button.reset();
    plat::Window::routeTouch(plat::Touch::Phase::Began, 1, {10, 10});
    plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, {10, 10});
    EXPECT_EQ(taps, 1);
    EXPECT_TRUE(screen.content->subviews().empty());
    (void)raw;
}

TEST(Button, StateValuesFallBackToNormal) {
    plat::Button button;
    button.setTitle("Close", plat::ControlState::kNormal);
    button.setTitle("閉じる", plat::ControlState::kHighlighted);
    EXPECT_EQ(button.currentTitle(), "Close");
    button.setHighlighted(true);
    EXPECT_EQ(button.currentTitle(), "閉じる");
    EXPECT_EQ(button.currentTitleColor(), plat::Color::whiteColor());
    button.setHighlighted(false);
    button.setSelected(true);
    EXPECT_EQ(button.currentTitle(), "Close");
    EXPECT_EQ(button.state(), plat::ControlState::kSelected);
}

TEST(Toolbar, FlexibleSpaceSendsTheItemToTheRightEnd) {
    plat::Toolbar bar(Rect{0, 0, 320, 44});
    auto button = std::make_shared<plat::Button>(Rect{0, 0, 60, 44});
    bar.setItems({plat::BarButtonItem::flexibleSpace(), plat::BarButtonItem::withCustomView(button)});
    EXPECT_EQ(button->superview(), &bar);
    expectRect(button->frame(), {320 - plat::Toolbar::kEdgeMargin - 60, 0, 60, 44});
    bar.setFrame({0, 0, 568, 44});
    expectRect(button->frame(), {568 - plat::Toolbar::kEdgeMargin - 60, 0, 60, 44});
    bar.setItems({});
    EXPECT_EQ(button->superview(), nullptr);
}

TEST(Image, NamedPrefersTheDoubleSizeFileAndIsNullWhenMissing) {
    testsupport::TempDir dir;
    auto write = [&](const char* name, uint32_t w, uint32_t h) {
        std::vector<uint8_t> rgba(size_t(w) * h * 4, 200);
        auto png = plat::ImageCodec::encodePng(rgba.data(), w, h, 4);
        std::ofstream(dir.path() / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(png->data()), std::streamsize(png->size()));
    };
    write("close.png", 37, 33);
    write("close@2x.png", 74, 66);
    write("bar.png", 10, 4);
    plat::Bundle::setMainResourcePath(dir.path());
    auto close = plat::Image::named("close.png");
    auto bar = plat::Image::named("bar");
    auto missing = plat::Image::named("adfrinters_close.png");
    std::ofstream(dir.path() / "broken.png") << "not a picture";
    auto broken = plat::Image::named("broken.png");
    plat::Bundle::setMainResourcePath({});
    ASSERT_TRUE(close);
    EXPECT_EQ(close->scale(), 2);
    EXPECT_EQ(close->size(), (plat::Size{37, 33}));
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->scale(), 1);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(broken, nullptr);

    // An image view takes the picture's size in points.
    plat::ImageView view(close);
    expectRect(view.frame(), {0, 0, 37, 33});
    EXPECT_FALSE(view.isUserInteractionEnabled());
}

TEST(Snapshot, HoldsTheViewWithItsSubviewsAtTheScale) {
    auto box = std::make_shared<plat::View>(Rect{100, 100, 20, 10});
    box->setBackgroundColor(plat::Color::redColor());
    auto child = std::make_shared<plat::View>(Rect{10, 0, 10, 10});
    child->setBackgroundColor(plat::Color::blueColor());
    box->addSubview(child);
    auto picture = box->snapshot(2);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->pixelWidth(), 40);
    EXPECT_EQ(picture->size(), (plat::Size{20, 10}));
    const plat::DecodedImage rgba = picture->toDecoded();
    auto at = [&](int x, int y) {
        const uint8_t* p = rgba.pixels.data() + (size_t(y) * 40 + x) * 4;
        return std::vector<int>{p[0], p[1], p[2], p[3]};
    };
    EXPECT_EQ(at(5, 5), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(at(30, 15), (std::vector<int>{0, 0, 255, 255}));
    EXPECT_EQ(plat::View(Rect{0, 0, 0, 10}).snapshot(2), nullptr);
}

TEST(Label, MiddleTruncationKeepsBothEndsAndFitsMeasure) {
    plat::Label label(Rect{0, 0, 200, 20});
    label.setText("Close");
    label.setFont(plat::ViewFont::boldSystemFont(15));
    const plat::Size one = label.sizeThatFits({});
    EXPECT_GT(one.width, 30);
    EXPECT_LT(one.height, 25);
    label.setText("Close\nClose");
    label.setNumberOfLines(0);
    EXPECT_GT(label.sizeThatFits({200, 0}).height, one.height * 1.8);
    label.setNumberOfLines(1);
    EXPECT_FALSE(label.isUserInteractionEnabled());
    EXPECT_EQ(label.lineBreakMode(), plat::LineBreakMode::TruncateTail);
}

TEST(ActivityIndicator, StepsRoundOnTheMainLoopWhileAnimatingAndHidesWhenStopped) {
    testsupport::VirtualClockScope time;
    auto spinner =
        std::make_shared<plat::ActivityIndicatorView>(plat::ActivityIndicatorView::Style::WhiteLarge);
    EXPECT_EQ(spinner->frame().size(), (plat::Size{37, 37}));
    EXPECT_TRUE(spinner->isHidden());
    spinner->startAnimating();
    EXPECT_FALSE(spinner->isHidden());
    for (int i = 0; i < 5; ++i) {
        time.clock().advance(1.0 / 12 + 1e-4);
        while (plat::RunLoop::main().runOnce(0) > 0) {
        }
    }
    EXPECT_EQ(spinner->step(), 5);
    EXPECT_TRUE(spinner->needsDisplay());
    spinner->stopAnimating();
    EXPECT_TRUE(spinner->isHidden());
    time.clock().advance(1);
    plat::RunLoop::main().runOnce(0);
    EXPECT_EQ(spinner->step(), 5);
}
