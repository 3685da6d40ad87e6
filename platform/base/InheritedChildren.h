#pragma once
// The child processes a program inherits from the one it was before an exec, which keeps the process id:
// the code that would have waited for them went with the exec. Whoever takes them waits for each until it
// has ended, so none stays a zombie for the rest of the program.
#include <sys/types.h>

#include <vector>

namespace plat {

class InheritedChildren {
  public:
    // Every child this process has now. For the start of a program, before it starts any of its own.
    static InheritedChildren now();

    // Waits for those that have ended; true when none is left. A child that something else waited for
    // meanwhile is simply dropped.
    bool reapEnded();

  private:
    std::vector<pid_t> pending_;
};

}  // namespace plat
