#pragma once
// The process's open-file descriptors as a resource: which of them cross an exec, and what happens when
// they run out.
namespace plat {

// Marks every descriptor above the standard streams close-on-exec: whatever a library opened without the
// flag, only the standard streams cross the exec that follows, and what is let through after this call.
void closeOnExecAll();

// Sets a few descriptors aside for the way out. Once the process has run out (noteOutOfDescriptors) they
// are given back, so that the last saves can still open their files.
void reserveDescriptors();

// Whether `error` (an errno value) says that the process or the system has no descriptor left.
bool isOutOfDescriptors(int error);

// Says in one line, once, that the process ran out of open files, where (`what`), and its limit; gives
// the reserve back and remembers it for outOfDescriptors(). Safe on any thread; errno stays as it was.
void noteOutOfDescriptors(const char* what);
bool outOfDescriptors();

}  // namespace plat
