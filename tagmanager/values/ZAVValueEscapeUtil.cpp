#include "tagmanager/values/ZAVValueEscapeUtil.h"

#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/values/ZAVTypes.h"
#include "wire/ZAVWireString.h"

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

ZAVValueEscapeUtil::Pair ZAVValueEscapeUtil::applyEscapings(const ZAVWireArray* escapings,
                                                            const Pair& value) {
    if (!escapings || escapings->count() == 0) return value;
    Pair result = value;
    for (size_t i = 0; i < escapings->count(); ++i)
        result = applyEscaping(escapings->int32AtIndex(i), result);
    return result;
}

ZAVValueEscapeUtil::Pair ZAVValueEscapeUtil::applyEscaping(int32_t escaping, const Pair& value) {
    if (!value || !isValidStringType(value->value())) {
        ZAVLog::error("Escaping can only be applied to strings.");
        return value;
    }
    if (escaping == ZAVPValue_Escaping_EscapeUri) return escapeUri(value);
    ZAVLog::error(zavFormat("Unsupported Value Escaping: %ld", static_cast<long>(escaping)));
    return value;
}

ZAVValueEscapeUtil::Pair ZAVValueEscapeUtil::escapeUri(const Pair& value) {
    auto encoded = ZAVTypes::objectToValue(ZAVObject::text(urlEncode(value->value()->string()->utf8())));
    return ZAVPValueAndStatic::valueWithValue(encoded, value->isStatic());
}

std::string ZAVValueEscapeUtil::urlEncode(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '.' || c == '_' || c == '~';
        if (keep) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 15]);
        }
    }
    return out;
}

std::optional<std::string> ZAVValueEscapeUtil::urlDecode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        int high = hexDigit(text[i + 1]);
        int low = hexDigit(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out.push_back(static_cast<char>(high << 4 | low));
        i += 2;
    }
    if (!ZAVWireString::isValidUTF8(reinterpret_cast<const uint8_t*>(out.data()), out.size()))
        return std::nullopt;
    return out;
}

bool ZAVValueEscapeUtil::isValidStringType(const ZAVPValuePtr& value) {
    return value && value->hasType() && value->type() == ZAVPValue_Type_String && value->hasString();
}
