#pragma once
// The statistics font: a 256 × 32 RGBA PNG whose 12 × 32 cells hold '.', '/' and '0' to '9' (white glyphs
// with a black outline, readable over any scene), built into the program so statistics need no files.
#include <cstddef>

namespace kite {

extern const unsigned char kKTFPSImagesPNG[];
extern const size_t kKTFPSImagesPNGLength;

}  // namespace kite
