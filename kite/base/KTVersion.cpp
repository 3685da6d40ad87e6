#include "kite/base/KTVersion.h"

namespace kite {

const char* engineVersionString() {
    return "2.2.1";
}

}  // namespace kite
