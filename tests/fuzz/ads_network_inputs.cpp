// The ad-network adapters' handling of outside input: the tag readers (InMobi's site id, Leadbolt's
// parameters) on any HTML, every answer parser on any bytes, and the escaping of any text that goes
// into a request.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ads/adapters/ADFRAdNetworkUtil.h"
#include "ads/adapters/ADFRGamefeatView.h"
#include "ads/adapters/ADFRInMobiAPIView.h"
#include "ads/adapters/ADFRLeadboltAPIView.h"
#include "ads/adapters/ADFRMMediaAPIView.h"
#include "ads/adapters/ADFRZucksAPIView.h"
#include "platform/base/Json.h"
#include "platform/base/Log.h"
#include "platform/base/Utf8.h"

namespace {

bool alnumRun(const std::string& text) {
    if (text.empty()) return false;
    for (unsigned char c : text)
        if (!std::isalnum(c)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto quiet = plat::setLogSink([](plat::LogLevel, const std::string&) {});
    (void)quiet;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const plat::Bytes bytes(data, data + size);

    // Tag readers: values are runs of ASCII letters and digits found in the tag.
    if (auto id = ADFRInMobiAPIView::siteIdOfTag(text);
        id && (!alnumRun(*id) || text.find(*id) == std::string::npos))
        std::abort();
    if (auto id = ADFRAdNetworkUtil::tagValue(text, "siteid"); id && !alnumRun(*id)) std::abort();
    for (const auto& [key, value] : ADFRLeadboltAPIView::tagParameters(text))
        if (!alnumRun(value)) std::abort();
    bool icon = false;
    if (auto pairs = ADFRLeadboltAPIView::requestPairs(text, "1.2.3.4", "UA", &icon)) {
        const auto& format = pairs->back();
        if (format.first != "format" || (format.second == "json") != icon) std::abort();
    }

    // Answer parsers.
    const auto [link, image] = ADFRGamefeatView::linkAndImage(bytes);
    if (ADFRGamefeatView::page(link, image).find(image) == std::string::npos) std::abort();
    if (auto answer = ADFRZucksAPIView::parseAnswer(bytes)) {
        if (ADFRZucksAPIView::pageOf(*answer) && answer->status != "ok") std::abort();
    }
    if (ADFRInMobiAPIView::isNoAdAnswer(text) &&
        text.find(ADFRInMobiAPIView::kNoAdComment) == std::string::npos)
        std::abort();
    if (auto markup = ADFRAdNetworkUtil::utf8Text(bytes)) {
        if (ADFRMMediaAPIView::page(*markup).find(*markup) == std::string::npos) std::abort();
    }

    // Escaping: only unreserved bytes and %XX in a query; a JSON string that reads back as the text.
    for (unsigned char c : ADFRAdNetworkUtil::percentEscaped(text))
        if (!std::isalnum(c) && c != '-' && c != '.' && c != '_' && c != '~' && c != '%') std::abort();
    if (plat::isValidUtf8(text)) {
        auto back = plat::Json::parse("\"" + ADFRAdNetworkUtil::jsonEscaped(text) + "\"");
        if (!back || !back->stringIf() || *back->stringIf() != text) std::abort();
    }
    (void)ADFRAdNetworkUtil::intValue(text);
    return 0;
}
