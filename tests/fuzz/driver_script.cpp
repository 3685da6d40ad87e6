// Headless run scripts come from files on the command line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kite/platform/linux/KTDriverScript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kite::KTDriverScript script;
    std::string error;
    script.parse(std::string(reinterpret_cast<const char*>(data), size), &error);
    return 0;
}
