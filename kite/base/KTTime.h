#pragma once
// Time of day for frame timing, read through the process clock so headless runs stay repeatable.
#include <cstdint>

namespace kite {

struct kt_timeval {
    int64_t tv_sec = 0;
    int32_t tv_usec = 0;
};

// Always returns 0; a null record is left alone.
int kt_gettimeofday(kt_timeval* tp);

}  // namespace kite
