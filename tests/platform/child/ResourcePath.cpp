// Writes the main bundle's default resource folder into the file it is given, for the tests that run a copy
// of it outside the build, as an installed program runs.
//   platform_resource_path FILE
#include <fstream>

#include "platform/storage/Bundle.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::ofstream out(argv[1]);
    out << plat::Bundle::defaultResourcePath().string();
    return out.flush() ? 0 : 1;
}
