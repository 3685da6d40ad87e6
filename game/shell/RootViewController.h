#pragma once
// The root view controller of the app's window. Its view carries the engine's GL surface view; the
// banner and popup ads are laid over it as subviews.
#include <memory>

#include "ads/ZividedirPopupView.h"
#include "ads/base/ZividedirViewDelegate.h"
#include "platform/ui/ViewController.h"

namespace kite {
class EAGLView;
}

// The view that stands for the GL surface view in the view hierarchy.
class GLHostView : public plat::View {
  public:
    GLHostView(plat::Rect frame, std::shared_ptr<kite::EAGLView> glView)
        : plat::View(frame), glView_(std::move(glView)) {}
    const std::shared_ptr<kite::EAGLView>& glView() const { return glView_; }

  private:
    std::shared_ptr<kite::EAGLView> glView_;
};

// The ads' delegate too, implementing none of its operations.
class RootViewController : public plat::ViewController,
                           public ZividedirViewDelegate,
                           public ZividedirPopupViewDelegate {
  public:
    // Rotation is asked per orientation for the landscape pair only; the mask allows portrait too.
    bool shouldAutorotateToInterfaceOrientation(plat::InterfaceOrientation orientation) override;
    unsigned supportedInterfaceOrientations() override;
    bool shouldAutorotate() override;
    bool prefersStatusBarHidden() override;
};
