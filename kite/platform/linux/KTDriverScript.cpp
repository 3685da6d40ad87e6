#include "kite/platform/linux/KTDriverScript.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kite {
namespace {

bool parseNumber(const std::string& word, double* out) {
    if (word.empty()) return false;
    char* end = nullptr;
    double value = std::strtod(word.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value)) return false;
    *out = value;
    return true;
}

bool parseFrame(const std::string& word, int64_t* out) {
    if (word.empty() || word.size() > 15) return false;
    for (char c : word)
        if (c < '0' || c > '9') return false;
    int64_t value = std::stoll(word);
    if (value < 1 || value > KTDriverScript::kMaxFrame) return false;
    *out = value;
    return true;
}

}  // namespace

bool KTDriverScript::parse(const std::string& text, std::string* error) {
    std::vector<KTDriverEvent> events;
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    auto fail = [&](const std::string& why) {
        if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNumber;
        if (line.size() > kMaxLineLength) return fail("line too long");
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;) {
            if (!word.empty() && word[0] == '#') break;
            w.push_back(word);
        }
        if (w.empty()) continue;
        KTDriverEvent event;
        if (!parseFrame(w[0], &event.frame))
            return fail("\"" + w[0] + "\" is not a frame number (1 or more)");
        if (w.size() < 2) return fail("missing event");
        const std::string& name = w[1];
        if (name == "touch") {
            if (w.size() != 5) return fail("touch needs down, move or up and x y");
            if (w[2] == "down")
                event.kind = KTDriverEvent::TouchDown;
            else if (w[2] == "move")
                event.kind = KTDriverEvent::TouchMove;
            else if (w[2] == "up")
                event.kind = KTDriverEvent::TouchUp;
            else
                return fail("unknown touch \"" + w[2] + "\"");
            if (!parseNumber(w[3], &event.x) || !parseNumber(w[4], &event.y))
                return fail("bad touch position");
        } else if (name == "capture") {
            if (w.size() != 3) return fail("capture needs one file name (no spaces)");
            event.kind = KTDriverEvent::Capture;
            event.path = w[2];
        } else if (name == "background" || name == "foreground" || name == "quit") {
            if (w.size() != 2) return fail(name + " takes no arguments");
            event.kind = name == "background"   ? KTDriverEvent::Background
                         : name == "foreground" ? KTDriverEvent::Foreground
                                                : KTDriverEvent::Quit;
        } else if (name == "jump") {
            if (w.size() != 3 || !parseNumber(w[2], &event.x) || std::fabs(event.x) > 1e9)
                return fail("jump needs seconds (at most 1e9 either way)");
            event.kind = KTDriverEvent::Jump;
        } else {
            return fail("unknown event \"" + name + "\"");
        }
        if (events.size() >= kMaxEvents) return fail("too many events");
        events.push_back(std::move(event));
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const KTDriverEvent& a, const KTDriverEvent& b) { return a.frame < b.frame; });
    events_ = std::move(events);
    return true;
}

bool KTDriverScript::load(const std::string& path, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size < 0 || size > static_cast<std::streamoff>(kMaxFileBytes)) {
        if (error) *error = path + " is too large for a script";
        return false;
    }
    file.seekg(0);
    std::ostringstream text;
    text << file.rdbuf();
    return parse(text.str(), error);
}

std::optional<int64_t> KTDriverScript::quitFrame() const {
    for (const auto& e : events_)
        if (e.kind == KTDriverEvent::Quit) return e.frame;
    return std::nullopt;
}

}  // namespace kite
