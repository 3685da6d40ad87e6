// Any command line for potemaru (arguments separated by NUL bytes): parsing gives options or an error
// message, never a crash, whatever the numbers and paths look like.
#include <cstdint>
#include <string>
#include <vector>

#include "game/shell/ShellOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args;
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (!current.empty() || args.empty()) args.push_back(std::move(current));
    std::string error;
    auto options = ShellOptions::parse(args, &error);
    if (!options && error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
}
