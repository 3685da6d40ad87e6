// RTB bid answers: any text gives the winning bid or none, never a crash, and a bid's page holds its
// image and link as given.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ads/adapters/ADFRScaleoutAPIView.h"
#include "platform/base/Log.h"
#include "platform/base/Value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto quiet = plat::setLogSink([](plat::LogLevel, const std::string&) {});
    (void)quiet;
    std::string text(reinterpret_cast<const char*>(data), size);
    auto bid = ADFRScaleoutAPIView::parseBid(text);
    if (!bid) return 0;
    const std::string page = ADFRScaleoutAPIView::pageHtml("#ffffff", bid->clickUrl, bid->imgUrl);
    if (page.find(bid->imgUrl) == std::string::npos || page.find(bid->clickUrl) == std::string::npos)
        std::abort();
    // The reduced price of any price text is some double; the price step guards what is not finite.
    (void)(plat::Value(bid->price).toDouble() * 0.9);
    return 0;
}
