#pragma once
// Shared pieces of the game's tests: a resource folder with a character table, and a bridge recorder.
#include <filesystem>
#include <string>
#include <vector>

#include "game/Bridge.h"
#include "tests/support/TestSupport.h"

namespace gametest {

// A well-formed character table: row n has name "name<n>", background n, music n, points 10 * n,
// bubble lines "line1-<n>".."line3-<n>" and scale 10 + n.
std::string charaCsv();
// One row's text: 15 fields each followed by ",", then the closing "z" and a line break.
std::string charaRow(int n);

// Points the main bundle at a temporary folder for its lifetime and forgets the parsed table and the
// file utilities' caches on the way in and out.
class ResourceScope {
  public:
    ResourceScope();
    ~ResourceScope();
    const std::filesystem::path& path() const { return dir_.path(); }
    void write(const std::string& name, const std::string& bytes);

  private:
    testsupport::TempDir dir_;
};

// Records every bridge request as one line ("LoadAD", "ZediveAnalytics 3", "ShowTweet <path>").
class BridgeRecorder : public BridgeReceiver {
  public:
    void ShowTweet(const std::string& path) override { calls.push_back("ShowTweet " + path); }
    void ShowYoutube() override { calls.push_back("ShowYoutube"); }
    void ShowTobikuma() override { calls.push_back("ShowTobikuma"); }
    void LoadAD() override { calls.push_back("LoadAD"); }
    void InterAD() override { calls.push_back("InterAD"); }
    void ZediveAnalytics(int number) override {
        calls.push_back("ZediveAnalytics " + std::to_string(number));
    }
    std::vector<std::string> calls;
};

}  // namespace gametest
