// The popup's self-drawn pieces: the gradient button (stops, layout of its pictures, border, titles per
// state, the look while tracking, the three styles), the toolbar's gradient and the overlay that swallows
// the beginning of touches. Looks are checked on rendered pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "ads/widgets/ADFRNVUIGradientButton.h"
#include "ads/widgets/ZividedirPopupToolbar.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/Window.h"

using plat::Color;
using plat::Rect;
namespace State = plat::ControlState;

namespace {

struct Pixels {
    plat::DecodedImage rgba;
    int width() const { return int(rgba.width); }
    int height() const { return int(rgba.height); }
    std::vector<int> at(int x, int y) const {
        const uint8_t* p = rgba.pixels.data() + (size_t(y) * rgba.width + size_t(x)) * 4;
        return {p[0], p[1], p[2], p[3]};
    }
};

Pixels render(plat::View& view) {
    auto picture = view.snapshot(1);
    EXPECT_TRUE(picture);
    return {picture ? picture->toDecoded() : plat::DecodedImage{}};
}

void expectNear(const std::vector<int>& actual, const std::vector<int>& expected, int tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "component " << i;
}

// A solid picture of `width` × `height` points.
std::shared_ptr<plat::Image> solid(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    plat::DecodedImage image;
    image.width = uint32_t(width);
    image.height = uint32_t(height);
    image.pixels.resize(size_t(width) * size_t(height) * 4);
    for (size_t i = 0; i < image.pixels.size(); i += 4) {
        image.pixels[i] = r;
        image.pixels[i + 1] = g;
        image.pixels[i + 2] = b;
        image.pixels[i + 3] = 255;
    }
    return plat::Image::fromDecoded(image);
}

// A flat, borderless button: only what a test adds shows on it.
std::shared_ptr<ADFRNVUIGradientButton> flatButton(Rect frame, double borderWidth) {
    auto button = std::make_shared<ADFRNVUIGradientButton>(frame, 0.0, borderWidth, std::nullopt);
    button->setGradientEnabled(0);
    button->setTintColor(Color::whiteColor());
    return button;
}

}  // namespace

TEST(GradientButton, StopsAreTheTintLightenedAndDarkenedInSinglePrecision) {
    ADFRNVUIGradientButton button(Rect{0, 0, 100, 40});
    button.setTintColor(Color::rgba(1, 0.5, 0));
    const auto g = button.newGradientAccordingToCurrentState();
    const float d = 50.0f / 255.0f;
    EXPECT_FLOAT_EQ(float(g.colors[0].red), 1.0f);
    EXPECT_FLOAT_EQ(float(g.colors[0].green), 0.5f + d);
    EXPECT_FLOAT_EQ(float(g.colors[0].blue), d);
    EXPECT_EQ(g.colors[1], Color::rgba(1, 0.5, 0));
    EXPECT_FLOAT_EQ(float(g.colors[2].red), 1.0f - d);
    EXPECT_FLOAT_EQ(float(g.colors[2].green), 0.5f - d);
    // No lower bound on the dark stop; the drawing clamps it.
    EXPECT_FLOAT_EQ(float(g.colors[2].blue), -d);
    EXPECT_EQ(g.colors[2].alpha, 1);
    EXPECT_EQ(g.locations, (std::array<double, 3>{0, 0.5, 1}));

    // Drawn top to bottom: light, tint, dark.
    button.setBorderWidth(0);
    button.setCornerRadius(0);
    const Pixels px = render(button);
    expectNear(px.at(50, 0), {255, 128 + 50, 50, 255}, 3);
    expectNear(px.at(50, 20), {255, 128, 0, 255}, 3);
    expectNear(px.at(50, 39), {255 - 50, 128 - 50, 0, 255}, 3);

    // No tint at all: components of 0, so every stop is clear.
    button.setTintColor(std::nullopt);
    for (const Color& c : button.newGradientAccordingToCurrentState().colors) EXPECT_EQ(c.alpha, 0);
}

TEST(GradientButton, AccessoryPicturesFitInsideTheMarginKeepingTheirAspect) {
    // Border 2: margin 6, so a 50-point button leaves 38 points for a picture.
    auto button = flatButton(Rect{0, 0, 200, 50}, 2);
    button->setBorderColor(Color::whiteColor());
    button->setLeftAccessoryImage(solid(30, 60, 255, 0, 0));
    button->setRightAccessoryImage(solid(10, 10, 0, 0, 255));
    const Pixels px = render(*button);
    int top = -1, bottom = -1, left = -1, right = -1;
    for (int y = 0; y < px.height(); ++y)
        for (int x = 0; x < px.width(); ++x) {
            const auto p = px.at(x, y);
            if (p[0] > 200 && p[1] < 60 && p[2] < 60) {
                if (top < 0) top = y;
                bottom = y;
                left = left < 0 ? x : std::min(left, x);
                right = std::max(right, x);
            }
        }
    EXPECT_EQ(top, 6);
    EXPECT_EQ(bottom - top + 1, 38);
    EXPECT_EQ(left, 6);
    EXPECT_NEAR(right - left + 1, 19, 1);  // 30 × 38 / 60
    // A smaller picture keeps its size, at the right end, centred.
    expectNear(px.at(200 - 6 - 5, 25), {0, 0, 255, 255}, 2);
    expectNear(px.at(200 - 6 - 11, 25), {255, 255, 255, 255}, 2);
    expectNear(px.at(200 - 6 - 5, 19), {255, 255, 255, 255}, 2);
}

TEST(GradientButton, BorderIsDrawnOnlyWithAPositiveWidth) {
    auto countBlue = [](const Pixels& px) {
        int n = 0;
        for (int y = 0; y < px.height(); ++y)
            for (int x = 0; x < px.width(); ++x) {
                const auto p = px.at(x, y);
                if (p[2] > 100 && p[0] < 200) ++n;
            }
        return n;
    };
    for (double width : {2.0, 0.0, -1.0}) {
        auto button = flatButton(Rect{0, 0, 80, 30}, width);
        button->setBorderColor(Color::blueColor());
        const int blue = countBlue(render(*button));
        if (width > 0) {
            EXPECT_GT(blue, 100) << width;
        } else {
            EXPECT_EQ(blue, 0) << width;
        }
    }
}

TEST(GradientButton, TitlesPerStateAndTheDisabledLook) {
    ADFRNVUIGradientButton button(Rect{0, 0, 100, 40}, 10, 2, std::string("Close"));
    // Every title starts as the given one.
    EXPECT_EQ(button.highlightedText(), "Close");
    EXPECT_EQ(button.disabledText(), "Close");

    button.setText(std::string("Both"), State::kDisabled | State::kHighlighted);
    EXPECT_EQ(button.highlightedText(), "Both");
    EXPECT_EQ(button.disabledText(), "Both");
    button.setText(std::string("Off"), State::kDisabled);
    EXPECT_EQ(button.highlightedText(), "Both");
    EXPECT_EQ(button.disabledText(), "Off");
    EXPECT_EQ(button.text(), "Close");
    button.setText(std::string("Selected"), State::kSelected);
    EXPECT_EQ(button.highlightedText(), "Selected");
    // A state with neither bit is not a state of the title.
    button.setTintColor(Color::redColor(), State::kDisabled);
    EXPECT_EQ(button.tintColor(), ADFRNVUIGradientButton::defaults().tintColor);

    button.setTextColor(Color::rgba(0.2, 0.4, 0.6, 0.8));
    EXPECT_EQ(button.textAccordingToCurrentState(), "Close");
    EXPECT_EQ(button.accessibilityTraits(), plat::AccessibilityTrait::kButton);
    button.setEnabled(false);
    EXPECT_EQ(button.textAccordingToCurrentState(), "Off");
    EXPECT_EQ(button.accessibilityLabel(), "Off");
    EXPECT_EQ(button.textColorAccordingToCurrentState(), Color::rgba(0.2, 0.4, 0.6, 0.4));
    EXPECT_EQ(button.accessibilityTraits(),
              plat::AccessibilityTrait::kButton | plat::AccessibilityTrait::kNotEnabled);
    // Without a disabled title the normal one shows.
    button.setDisabledText(std::nullopt);
    EXPECT_EQ(button.textAccordingToCurrentState(), "Close");
}

TEST(GradientButton, ChangesRedrawOnlyWhenTheChangedValueIsOnShow) {
    ADFRNVUIGradientButton button(Rect{0, 0, 60, 30});
    button.updateLayer(1);
    ASSERT_FALSE(button.needsDisplay());
    button.setHighlightedTintColor(Color::redColor());
    button.setDisabledText(std::string("off"));
    EXPECT_FALSE(button.needsDisplay());
    button.setTintColor(Color::redColor());
    EXPECT_TRUE(button.needsDisplay());
    button.updateLayer(1);
    button.setTintColor(Color::redColor());  // the same value
    button.setCornerRadius(3);               // stored without a redraw
    EXPECT_FALSE(button.needsDisplay());
    button.setGlossy(1);
    EXPECT_TRUE(button.needsDisplay());

    button.setSelected(true);
    button.updateLayer(1);
    button.setTextColor(Color::blueColor());
    EXPECT_FALSE(button.needsDisplay());
    button.setHighlightedTextColor(Color::blueColor());
    EXPECT_TRUE(button.needsDisplay());
}

TEST(GradientButton, TrackingSwitchesTheLookAsTheTouchLeavesAndComesBack) {
    // The window's first view is the game's; the button lies on it.
    auto window = std::make_shared<plat::Window>(Rect{0, 0, 320, 568});
    auto game = std::make_shared<plat::View>(Rect{0, 0, 320, 568});
    window->addSubview(game);
    window->makeKeyAndVisible();
    auto button = std::make_shared<ADFRNVUIGradientButton>(Rect{100, 100, 100, 40});
    button->setGradientEnabled(0);
    game->addSubview(button);
    int taps = 0;
    button->addTarget(
        nullptr, [&](plat::Control&, const plat::Event*) { ++taps; }, plat::ControlEvent::kTouchUpInside);
    const auto& d = ADFRNVUIGradientButton::defaults();
    auto centre = [&] { return render(*button).at(50, 20); };
    const std::vector<int> normal = {220, 220, 220, 255}, pressed = {0, 157, 255, 255};

    expectNear(centre(), normal, 1);
    ASSERT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Began, 1, {150, 120}));
    EXPECT_EQ(button->tintColorAccordingToCurrentState(), d.highlightedTintColor);
    EXPECT_EQ(button->accessibilityTraits(),
              plat::AccessibilityTrait::kButton | plat::AccessibilityTrait::kSelected);
    expectNear(centre(), pressed, 1);
    plat::Window::routeTouch(plat::Touch::Phase::Moved, 1, {20, 20});
    expectNear(centre(), normal, 1);
    plat::Window::routeTouch(plat::Touch::Phase::Moved, 1, {190, 130});
    expectNear(centre(), pressed, 1);
    plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, {190, 130});
    expectNear(centre(), normal, 1);
    EXPECT_EQ(taps, 1);

    // A cancelled touch leaves the normal look too.
    plat::Window::routeTouch(plat::Touch::Phase::Began, 2, {150, 120});
    plat::Window::routeTouch(plat::Touch::Phase::Cancelled, 2, {150, 120});
    EXPECT_FALSE(button->isHighlighted());
    expectNear(centre(), normal, 1);

    // Without a highlighted tint the pressed button keeps the normal one rather than going blank.
    button->setHighlightedTintColor(std::nullopt);
    plat::Window::routeTouch(plat::Touch::Phase::Began, 3, {150, 120});
    expectNear(centre(), normal, 1);
    plat::Window::routeTouch(plat::Touch::Phase::Ended, 3, {150, 120});
}

TEST(GradientButton, TheThreeStylesRender) {
    auto centre = [](unsigned style) {
        ADFRNVUIGradientButton button(Rect{0, 0, 100, 40}, style);
        button.setGradientEnabled(0);
        return render(button).at(50, 20);
    };
    expectNear(centre(1), {220, 220, 220, 255}, 1);
    expectNear(centre(2), {0, 0, 0, 255}, 1);
    expectNear(centre(3), {0, 0, 0, 178}, 1);

    ADFRNVUIGradientButton styled(Rect{0, 0, 100, 40}, 3);
    EXPECT_EQ(styled.textColor(), Color::whiteColor());
    EXPECT_EQ(styled.highlightedTintColor(), Color::rgba(3.0 / 255, 112.0 / 255, 236.0 / 255, 0.7));
    // Back to style 1: the class-wide look again.
    styled.setStyle(1);
    EXPECT_EQ(styled.tintColor(), ADFRNVUIGradientButton::defaults().tintColor);
    EXPECT_EQ(styled.textColor(), Color::blackColor());

    // The title is drawn: a titled button differs from a bare one only inside the title area.
    ADFRNVUIGradientButton bare(Rect{0, 0, 100, 40}, 2);
    ADFRNVUIGradientButton titled(Rect{0, 0, 100, 40}, 2, 10, 2, std::string("Close"));
    const Pixels a = render(bare), b = render(titled);
    int differing = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 100; ++x)
            if (a.at(x, y) != b.at(x, y)) {
                ++differing;
                EXPECT_TRUE(x >= 6 && x < 94 && y >= 6 && y < 34) << x << "," << y;
            }
    EXPECT_GT(differing, 50);
}

TEST(GradientButton, GlossLightensTheUpperHalfOnly) {
    auto button = flatButton(Rect{0, 0, 100, 40}, 0);
    button->setTintColor(Color::blackColor());
    button->setGlossy(1);
    const Pixels px = render(*button);
    // White at 0.35 over black at the top, fading to 0.1 at the middle; nothing below.
    expectNear(px.at(50, 0), {89, 89, 89, 255}, 3);
    expectNear(px.at(50, 30), {0, 0, 0, 255}, 1);
}

TEST(PopupToolbar, DefaultGradientRunsGreenTopToBottomAndKeepsAlpha) {
    ZividedirPopupToolbar bar(Rect{0, 0, 310, 42});
    Pixels px = render(bar);
    expectNear(px.at(155, 0), {107, 222, 31, 255}, 2);
    expectNear(px.at(155, 41), {49, 172, 0, 255}, 2);

    bar.setStartColor(Color::rgba(1, 0, 0, 0.5));
    bar.setEndColor(Color::rgba(0, 0, 1, 0.5));
    // Setting a colour asks for no redraw; the next one shows it.
    bar.updateLayer(1);
    bar.setStartColor(Color::rgba(1, 0, 0, 0.5));
    EXPECT_FALSE(bar.needsDisplay());
    px = render(bar);
    // Pixel centres lie half a row into the gradient, and half alpha halves the precision.
    expectNear(px.at(155, 0), {255, 0, 0, 128}, 6);
    expectNear(px.at(155, 41), {0, 0, 255, 128}, 6);
}

TEST(DisableTouchView, StopsTheBeginningOfTouchesButNotTheButtonAbove) {
    class Recording : public plat::View {
      public:
        using View::View;
        void touchesBegan(const plat::TouchSet&, const plat::Event&) override { ++began; }
        int began = 0;
    };
    auto window = std::make_shared<plat::Window>(Rect{0, 0, 320, 568});
    auto game = std::make_shared<Recording>(Rect{0, 0, 320, 568});
    window->addSubview(game);
    window->makeKeyAndVisible();
    auto overlay = std::make_shared<ADFRDisableTouchView>(Rect{0, 0, 320, 568});
    overlay->setBackgroundColor(Color::lightGrayColor());
    overlay->setAlpha(0.3);
    game->addSubview(overlay);
    auto close = std::make_shared<ADFRNVUIGradientButton>(Rect{248, 5, 57, 33}, 10, 2, std::string("Close"));
    game->addSubview(close);
    int closes = 0;
    close->addTarget(
        nullptr, [&](plat::Control&, const plat::Event*) { ++closes; }, plat::ControlEvent::kTouchUpInside);

    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Began, 1, {100, 300}));
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Ended, 1, {100, 300}));
    EXPECT_EQ(game->began, 0);
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Began, 2, {270, 20}));
    EXPECT_TRUE(plat::Window::routeTouch(plat::Touch::Phase::Ended, 2, {270, 20}));
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(game->began, 0);
}
