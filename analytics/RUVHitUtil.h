#pragma once
// Helpers that make the computed parts of a hit.
#include <string>

class RUVHitUtil {
  public:
    // A new version-4 UUID in its 36-character text form, lower case.
    static std::string generateClientId();

    RUVHitUtil() = delete;
};
