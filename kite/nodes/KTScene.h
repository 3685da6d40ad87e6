#pragma once
// The root node that the director runs.
#include "kite/nodes/KTNode.h"

namespace kite {

class KTScene : public KTNode {
  public:
    KTScene();
    ~KTScene() override;

    // Null when there is no director.
    static KTScene* create();
    // Takes the window size as the content size.
    bool init() override;
};

}  // namespace kite
