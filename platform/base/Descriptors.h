#pragma once
// The process's open-file descriptors as a resource: which of them cross an exec, and what happens when
// they run out.
namespace plat {

// Opens each standard stream (0, 1, 2) that is closed on /dev/null. For the very start of a program: a
// file it opens later never takes the place of a standard stream, where a library's messages would
// write into it and a number passed on to the next program would be taken for a stream.
void openClosedStandardStreams();

// Raises the soft limit of open files toward the hard limit, up to `wanted` (a higher one is kept). Gives
// the soft limit in force afterwards, and the hard limit in `hard`.
unsigned long long raiseDescriptorLimit(unsigned long long wanted, unsigned long long* hard = nullptr);

// How many descriptors the process has open (the standard streams too), however it came by them: a
// program may start with many inherited from its parent, which count against the same limit.
unsigned long long openDescriptorCount();
// Notes how many descriptors the program was started with (openDescriptorCount), for
// startingDescriptorCount. First in main, before the program opens any of its own.
void noteStartingDescriptors();
// The descriptors the program was started with, as noted then: those it opened itself since count as its
// own. The count now when none was noted.
unsigned long long startingDescriptorCount();

// Marks every descriptor above the standard streams close-on-exec: whatever a library opened without the
// flag, only the standard streams cross the exec that follows, and what is let through after this call.
// Needs no free descriptor. `useCloseRange` false takes the way of a kernel without close_range's
// close-on-exec mode (for tests).
void closeOnExecAll(bool useCloseRange = true);

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
