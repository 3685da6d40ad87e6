#include "platform/base/UncaughtException.h"

#include <cxxabi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <typeinfo>
#include <vector>

namespace plat {

namespace {

std::atomic<UncaughtExceptionHandler>& slot() {
    static std::atomic<UncaughtExceptionHandler> handler{nullptr};
    return handler;
}

bool isThrowMachinery(const std::string& line) {
    return line.find("__cxa_throw") != std::string::npos || line.find("__cxa_rethrow") != std::string::npos;
}

// Keeps the lines from the one above the outermost throwing frame on, renumbered from 0.
std::vector<std::string> throwSiteLines(const std::vector<std::string>& lines) {
    size_t first = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (isThrowMachinery(lines[i])) {
            first = i;
            break;
        }
    }
    if (first == lines.size()) return lines;
    // A sanitizer's interceptor may stand between the machinery and the thrower.
    size_t last = first;
    while (last + 1 < lines.size() && isThrowMachinery(lines[last + 1])) ++last;
    std::vector<std::string> out;
    for (size_t i = last == 0 ? 0 : last - 1, n = 0; i < lines.size(); ++i, ++n) {
        // Each line starts with its index in a four-character column.
        char index[16];
        std::snprintf(index, sizeof index, "%-4zu", n);
        const std::string& line = lines[i];
        out.push_back(index + (line.size() > 4 ? line.substr(4) : std::string()));
    }
    return out;
}

std::terminate_handler& previousTerminate() {
    static std::terminate_handler handler = nullptr;
    return handler;
}

[[noreturn]] void onTerminate() {
    if (UncaughtExceptionHandler handler = slot().load()) {
        if (std::exception_ptr current = std::current_exception()) {
            const Exception exception = uncaughtExceptionFrom(current);
            handler(&exception);
        }
    }
    // The runtime's own handler says what was thrown, then aborts.
    if (std::terminate_handler next = previousTerminate()) next();
    std::abort();
}

}  // namespace

std::string demangle(const char* mangled) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    return name;
}

Exception uncaughtExceptionFrom(std::exception_ptr exception) {
    Exception out("", "");
    try {
        std::rethrow_exception(exception);
    } catch (const Exception& e) {
        out = e;
    } catch (const std::exception& e) {
        out = Exception(demangle(typeid(e).name()), e.what());
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        out = Exception(type ? demangle(type->name()) : std::string("unknown exception"), "");
    }
    if (out.callStackSymbols().empty()) {
        Exception here("", "");
        here.captureCallStack();
        out.setCallStackSymbols(throwSiteLines(here.callStackSymbols()));
    }
    return out;
}

UncaughtExceptionHandler getUncaughtExceptionHandler() {
    return slot().load();
}

void setUncaughtExceptionHandler(UncaughtExceptionHandler handler) {
    static std::once_flag installed;
    std::call_once(installed, [] { previousTerminate() = std::set_terminate(onTerminate); });
    slot().store(handler);
}

}  // namespace plat
