// Checks what ads_placements left (for ctest): the banner strip shows an ad, the popup's framed box with
// its green bar shows over it, and after the tap the box is gone while the banner stays; the peers
// recorded the top banner's bid request to the exchange and its ad request to Millennial Media, each
// naming the install by its advertising id.
//   ads_placements_check DIR      (DIR holds the captures, the app's home and the peers' record.jsonl)
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/base/Digest.h"
#include "platform/media/ImageCodec.h"

namespace {

struct Rgb {
    int r, g, b;
};

std::optional<plat::DecodedImage> load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) return std::nullopt;
    return plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

Rgb at(const plat::DecodedImage& image, int x, int y) {
    const uint8_t* p = &image.pixels[(size_t(y) * image.width + size_t(x)) * 4];
    return {p[0], p[1], p[2]};
}

bool near(Rgb a, Rgb b) {
    return std::abs(a.r - b.r) <= 12 && std::abs(a.g - b.g) <= 12 && std::abs(a.b - b.b) <= 12;
}

bool greenBar(Rgb c) {
    return c.g > 120 && c.g > c.r + 40 && c.g > c.b + 40;
}

int failures = 0;
void expect(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "ads_placements_check: %s\n", what);
        ++failures;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ads_placements_check DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    auto banner = load(dir + "/banner.png");
    auto popup = load(dir + "/popup.png");
    auto closed = load(dir + "/closed.png");
    if (!banner || !popup || !closed) {
        std::fprintf(stderr, "ads_placements_check: a capture is missing in %s\n", dir.c_str());
        return 1;
    }
    // Pixels: two a point. The cleared frame shows where nothing is drawn.
    const Rgb clear = at(*banner, 320, 300);
    const int stripY = 2 * (568 - 25);
    int adPixels = 0;
    for (int x = 0; x < 640; x += 8) adPixels += near(at(*banner, x, stripY), clear) ? 0 : 1;
    expect(adPixels > 60, "the banner strip shows no ad");
    // The popup's box is 310 x 300 points in the middle; its green bar runs along its top.
    expect(greenBar(at(*popup, 2 * 100, 2 * (134 + 20))), "no popup bar in popup.png");
    expect(!near(at(*popup, 2 * 160, 2 * 284), clear), "no popup content in popup.png");
    expect(!greenBar(at(*closed, 2 * 100, 2 * (134 + 20))), "the popup is still there after the tap");
    expect(near(at(*closed, 320, 300), clear), "the frame is not clear after the popup closed");
    int stillAd = 0;
    for (int x = 0; x < 640; x += 8) stillAd += near(at(*closed, x, stripY), clear) ? 0 : 1;
    expect(stillAd > 60, "the banner went with the popup");

    // The id the install made for itself: the exchange gets it as it is, Millennial Media hashed.
    std::string id;
    std::getline(std::ifstream(dir + "/home/Library/AdvertisingIdentifier"), id);
    expect(!id.empty(), "the install has no advertising id");
    const std::string mmdid = "mmdid=mmh_" + plat::Digest::md5Hex(id) + "_" + plat::Digest::sha1Hex(id) + "&";
    int bids = 0, getAds = 0;
    std::ifstream record(dir + "/record.jsonl");
    for (std::string line; std::getline(record, line) && !id.empty();) {
        auto r = nlohmann::json::parse(line, nullptr, false);
        if (!r.is_object() || !r["path"].is_string()) continue;
        if (r["path"] == "/rtb/bid" && r["body"].is_string()) {
            auto bid = nlohmann::json::parse(r["body"].get<std::string>(), nullptr, false);
            bids += bid.is_object() && bid["device"].is_object() && bid["device"]["ifa"] == id;
        } else if (r["path"] == "/getAd" && r["query"].is_string()) {
            getAds += r["query"].get<std::string>().find(mmdid) != std::string::npos;
        }
    }
    expect(bids > 0, "no bid request with the advertising id reached the exchange");
    expect(getAds > 0, "no Millennial ad request with the advertising id reached the network");
    if (failures == 0)
        std::printf("ads_placements_check: banner and popup shown, popup closed, both networks asked\n");
    return failures == 0 ? 0 : 1;
}
