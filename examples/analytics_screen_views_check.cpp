// Checks what analytics_screen_views delivered (for ctest): the peers recorded its three screen views, in
// order, each with its screen name, the tracking id, a client id and the app's own identity; the app shows no
// screen, so no screen size.
//   analytics_screen_views_check DIR      (DIR holds the peers' record.jsonl)
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: analytics_screen_views_check DIR\n");
        return 2;
    }
    std::ifstream in(std::string(argv[1]) + "/record.jsonl");
    std::vector<nlohmann::json> hits;
    for (std::string line; std::getline(in, line);) {
        auto json = nlohmann::json::parse(line, nullptr, false);
        if (json.is_object() && json.value("hit", false)) hits.push_back(json["fields"]);
    }
    const std::vector<std::string> screens{"Title", "Level 1", "Level 2"};
    int failures = 0;
    auto expect = [&](bool ok, const std::string& what) {
        if (!ok) {
            std::fprintf(stderr, "analytics_screen_views_check: %s\n", what.c_str());
            ++failures;
        }
    };
    expect(hits.size() == screens.size(),
           "the peers recorded " + std::to_string(hits.size()) + " hits, not 3");
    for (size_t i = 0; i < hits.size() && i < screens.size(); ++i) {
        expect(hits[i].value("t", "") == "screenview", "hit " + std::to_string(i) + " is not a screen view");
        expect(hits[i].value("cd", "") == screens[i], "hit " + std::to_string(i) + " is not " + screens[i]);
        expect(hits[i].value("tid", "") == "UA-27182818-1", "hit " + std::to_string(i) + " has another id");
        expect(hits[i].value("cid", "").size() == 36, "hit " + std::to_string(i) + " has no client id");
        expect(hits[i].value("aid", "") == "org.example.screenviews" &&
                   hits[i].value("an", "") == "screenviews" && hits[i].value("av", "") == "1.2",
               "hit " + std::to_string(i) + " names another app");
        expect(!hits[i].contains("sr"), "hit " + std::to_string(i) + " has a screen size");
    }
    if (failures == 0) std::printf("analytics_screen_views_check: 3 screen views delivered\n");
    return failures == 0 ? 0 : 1;
}
