#pragma once
// Turns an exception into the short text of an exception hit: its name, then "\nTrace:" and one symbol per
// call-stack line from the third on.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Error.h"

class RUVExceptionParser {
  public:
    // maxLength counts UTF-16 units, as the collection server does; 0 means no limit.
    static std::string exceptionDescription(const plat::Exception& exception, uint32_t maxLength);
    // The symbol of one "<index> <module> <address> <symbol> + <offset>" line; empty for short lines and
    // for frames of the raising machinery.
    static std::optional<std::string> symbolFromStackFrame(std::string_view line);

    RUVExceptionParser() = delete;
};
