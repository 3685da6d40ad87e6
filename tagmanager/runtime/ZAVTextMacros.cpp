#include "tagmanager/runtime/ZAVTextMacros.h"

#include <cmath>

#include "platform/base/Digest.h"
#include "platform/base/Error.h"
#include "platform/base/Regex.h"
#include "platform/base/Utf8.h"
#include "tagmanager/base/ZAVLog.h"
#include "tagmanager/base/ZAVStringEncoding.h"
#include "tagmanager/values/ZAVTypes.h"
#include "tagmanager/values/ZAVValueEscapeUtil.h"

namespace {

std::string textOf(const ZAVPValuePtr& value) {
    return ZAVTypes::valueToString(value)->textValue();
}

// The argument's text form, or the fallback when it is absent.
std::string textOr(const ZAVFunctionCallImplementation::Properties& properties, const std::string& key,
                   const std::string& fallback) {
    auto value = ZAVFunctionCallImplementation::propertyForKey(properties, key);
    return value ? textOf(value) : fallback;
}

bool flag(const ZAVFunctionCallImplementation::Properties& properties, const std::string& key) {
    auto value = ZAVFunctionCallImplementation::propertyForKey(properties, key);
    if (!value) return false;
    auto boolean = ZAVTypes::valueToBoolean(value);
    return boolean && boolean->boolValue();
}

plat::Bytes utf8Bytes(const std::string& text) {
    return plat::Bytes(text.begin(), text.end());
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

plat::Bytes digest(plat::Digest::Algorithm algorithm, const plat::Bytes& data) {
    return plat::Digest::digest(algorithm, data.data(), data.size());
}

}  // namespace

ZAVPValuePtr ZAVEncode::evaluate(const Properties& properties) {
    auto arg0 = ZAVFunctionCallImplementation::propertyForKey(properties, arg0Key());
    if (!arg0) return ZAVTypes::defaultValue();
    const std::string input = textOf(arg0);
    if (input.empty()) return ZAVTypes::defaultValue();
    const std::string inputFormat = textOr(properties, inputFormatKey(), "text");
    const std::string outputFormat = textOr(properties, outputFormatKey(), "base16");
    const bool noPadding = flag(properties, noPaddingKey());

    plat::Bytes bytes;
    try {
        if (inputFormat == "text") {
            bytes = utf8Bytes(input);
        } else if (inputFormat == "base16") {
            bytes = ZAVBase16::decode(input);
        } else if (inputFormat == "base64" || inputFormat == "base64url") {
            auto decoded = inputFormat == "base64" ? ZAVBase64Encoder::decode(input, noPadding)
                                                   : ZAVBase64Encoder::decodeWebSafe(input, noPadding);
            bytes = decoded.value_or(plat::Bytes{});
        } else {
            ZAVLog::error("Encode: unknown input format: " + inputFormat);
            return ZAVTypes::defaultValue();
        }
    } catch (const plat::Exception&) {
        ZAVLog::error("Encode: invalid input: " + input);
        return ZAVTypes::defaultValue();
    }
    if (outputFormat == "base16") return ZAVTypes::textToValue(ZAVBase16::encode(bytes));
    if (outputFormat == "base64") return ZAVTypes::textToValue(ZAVBase64Encoder::encode(bytes, noPadding));
    if (outputFormat == "base64url")
        return ZAVTypes::textToValue(ZAVBase64Encoder::encodeWebSafe(bytes, noPadding));
    ZAVLog::error("Encode: unknown output format: " + outputFormat);
    return ZAVTypes::defaultValue();
}

plat::Bytes ZAVMD5HashAlgorithm::hashData(const plat::Bytes& data) const {
    return digest(plat::Digest::Algorithm::MD5, data);
}
plat::Bytes ZAVSha1HashAlgorithm::hashData(const plat::Bytes& data) const {
    return digest(plat::Digest::Algorithm::SHA1, data);
}
plat::Bytes ZAVSha256HashAlgorithm::hashData(const plat::Bytes& data) const {
    return digest(plat::Digest::Algorithm::SHA256, data);
}
plat::Bytes ZAVSha384HashAlgorithm::hashData(const plat::Bytes& data) const {
    return digest(plat::Digest::Algorithm::SHA384, data);
}
plat::Bytes ZAVSha512HashAlgorithm::hashData(const plat::Bytes& data) const {
    return digest(plat::Digest::Algorithm::SHA512, data);
}

ZAVHashMacro::ZAVHashMacro()
    : ZAVFunctionCallImplementation(functionId(), {arg0Key()}),
      hashAlgorithms_{{"MD5", std::make_shared<ZAVMD5HashAlgorithm>()},
                      {"SHA-1", std::make_shared<ZAVSha1HashAlgorithm>()},
                      {"SHA-256", std::make_shared<ZAVSha256HashAlgorithm>()},
                      {"SHA-384", std::make_shared<ZAVSha384HashAlgorithm>()},
                      {"SHA-512", std::make_shared<ZAVSha512HashAlgorithm>()}} {}

plat::Bytes ZAVHashMacro::hash(const plat::Bytes& data, const std::string& algorithm) const {
    auto found = hashAlgorithms_.find(algorithm);
    if (found == hashAlgorithms_.end() || !found->second)
        throw plat::Exception("NoSuchAlgorithmException", "No such algorithm: " + algorithm);
    return found->second->hashData(data);
}

ZAVPValuePtr ZAVHashMacro::evaluate(const Properties& properties) {
    auto arg0 = ZAVFunctionCallImplementation::propertyForKey(properties, arg0Key());
    if (!arg0 || arg0 == ZAVTypes::defaultValue()) return ZAVTypes::defaultValue();
    const std::string input = textOf(arg0);
    const std::string algorithm = textOr(properties, algorithmKey(), "MD5");
    const std::string inputFormat = textOr(properties, inputFormatKey(), "text");
    if (inputFormat != "text" && inputFormat != "base16") {
        ZAVLog::error("Hash: unknown input format: " + inputFormat);
        return ZAVTypes::defaultValue();
    }
    try {
        plat::Bytes bytes = inputFormat == "text" ? utf8Bytes(input) : ZAVBase16::decode(input);
        return ZAVTypes::textToValue(ZAVBase16::encode(hash(bytes, algorithm)));
    } catch (const plat::Exception&) {
        ZAVLog::error("Hash error. Algorithm: " + algorithm);
        return ZAVTypes::defaultValue();
    }
}

void ZAVJoinerMacro::addTo(std::set<std::string>& set, const std::string& chars) {
    size_t at = 0;
    while (at < chars.size()) {
        size_t start = at;
        uint32_t codePoint = 0;
        if (!plat::nextUtf8CodePoint(chars, at, codePoint)) at = start + 1;  // a stray byte counts on its own
        set.insert(chars.substr(start, at - start));
    }
}

std::string ZAVJoinerMacro::escape(const std::string& text, EscapeType type,
                                   const std::set<std::string>& charsToBackslashEscape) {
    switch (type) {
        case EscapeType::Url:
            return ZAVValueEscapeUtil::urlEncode(text);
        case EscapeType::Backslash: {
            std::string out = text;
            replaceAll(out, "\\", "\\\\");
            for (const auto& c : charsToBackslashEscape) replaceAll(out, c, "\\" + c);
            return out;
        }
        case EscapeType::None:
            break;
    }
    return text;
}

ZAVPValuePtr ZAVJoinerMacro::evaluate(const Properties& properties) {
    auto arg0 = ZAVFunctionCallImplementation::propertyForKey(properties, arg0Key());
    if (!arg0) return ZAVTypes::defaultValue();
    const std::string itemSeparator = textOr(properties, itemSeparatorKey(), "");
    const std::string keyValueSeparator = textOr(properties, keyValueSeparatorKey(), "=");
    EscapeType type = EscapeType::None;
    if (auto escapeValue = ZAVFunctionCallImplementation::propertyForKey(properties, escapeKey())) {
        const std::string mode = textOf(escapeValue);
        if (mode == "url") {
            type = EscapeType::Url;
        } else if (mode == "backslash") {
            type = EscapeType::Backslash;
        } else {
            ZAVLog::error("Joiner: unsupported escape type");
            return ZAVTypes::defaultValue();
        }
    }
    std::set<std::string> chars;
    if (type == EscapeType::Backslash) {
        addTo(chars, itemSeparator);
        addTo(chars, keyValueSeparator);
        chars.erase("\\");
    }
    auto item = [&](const ZAVWireObjectPtr& object) {
        return escape(textOf(std::dynamic_pointer_cast<ZAVPValue>(object)), type, chars);
    };
    std::string joined;
    if (arg0->type() == ZAVPValue_Type_List) {
        auto items = arg0->listItemArray();
        for (size_t i = 0; i < items->count(); ++i)
            joined += (i ? itemSeparator : "") + item(items->objectAtIndex(i));
    } else if (arg0->type() == ZAVPValue_Type_Map) {
        auto keys = arg0->mapKeyArray();
        auto values = arg0->mapValueArray();
        // A map whose lists differ in length is malformed: nothing is joined from it.
        if (keys->count() != values->count()) {
            ZAVLog::error("Joiner: map with " + std::to_string(keys->count()) + " keys and " +
                          std::to_string(values->count()) + " values");
            return ZAVTypes::defaultValue();
        }
        for (size_t i = 0; i < keys->count(); ++i)
            joined += (i ? itemSeparator : "") + item(keys->objectAtIndex(i)) + keyValueSeparator +
                      item(values->objectAtIndex(i));
    } else {
        joined = escape(textOf(arg0), type, chars);
    }
    return ZAVTypes::textToValue(joined);
}

ZAVPValuePtr ZAVRegexGroup::evaluate(const Properties& properties) {
    auto subject = ZAVFunctionCallImplementation::propertyForKey(properties, toMatchKey());
    auto pattern = ZAVFunctionCallImplementation::propertyForKey(properties, regexKey());
    if (!subject || !pattern || subject == ZAVTypes::defaultValue() || pattern == ZAVTypes::defaultValue())
        return ZAVTypes::defaultValue();
    const bool ignoreCase = flag(properties, ignoreCaseKey());
    int64_t group = 1;
    if (auto groupValue = ZAVFunctionCallImplementation::propertyForKey(properties, groupKey())) {
        auto number = ZAVTypes::valueToNumber(groupValue);
        if (number == ZAVTypes::defaultNumber()) {
            ZAVLog::error("Invalid group number: " + textOf(groupValue));
            return ZAVTypes::defaultValue();
        }
        // Taken as a 32-bit count, fractions cut toward zero.
        group = number->isIntegerNumber()
                    ? static_cast<int32_t>(number->int64Value())
                    : static_cast<int32_t>(ZAVTypes::saturatingInt64(number->doubleValue()));
        if (group < 0) return ZAVTypes::defaultValue();
    }
    const std::string patternText = textOf(pattern);
    auto regex =
        plat::Regex::cached(patternText, ignoreCase ? plat::Regex::kCaseInsensitive : plat::Regex::kNone);
    if (!regex) {
        ZAVLog::error("Invalid regex pattern: " + patternText);
        return ZAVTypes::defaultValue();
    }
    auto match = regex->firstMatch(textOf(subject));
    if (!match || match->groups.size() < static_cast<size_t>(group)) return ZAVTypes::defaultValue();
    if (group == 0) return ZAVTypes::textToValue(match->text);
    // A group that took no part in the match has no text.
    if (!match->groups[static_cast<size_t>(group - 1)]) return ZAVTypes::defaultValue();
    return ZAVTypes::textToValue(match->groupTexts[static_cast<size_t>(group - 1)]);
}
