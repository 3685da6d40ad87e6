#pragma once
// The loading box of the popup and the wall: a rounded, translucent black 130 x 100 box in the middle of
// a view of the given size, with a large white spinner (already turning) and "Loading..." (or its
// Japanese text on Japanese devices) below it.
#include <memory>

#include "platform/ui/Geometry.h"

namespace plat {
class ActivityIndicatorView;
class View;
}  // namespace plat

struct ADFRLoadingBox {
    static ADFRLoadingBox make(plat::Size around);

    std::shared_ptr<plat::View> box;
    std::shared_ptr<plat::ActivityIndicatorView> spinner;
};
