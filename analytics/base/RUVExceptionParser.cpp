#include "analytics/base/RUVExceptionParser.h"

#include <vector>

#include "analytics/base/RUVStringUtil.h"
#include "platform/base/UncaughtException.h"

std::optional<std::string> RUVExceptionParser::symbolFromStackFrame(std::string_view line) {
    std::vector<std::string_view> pieces;
    size_t i = 0;
    auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    };
    while (i < line.size()) {
        while (i < line.size() && blank(line[i])) ++i;
        size_t start = i;
        while (i < line.size() && !blank(line[i])) ++i;
        if (i > start) pieces.push_back(line.substr(start, i - start));
    }
    if (pieces.size() < 4) return std::nullopt;
    if (pieces[3] == "+[NSException") return std::nullopt;
    // A line that ends in "+ offset" names its symbol with everything between the address and the "+": a
    // demangled C++ name holds blanks of its own.
    if (pieces.size() >= 6 && pieces[pieces.size() - 2] == "+") {
        std::string symbol(pieces[3]);
        for (size_t k = 4; k + 2 < pieces.size(); ++k) symbol += " " + std::string(pieces[k]);
        return symbol;
    }
    // A method name "-[Class selector]" was cut in two at its blank; a plain function has "+" next.
    if (pieces.size() >= 5 && pieces[4] != "+") return std::string(pieces[3]) + " " + std::string(pieces[4]);
    return std::string(pieces[3]);
}

std::string RUVExceptionParser::exceptionDescription(const plat::Exception& exception, uint32_t maxLength) {
    std::string text = exception.name();
    const auto& lines = exception.callStackSymbols();
    if (lines.size() >= 3) {
        bool first = true;
        for (size_t i = 2; i < lines.size(); ++i) {
            // Lines that did not pass the platform's uncaught-exception path are made readable here.
            auto symbol = symbolFromStackFrame(plat::readableFrame(lines[i]));
            if (!symbol) continue;
            if (first) {
                text += "\nTrace:";
                first = false;
            }
            text += "\n" + *symbol;
            if (maxLength != 0 && RUVStringUtil::utf16Length(text) >= maxLength) break;
        }
    }
    if (maxLength != 0) text = RUVStringUtil::truncateUtf16(text, maxLength);
    return text;
}
