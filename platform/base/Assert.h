#pragma once
// Consistency checks that stop the program. They stay on in every build: they guard invariants that
// ordinary input never reaches, and a stop with function, file, line and condition beats corrupted state.

namespace plat {

[[noreturn]] void assertionFailed(const char* function, const char* file, int line, const char* condition,
                                  const char* description);

}  // namespace plat

#define PLAT_ASSERT(condition, description) \
    ((condition) ? static_cast<void>(0)     \
                 : ::plat::assertionFailed(__func__, __FILE__, __LINE__, #condition, description))
