#include "platform/base/Assert.h"

#include <cstdio>
#include <cstdlib>

namespace plat {

void assertionFailed(const char* function, const char* file, int line, const char* condition,
                     const char* description) {
    // Straight to stderr: a log sink may be the thing that is broken.
    std::fprintf(stderr, "Assertion failed: (%s), function %s, file %s, line %d.%s%s\n", condition, function,
                 file, line, description && *description ? " " : "", description ? description : "");
    std::fflush(stderr);
    std::abort();
}

}  // namespace plat
