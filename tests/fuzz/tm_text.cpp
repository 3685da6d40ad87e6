// Texts the tag manager reads from containers and URLs: the number scan, URL decoding and the base-64,
// base-32 and base-16 decoders take any bytes without a crash; what encodes decodes back the same.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/base/Error.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/base/ZAVStringEncoding.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tagmanager/values/ZAVValueEscapeUtil.h"
#include "wire/ZAVWireString.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        ZAVLog::setLogger(nullptr);
        return true;
    }();
    (void)quiet;
    std::string text(reinterpret_cast<const char*>(data), size);
    plat::Bytes bytes(data, data + size);

    if (auto number = ZAVTypes::numberWithString(text)) {
        if (!number->isNumber()) std::abort();
        // The text form of a finite number reads back as the same number (overflow reads as infinity,
        // whose text is no number). Beyond the 64-bit range a whole double's text reads as an integer,
        // which the scan clamps, so the check stays inside that range.
        if (std::isfinite(number->doubleValue()) && std::fabs(number->doubleValue()) < 9.2e18) {
            auto again = ZAVTypes::numberWithString(ZAVTypes::objectToString(number)->textValue());
            if (!again || !again->isEqual(*number)) std::abort();
        }
    }
    ZAVTypes::parseInt64(text);

    ZAVValueEscapeUtil::urlDecode(text);
    if (ZAVWireString::isValidUTF8(data, size)) {
        auto back = ZAVValueEscapeUtil::urlDecode(ZAVValueEscapeUtil::urlEncode(text));
        if (!back || *back != text) std::abort();
    }

    for (bool noPadding : {false, true}) {
        ZAVBase64Encoder::decode(text, noPadding);
        ZAVBase64Encoder::decodeWebSafe(text, noPadding);
        if (ZAVBase64Encoder::decode(ZAVBase64Encoder::encode(bytes, noPadding), noPadding) != bytes)
            std::abort();
        if (ZAVBase64Encoder::decodeWebSafe(ZAVBase64Encoder::encodeWebSafe(bytes, noPadding), !noPadding) !=
            bytes)
            std::abort();
    }
    for (const auto& codec :
         {ZAVStringEncoding::rfc4648Base32StringEncoding(),
          ZAVStringEncoding::rfc4648Base32HexStringEncoding(),
          ZAVStringEncoding::crockfordBase32StringEncoding(), ZAVStringEncoding::hexStringEncoding(),
          ZAVStringEncoding::binaryStringEncoding()}) {
        codec->decode(text);
        if (codec->decode(codec->encode(bytes)) != bytes) std::abort();
    }
    try {
        ZAVBase16::decode(text);
    } catch (const plat::Exception&) {
    }
    if (ZAVBase16::decode(ZAVBase16::encode(bytes)) != bytes) std::abort();
    return 0;
}
