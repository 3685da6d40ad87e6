// House-network getad answers: any bytes give the first item or none, never a crash; the item's page
// holds the chosen image.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ads/adapters/ADFRTjkAdnetworkView.h"
#include "platform/base/Log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto quiet = plat::setLogSink([](plat::LogLevel, const std::string&) {});
    (void)quiet;
    auto item = ADFRTjkAdnetworkView::parseAnswer(data, size);
    if (!item) return 0;
    const std::string& image = item->movFlg == "1" ? item->movUrl : item->bnrUrl;
    if (ADFRTjkAdnetworkView::pageHtml(item->url, image).find(image) == std::string::npos) std::abort();
    return 0;
}
