#pragma once

namespace kite {

// The engine's version text, "2.2.1".
const char* engineVersionString();

}  // namespace kite
