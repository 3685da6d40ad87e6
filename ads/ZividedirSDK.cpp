#include "ads/ZividedirSDK.h"

#include "ads/ZividedirView.h"

std::shared_ptr<ZividedirSDK> ZividedirSDK::sharedManager() {
    // Made once under the language's own lock, so concurrent first calls still make exactly one.
    static const std::shared_ptr<ZividedirSDK> instance(new ZividedirSDK());
    return instance;
}

std::shared_ptr<ZividedirView> ZividedirSDK::adViewWithFrame(
    plat::Rect frame, const std::shared_ptr<ZividedirViewDelegate>& delegate) const {
    auto view = ZividedirView::create(frame);
    view->setDelegate(delegate);
    return view;
}
