#include "kite/base/KTTime.h"

#include "platform/base/Clock.h"

namespace kite {

int kt_gettimeofday(kt_timeval* tp) {
    if (!tp) return 0;
    plat::TimeVal now = plat::Clock::shared().timeOfDay();
    tp->tv_sec = now.seconds;
    tp->tv_usec = now.microseconds;
    return 0;
}

}  // namespace kite
