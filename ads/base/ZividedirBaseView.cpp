#include "ads/base/ZividedirBaseView.h"

#include <atomic>

namespace {
std::atomic<int32_t> nextIdentity{1};
}

ZividedirBaseView::ZividedirBaseView(plat::Rect frame) : plat::View(frame), identity_(nextIdentity++) {}
