#pragma once
// The process's handler of exceptions that nobody caught. Setting the first handler installs, once, a
// terminate handler that turns the exception in flight into an Exception (a plat::Exception as it is; any
// other by its demangled type and what()), gives it the throw site's call stack when it has none, calls
// the handler currently in the slot and then the runtime's own terminate handler,
// which aborts the process.
//
// The call-stack lines are made readable (readableFrame) and cut so that line 1 is the throwing machinery
// ("__cxa_throw"), line 0 the frame it called, and the throw site's own frames begin at line 2.
#include <exception>
#include <string>

#include "platform/base/Error.h"

namespace plat {

using UncaughtExceptionHandler = void (*)(const Exception* exception);

UncaughtExceptionHandler getUncaughtExceptionHandler();
// Null clears the slot (the process then only aborts).
void setUncaughtExceptionHandler(UncaughtExceptionHandler handler);

// The exception as the handler receives it, with the calling thread's stack cut as described above.
Exception uncaughtExceptionFrom(std::exception_ptr exception);

// A type name as written in code ("std::runtime_error"); the given text when it does not demangle.
std::string demangle(const char* mangled);

// One call-stack line made readable: its symbol demangled, and a frame named only by its module resolved
// to the function holding the address, from the module's own symbol table, while that module is loaded.
// Any other line comes back as it is.
std::string readableFrame(const std::string& line);

}  // namespace plat
