#include "game/shell/RootViewController.h"

bool RootViewController::shouldAutorotateToInterfaceOrientation(plat::InterfaceOrientation orientation) {
    return orientation == plat::InterfaceOrientation::LandscapeLeft ||
           orientation == plat::InterfaceOrientation::LandscapeRight;
}

unsigned RootViewController::supportedInterfaceOrientations() {
    return plat::OrientationMask::kAllButUpsideDown;
}

bool RootViewController::shouldAutorotate() {
    return true;
}

bool RootViewController::prefersStatusBarHidden() {
    return true;
}
