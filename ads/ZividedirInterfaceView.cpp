#include "ads/ZividedirInterfaceView.h"

void ZividedirInterfaceView::postAdClicked() {
    if (auto delegate = delegate_.lock()) delegate->zividedirViewAdTapped(zividedirView_);
}
