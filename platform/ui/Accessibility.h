#pragma once
// The traits a view reports to assistive technology, as bit flags.
#include <cstdint>

namespace plat::AccessibilityTrait {
constexpr uint64_t kNone = 0;
constexpr uint64_t kButton = 1;
constexpr uint64_t kSelected = 8;
constexpr uint64_t kNotEnabled = 256;
}  // namespace plat::AccessibilityTrait
