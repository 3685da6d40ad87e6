#pragma once
// What the system's /proc/<pid>/stat tells of a process.
#include <optional>

namespace plat {

struct ProcessStat {
    // 'R', 'S', 'D', 'Z' (ended, not yet waited for), 'X', ...
    char state = 0;
    long parent = 0;
    // The kernel's flags of the process (0x4: exiting).
    unsigned long flags = 0;

    // None when there is no such process (or it could not be read).
    static std::optional<ProcessStat> of(long pid);
};

}  // namespace plat
