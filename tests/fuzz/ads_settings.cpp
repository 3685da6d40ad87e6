// Ad settings answers: any bytes parse or are refused, never a crash; Base64 decoding and the UTF-8
// check see every "html" text, and what parsed goes into a settings cache archive and back.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "ads/base/ADFRBase64Util.h"
#include "ads/settings/ADFRData.h"
#include "platform/base/Log.h"
#include "platform/storage/KeyedArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto quiet = plat::setLogSink([](plat::LogLevel, const std::string&) {});
    (void)quiet;
    ADFRData::registerCodingClasses();
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // The raw bytes as Base64 too: decoding must stay within bounds for any input.
    plat::Bytes decoded = ADFRBase64Util::dataFromBase64String(text);
    if (decoded.size() > size) std::abort();
    ADFRBase64Util::isValidUtf8(text);

    auto settings = std::make_shared<ADFRData>();
    if (!settings->parseJsonData(data, size)) return 0;
    for (const auto& entity : settings->adList()) {
        if (!ADFRBase64Util::isValidUtf8(entity->htmlString())) std::abort();
        entity->weightForLang(1);
    }
    auto bytes = plat::KeyedArchive::archive(std::shared_ptr<const plat::Coding>(settings));
    if (!bytes) return 0;
    auto back = plat::KeyedArchive::unarchiveObject<ADFRData>(*bytes);
    if (!back || back->adList().size() != settings->adList().size()) std::abort();
    return 0;
}
