#include "platform/runloop/InheritedChildren.h"

#include <dirent.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/ProcessStat.h"
#include "platform/runloop/RunLoop.h"

namespace plat {
namespace {

// The children of this process: from the kernel's list of each thread's children, or, where the kernel
// keeps none, from every process's parent.
std::vector<pid_t> childrenNow() {
    std::vector<pid_t> children;
    const pid_t self = ::getpid();
    bool listed = false;
    if (DIR* tasks = ::opendir("/proc/self/task")) {
        while (const dirent* task = ::readdir(tasks)) {
            if (task->d_name[0] == '.') continue;
            std::ifstream list(std::string("/proc/self/task/") + task->d_name + "/children");
            listed = listed || list.is_open();
            for (pid_t pid; list >> pid;) children.push_back(pid);
        }
        ::closedir(tasks);
    }
    if (listed) return children;
    DIR* procs = ::opendir("/proc");
    if (!procs) return children;
    while (const dirent* proc = ::readdir(procs)) {
        char* end = nullptr;
        const long pid = std::strtol(proc->d_name, &end, 10);
        if (end == proc->d_name || *end) continue;
        const auto stat = ProcessStat::of(pid);
        if (stat && stat->parent == self) children.push_back(static_cast<pid_t>(pid));
    }
    ::closedir(procs);
    return children;
}

// Waits for those of `pending` that have ended; true when none is left.
bool reapEnded(std::vector<pid_t>& pending) {
    pending.erase(std::remove_if(pending.begin(), pending.end(),
                                 [](pid_t pid) {
                                     int status = 0;
                                     const pid_t got = ::waitpid(pid, &status, WNOHANG);
                                     return got != 0;  // ended and waited for, or no longer this one's
                                 }),
                  pending.end());
    return pending.empty();
}

}  // namespace

void reapInheritedChildren() {
    auto pending = std::make_shared<std::vector<pid_t>>(childrenNow());
    if (reapEnded(*pending)) return;
    constexpr double kInterval = 0.2;
    auto timer = std::make_shared<RunLoop::TimerId>(0);
    *timer = RunLoop::main().addTimer(
        kInterval,
        [pending, timer] {
            if (reapEnded(*pending)) RunLoop::main().cancelTimer(*timer);
        },
        kInterval);
}

}  // namespace plat
