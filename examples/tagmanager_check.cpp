// Checks what tagmanager_example did at the peers (for ctest): it downloaded CTR-EXAMPLE with the runtime
// version, and its "go" pixel arrived once, carrying the tag manager's User-Agent.
//   tagmanager_check DIR      (DIR holds the peers' record.jsonl)
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tagmanager_check DIR\n");
        return 2;
    }
    std::ifstream in(std::string(argv[1]) + "/record.jsonl");
    std::vector<nlohmann::json> pixels;
    int downloads = 0;
    for (std::string line; std::getline(in, line);) {
        auto json = nlohmann::json::parse(line, nullptr, false);
        if (!json.is_object()) continue;
        if (json.value("pixel", false)) pixels.push_back(json);
        if (json.value("path", "") == "/r" && json.value("query", "") == "id=CTR-EXAMPLE&v=i92886563" &&
            json.value("status", 0) == 200)
            ++downloads;
    }
    int failures = 0;
    auto expect = [&](bool ok, const std::string& what) {
        if (!ok) {
            std::fprintf(stderr, "tagmanager_check: %s\n", what.c_str());
            ++failures;
        }
    };
    expect(downloads == 1, "the container was downloaded " + std::to_string(downloads) + " times, not once");
    expect(pixels.size() == 1, "the peers recorded " + std::to_string(pixels.size()) + " pixels, not 1");
    if (!pixels.empty()) {
        expect(pixels[0].value("path", "") == "/px", "the pixel went to " + pixels[0].value("path", ""));
        expect(pixels[0].value("query", "") == "c=CTR-EXAMPLE&e=go", "the pixel is not the \"go\" one");
        const std::string agent = pixels[0].value("user_agent", "");
        expect(agent.rfind("ZuruziVarOvozivi/3.12 (", 0) == 0,
               "the pixel's User-Agent is not the tag manager's: \"" + agent + "\"");
    }
    if (failures == 0) std::printf("tagmanager_check: container downloaded, the \"go\" pixel delivered\n");
    return failures == 0 ? 0 : 1;
}
