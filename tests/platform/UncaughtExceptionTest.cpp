// What the uncaught-exception slot's handler receives for each kind of thrown object.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/base/UncaughtException.h"

namespace {

template <typename T>
std::exception_ptr thrown(T value) {
    try {
        throw value;
    } catch (...) {
        return std::current_exception();
    }
}

}  // namespace

TEST(UncaughtException, OthersAreNamedByTheirTypeAndWhat) {
    const plat::Exception e = plat::uncaughtExceptionFrom(thrown(std::out_of_range("index 3")));
    EXPECT_EQ(e.name(), "std::out_of_range");
    EXPECT_EQ(e.reason(), "index 3");
    EXPECT_FALSE(e.callStackSymbols().empty());
    EXPECT_EQ(plat::uncaughtExceptionFrom(thrown(42)).name(), "int");
    EXPECT_EQ(plat::demangle("not a mangled name"), "not a mangled name");
}

TEST(UncaughtException, APlatformExceptionKeepsItsNameReasonAndStack) {
    plat::Exception original("NSInvalidArgumentException", "bad", {});
    original.setCallStackSymbols({"0   a 0x1 f + 1", "1   a 0x2 g + 2"});
    const plat::Exception e = plat::uncaughtExceptionFrom(thrown(original));
    EXPECT_EQ(e.name(), "NSInvalidArgumentException");
    EXPECT_EQ(e.reason(), "bad");
    EXPECT_EQ(e.callStackSymbols(), original.callStackSymbols());
}

TEST(UncaughtException, TheSlotHoldsWhatWasSet) {
    auto handler = +[](const plat::Exception*) {};
    plat::setUncaughtExceptionHandler(handler);
    EXPECT_EQ(plat::getUncaughtExceptionHandler(), handler);
    plat::setUncaughtExceptionHandler(nullptr);
    EXPECT_EQ(plat::getUncaughtExceptionHandler(), nullptr);
}
