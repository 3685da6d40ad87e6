#include "platform/base/ProcessStat.h"

#include <fstream>
#include <sstream>
#include <string>

namespace plat {

std::optional<ProcessStat> ProcessStat::of(long pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(file, line)) return std::nullopt;
    // "pid (name) state ppid pgrp session tty tpgid flags ...": the name may hold anything but its last ')'.
    const size_t nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos) return std::nullopt;
    std::istringstream fields(line.substr(nameEnd + 1));
    ProcessStat stat;
    std::string skipped;
    fields >> stat.state >> stat.parent >> skipped >> skipped >> skipped >> skipped >> stat.flags;
    if (!fields) return std::nullopt;
    return stat;
}

}  // namespace plat
