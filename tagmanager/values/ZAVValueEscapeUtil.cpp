#include "tagmanager/values/ZAVValueEscapeUtil.h"

#include "platform/base/PercentEncoding.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/values/ZAVTypes.h"
#include "wire/ZAVWireString.h"

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
    return plat::percentEncoded(text);
}

std::optional<std::string> ZAVValueEscapeUtil::urlDecode(const std::string& text) {
    auto out = plat::percentDecoded(text);
    if (!out || !ZAVWireString::isValidUTF8(reinterpret_cast<const uint8_t*>(out->data()), out->size()))
        return std::nullopt;
    return out;
}

bool ZAVValueEscapeUtil::isValidStringType(const ZAVPValuePtr& value) {
    return value && value->hasType() && value->type() == ZAVPValue_Type_String && value->hasString();
}
