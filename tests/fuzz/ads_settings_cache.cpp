// Settings cache files: any bytes decode to settings or to nothing, never a crash.
#include <cstdint>
#include <memory>

#include "ads/settings/ADFRData.h"
#include "platform/base/Log.h"
#include "platform/storage/KeyedArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto quiet = plat::setLogSink([](plat::LogLevel, const std::string&) {});
    (void)quiet;
    ADFRData::registerCodingClasses();
    auto object = plat::KeyedArchive::unarchiveObject(data, size);
    if (auto settings = std::dynamic_pointer_cast<ADFRData>(object)) {
        for (const auto& entity : settings->adList()) {
            entity->description();
            entity->weightForLang(2);
        }
        plat::KeyedArchive::archive(std::shared_ptr<const plat::Coding>(settings));
    }
    return 0;
}
