// Call-stack lines of uncaught exceptions: demangled, and resolved when only the module was known.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <string>

#include "platform/base/UncaughtException.h"

namespace {

[[gnu::noinline]] int localFunction(int x) {
    return x * 3 + 1;
}

std::string head(uintptr_t address) {
    char text[96];
    std::snprintf(text, sizeof text, "%-4d%-35s 0x%016" PRIxPTR " ", 3, "platform_tests", address);
    return text;
}

}  // namespace

TEST(ReadableFrame, ModuleOnlyFramesAreResolvedAndSymbolsDemangled) {
    EXPECT_EQ(localFunction(1), 4);
    // A return address just inside the function, named by its module only (the program exports nothing).
    const uintptr_t address = reinterpret_cast<uintptr_t>(&localFunction) + 1;
    EXPECT_EQ(plat::readableFrame(head(address) + "platform_tests + 4242"),
              head(address) + "(anonymous namespace)::localFunction(int) + 1");
    EXPECT_EQ(plat::readableFrame(head(0x10) + "_ZN4plat8demangleEPKc + 7"),
              head(0x10) + "plat::demangle(char const*) + 7");
    for (const std::string& as_is : {std::string("0   a 0x1 f + 1"), head(0x10) + "platform_tests + 5"})
        EXPECT_EQ(plat::readableFrame(as_is), as_is);
}
