// Writes the example container that potemaru-peers serves: peers/data/tagmanager/CTR-EXAMPLE, a
// supplemented resource in the wire format. Macro "evt" is the pushed event's name; one rule,
// {{evt}} equal to "go", adds three tags: "_img" (a pixel to the peers' /px), "_dlw" (sets "done" in the
// data layer) and "_func" (the app's handler "example", given the event's name).
//
// Regenerate after changing it:
//   cmake --build build --target tmcontainer && build/bin/tmcontainer [OUTPUT_FOLDER]
// (another output folder as the one argument; an argument that starts with "-" is refused, "--help"
// shows the usage). "http://peers.invalid" in values is replaced by
// the peers' own address when served.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

// Made by the build: the checkout's peers/data/tagmanager/ (TMCONTAINER_OUT).
#include "TmcontainerPaths.h"
#include "tests/tagmanager/support/ResourceBuilder.h"

namespace {

constexpr const char* kContainerId = "CTR-EXAMPLE";
constexpr const char* kFingerprint = "example-1";

std::shared_ptr<ZAVPSupplementedResource> exampleContainer() {
    tmtest::ResourceBuilder b;
    b.setVersion("1");
    b.macro("evt", "_e");
    int32_t isGo = b.predicate("_eq", {{"arg0", b.macroReference("evt")}, {"arg1", b.string("go")}});
    int32_t pixel = b.tag(
        "_img", {{"url", b.string(std::string("http://peers.invalid/px?c=") + kContainerId + "&e=go")}});
    int32_t write = b.tag("_dlw", {{"value", b.list({b.map({b.string("done")}, {b.boolean(true)})})}});
    int32_t handler =
        b.tag("_func", {{"function_call_macro_name", b.string("example")},
                        {"additional_params", b.map({b.string("event")}, {b.macroReference("evt")})}});
    b.rule({{isGo}, {}, {pixel, write, handler}, {}, {}, {}});
    return b.supplemented(kFingerprint);
}

constexpr const char* kUsage = "usage: tmcontainer [OUTPUT_FOLDER]\n";

}  // namespace

int main(int argc, char** argv) {
    // One optional folder and no options: an option must not become a folder of that name.
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "-h" || first == "--help") {
        std::printf("%s", kUsage);
        return 0;
    }
    if (argc > 2 || (!first.empty() && first[0] == '-')) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    const std::filesystem::path dir = argc > 1 ? argv[1] : TMCONTAINER_OUT;
    auto data = exampleContainer()->data();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const auto path = dir / kContainerId;
    const auto temporary = dir / (std::string(kContainerId) + ".tmp");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data->bytes()), static_cast<std::streamsize>(data->length()));
        if (!out.flush()) {
            std::fprintf(stderr, "tmcontainer: cannot write %s\n", temporary.c_str());
            return 1;
        }
    }
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::fprintf(stderr, "tmcontainer: cannot write %s: %s\n", path.c_str(), ec.message().c_str());
        return 1;
    }
    std::printf("%s (%zu bytes)\n", path.c_str(), data->length());
    return 0;
}
