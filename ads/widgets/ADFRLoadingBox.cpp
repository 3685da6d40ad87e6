#include "ads/widgets/ADFRLoadingBox.h"

#include "ads/settings/ADFRManager.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Label.h"

ADFRLoadingBox ADFRLoadingBox::make(plat::Size around) {
    ADFRLoadingBox made;
    made.box = std::make_shared<plat::View>(
        plat::Rect{(around.width - 130) / 2, (around.height - 100) / 2, 130, 100});
    plat::View& box = *made.box;
    box.setBackgroundColor(plat::Color::blackColor());
    box.setContentMode(plat::ContentMode::Center);
    box.setAutoresizesSubviews(false);
    box.setCornerRadius(20);
    box.setAlpha(0.8);

    auto label = std::make_shared<plat::Label>();
    label->setText(ADFRManager::stringCurrentContryCode() == "ja" ? "読み込み中..." : "Loading...");
    label->setFont(plat::ViewFont::boldSystemFont(16));
    label->sizeToFit();
    const plat::Size text = label->bounds().size();
    label->setFrame({(130 - text.width) / 2, 100 - text.height - 15, text.width, text.height});
    label->setTextColor(plat::Color::whiteColor());
    label->setBackgroundColor(plat::Color::clearColor());

    made.spinner =
        std::make_shared<plat::ActivityIndicatorView>(plat::ActivityIndicatorView::Style::WhiteLarge);
    // The wheel sits centred at a third of the box's height.
    made.spinner->setFrame({0, 100.0 / 3 - 50, 130, 100});
    made.spinner->setAutoresizingMask(plat::Autoresizing::kFlexibleWidth |
                                      plat::Autoresizing::kFlexibleHeight);
    made.spinner->startAnimating();

    box.addSubview(label);
    box.addSubview(made.spinner);
    return made;
}
