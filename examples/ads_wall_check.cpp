// Checks what ads_wall left (for ctest): the wall's capture shows its green bar, the capture after the
// close does not; the peers recorded the wall's settings, its offer list, its impression and the click
// on the offer, the reports naming the install by its advertising id.
//   ads_wall_check DIR      (DIR holds the captures and the peers' record.jsonl)
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/media/ImageCodec.h"

namespace {

constexpr const char* kWallMediaId = "7a11c0de5a11c0de7a11c0de";

std::optional<plat::DecodedImage> load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) return std::nullopt;
    return plat::ImageCodec::decodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

bool greenBar(const plat::DecodedImage& image, int x, int y) {
    const uint8_t* p = &image.pixels[(size_t(y) * image.width + size_t(x)) * 4];
    return p[1] > 120 && p[1] > p[0] + 40 && p[1] > p[2] + 40;
}

int failures = 0;
void expect(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "ads_wall_check: %s\n", what.c_str());
        ++failures;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ads_wall_check DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    auto wall = load(dir + "/wall.png");
    auto closed = load(dir + "/closed.png");
    if (!wall || !closed) {
        std::fprintf(stderr, "ads_wall_check: a capture is missing in %s\n", dir.c_str());
        return 1;
    }
    // The bar is the top 44 points of the wall; two pixels a point.
    expect(greenBar(*wall, 2 * 20, 2 * 22), "no wall bar in wall.png");
    expect(!greenBar(*closed, 2 * 20, 2 * 22), "the wall is still there after the close");
    // The first offer's tile, where the page is otherwise almost white.
    const uint8_t* tile = &wall->pixels[(size_t(200) * wall->width + 80) * 4];
    expect(tile[0] + tile[1] + tile[2] < 3 * 220, "no offer tile in wall.png");

    std::ifstream in(dir + "/record.jsonl");
    std::vector<nlohmann::json> requests;
    for (std::string line; std::getline(in, line);) {
        auto json = nlohmann::json::parse(line, nullptr, false);
        if (json.is_object() && json.contains("path")) requests.push_back(json);
    }
    auto count = [&](const std::string& path, const std::string& needle) {
        int n = 0;
        for (const auto& r : requests) {
            const std::string p = r.value("path", ""), q = r.value("query", "");
            if (p.rfind(path, 0) == 0 && (p + "?" + q).find(needle) != std::string::npos) ++n;
        }
        return n;
    };
    expect(count("/zividedir/api/getinfo/app_id/" + std::string(kWallMediaId), "") >= 1,
           "no settings request");
    expect(count("/ad/p/txt", "_site=peerswall1") >= 1, "no offer list request");
    // "uid=" followed by the 36 characters of an identifier.
    expect(count("/zividedir/api/rec-impression", "app_id=" + std::string(kWallMediaId)) == 1,
           "not one impression report");
    expect(count("/zividedir/api/rec-impression", "uid=&") == 0, "an impression report without uid");
    expect(count("/zividedir/api/rec-click/app_id/" + std::string(kWallMediaId), "") == 1,
           "not one click report for the tapped offer");
    expect(count("/zividedir/api/rec-click/", "/uid//") == 0, "a click report without uid");
    if (failures == 0) std::printf("ads_wall_check: wall shown, offer tapped and reported, wall closed\n");
    return failures == 0 ? 0 : 1;
}
