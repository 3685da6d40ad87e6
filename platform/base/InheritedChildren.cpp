#include "platform/base/InheritedChildren.h"

#include <dirent.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/base/ProcessStat.h"

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

}  // namespace

InheritedChildren InheritedChildren::now() {
    InheritedChildren children;
    children.pending_ = childrenNow();
    return children;
}

bool InheritedChildren::reapEnded() {
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                  [](pid_t pid) {
                                      int status = 0;
                                      const pid_t got = ::waitpid(pid, &status, WNOHANG);
                                      return got != 0;  // ended and waited for, or no longer this one's
                                  }),
                   pending_.end());
    return pending_.empty();
}

}  // namespace plat
