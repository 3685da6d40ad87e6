// Session scripts come from files on the program's command line; the first frame varies as a relaunched
// program's would.
#include <cstddef>
#include <cstdint>
#include <string>

#include "game/shell/ShellScript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    ShellScript script;
    std::string error;
    script.parse(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), 1 + data[0] % 200, &error);
    return 0;
}
