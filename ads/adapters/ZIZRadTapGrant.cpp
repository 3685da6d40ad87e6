#include "ads/adapters/ZIZRadTapGrant.h"

void ZIZRadTapGrant::touchBegan(int64_t nowMicros) {
    live_ = true;
    lastNewsMicros_ = nowMicros;
}

void ZIZRadTapGrant::heardOfTouch(int64_t nowMicros) {
    if (live_) lastNewsMicros_ = nowMicros;
}

bool ZIZRadTapGrant::holds(int64_t nowMicros) const {
    return live_ && nowMicros - lastNewsMicros_ <= kLapseMicros;
}
