#include "tests/support/WebTestSupport.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

namespace testsupport {

namespace {

// Each live descendant of this process (the sandbox launcher starts the web process): pid and name.
std::vector<std::pair<int, std::string>> children() {
    std::multimap<int, std::pair<int, std::string>> byParent;  // live processes by their parent's pid
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        std::ifstream in(entry.path() / "stat");
        std::string stat;
        if (!in || !std::getline(in, stat)) continue;
        auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::string name = stat.substr(stat.find('(') + 1, close - stat.find('(') - 1);
        std::istringstream rest(stat.substr(close + 2));
        std::string state;
        int ppid = 0;
        rest >> state >> ppid;
        if (state != "Z")
            byParent.emplace(ppid, std::make_pair(std::atoi(entry.path().filename().c_str()), name));
    }
    // Walked down from each direct child. The sandboxed engine's bus proxy (and its launchers) stays for
    // the life of the process, started once with the first web process: it is not a view's.
    std::vector<std::pair<int, std::string>> found;
    for (auto [top, end] = byParent.equal_range(getpid()); top != end; ++top) {
        std::vector<std::pair<int, std::string>> tree{top->second};
        for (size_t i = 0; i < tree.size(); ++i)
            for (auto [it, last] = byParent.equal_range(tree[i].first); it != last; ++it)
                tree.push_back(it->second);
        if (std::none_of(tree.begin(), tree.end(),
                         [](const auto& p) { return p.second == "xdg-dbus-proxy"; }))
            found.insert(found.end(), tree.begin(), tree.end());
    }
    return found;
}

}  // namespace

std::vector<std::string> liveChildren() {
    std::vector<std::string> names;
    for (const auto& [pid, name] : children()) names.push_back(name);
    // Sandboxed, once a view has navigated to another site, this engine version warms a spare web process
    // with its persistent default data store (the ephemeral context has none to give it); that store lives
    // as long as the app and holds on to every network process started after it, so the last context's
    // network process stays, idle, until the app ends. Without the sandbox it always ends.
    if (names == std::vector<std::string>{"WPENetworkProce"} && plat::WebView::liveCount() == 0 &&
        plat::WebView::engineSandboxed())
        names.clear();
    return names;
}

std::vector<int> livePids(const std::string& name) {
    std::vector<int> pids;
    for (const auto& [pid, child] : children())
        if (child == name) pids.push_back(pid);
    return pids;
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
