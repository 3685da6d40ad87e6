#pragma once
// A value moved from a start to an end as the caller feeds it the elapsed fraction t.

enum : int { kIT_Linear = 0, kIT_SCurve = 1, kIT_Exponential = 2 };

class CHFloatInterpolator {
  public:
    CHFloatInterpolator(int type, float startVal, float endVal)
        : start_(startVal), end_(endVal), interpolationType_(type) {}

    // t >= 1 gives the end exactly; an unknown type gives 0.
    float interpolate(float t) const;

    float start() const { return start_; }
    void setStart(float start) { start_ = start; }
    float end() const { return end_; }
    void setEnd(float end) { end_ = end; }
    int interpolationType() const { return interpolationType_; }
    void setInterpolationType(int type) { interpolationType_ = type; }

  private:
    float start_;
    float end_;
    [[maybe_unused]] float lastValue_ = 0.0f;
    int interpolationType_;
};
