#pragma once
// The interface orientation that keyboard rectangles and accelerometer readings are turned to match:
// 1 portrait, 2 upside down, 3 landscape right, 4 landscape left. The game runs in portrait.
namespace kite {

inline int& ktStatusBarOrientationStorage() {
    static int orientation = 1;
    return orientation;
}

inline int ktStatusBarOrientation() {
    return ktStatusBarOrientationStorage();
}

inline void ktSetStatusBarOrientation(int orientation) {
    ktStatusBarOrientationStorage() = orientation;
}

}  // namespace kite
