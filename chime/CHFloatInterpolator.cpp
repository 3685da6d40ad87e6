#include "chime/CHFloatInterpolator.h"

#include <cmath>

float CHFloatInterpolator::interpolate(float t) const {
    if (t >= 1.0f) return end_;
    float d = end_ - start_;
    switch (interpolationType_) {
        case kIT_Linear:
            return start_ + d * t;
        case kIT_SCurve: {
            double tt = t;
            return start_ + d * static_cast<float>(tt * tt * (3.0 - 2.0 * tt));
        }
        case kIT_Exponential:
            if (end_ > start_) {
                // Reaches end - 0.001 d just below t = 1; the last step jumps to the end.
                float f = t == 0.0f ? 0.0f : std::pow(2.0f, 10.0f * (t - 1.0f)) - 0.001f;
                return start_ + d * f;
            }
            return start_ + d * (1.0f - std::pow(2.0f, -10.0f * t));
        default:
            return 0.0f;
    }
}
