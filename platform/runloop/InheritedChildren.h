#pragma once
// The child processes a program inherits from the one it was before an exec, which keeps the process id:
// the code that would have waited for them went with the exec. They are waited for on the main run loop
// until each has ended, so none stays a zombie for the rest of the program.
namespace plat {

// Starts waiting for every child this process has now. For the start of a program, before it starts any
// of its own; a child that something else waits for meanwhile is simply dropped.
void reapInheritedChildren();

}  // namespace plat
