#include "tests/support/WebTestSupport.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

namespace testsupport {

namespace {

// Each live child process of this one: its pid and its name.
std::vector<std::pair<int, std::string>> children() {
    std::vector<std::pair<int, std::string>> found;
    std::string parent = std::to_string(getpid());
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        std::ifstream in(entry.path() / "stat");
        std::string stat;
        if (!in || !std::getline(in, stat)) continue;
        auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::string name = stat.substr(stat.find('(') + 1, close - stat.find('(') - 1);
        std::istringstream rest(stat.substr(close + 2));
        std::string state, ppid;
        rest >> state >> ppid;
        if (ppid == parent && state != "Z")
            found.emplace_back(std::atoi(entry.path().filename().c_str()), name);
    }
    return found;
}

}  // namespace

std::vector<std::string> liveChildren() {
    std::vector<std::string> names;
    for (const auto& [pid, name] : children()) names.push_back(name);
    return names;
}

int killChildren(const std::string& name) {
    int killed = 0;
    for (const auto& [pid, child] : children())
        if (child == name && ::kill(pid, SIGKILL) == 0) ++killed;
    return killed;
}

std::string evaluate(plat::WebView& view, const std::string& script) {
    // Shared with the completion, which may still come after a time-out.
    auto result = std::make_shared<std::optional<std::string>>();
    view.evaluateScript(script, [result](const std::string& text) { *result = text; });
    if (!pumpWebUntil([&] { return result->has_value(); })) ADD_FAILURE() << "no answer to: " << script;
    return result->value_or("");
}

bool imagesLaidOut(plat::WebView& view) {
    return pumpWebUntil([&] {
        return evaluate(view,
                        "Array.from(document.images).every(i => i.complete && i.height > 0) && "
                        "document.images.length > 0 ? 'y' : 'n'") == "y";
    });
}

std::string elementAt(plat::WebView& view, plat::Point at) {
    const std::string x = std::to_string(static_cast<int>(at.x)), y = std::to_string(static_cast<int>(at.y));
    return evaluate(view, "(() => { const e = document.elementFromPoint(" + x + ", " + y +
                              "); if (!e) return 'nothing'; const a = e.closest('a'); "
                              "return e.tagName.toLowerCase() + (a ? ' in ' + a.href : ''); })()");
}

}  // namespace testsupport
