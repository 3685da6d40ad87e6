#include "game/shell/ShellScript.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

bool parseFrame(const std::string& word, int64_t* out) {
    if (word.empty() || word.size() > 15) return false;
    for (char c : word)
        if (c < '0' || c > '9') return false;
    int64_t value = std::stoll(word);
    if (value < 1 || value > kite::KTDriverScript::kMaxFrame) return false;
    *out = value;
    return true;
}

}  // namespace

bool ShellScript::parse(const std::string& text, int64_t firstFrame, std::string* error) {
    std::vector<ShellEvent> events;
    std::string driverText;
    int64_t quitFrame = 0;
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    auto fail = [&](const std::string& why) {
        if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNumber;
        if (line.size() > kite::KTDriverScript::kMaxLineLength) return fail("line too long");
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;) {
            if (word[0] == '#') break;
            w.push_back(word);
        }
        int64_t frame = 0;
        // Lines that are not ours keep their place, so the driver's errors name the right line.
        if (w.size() < 2 || !parseFrame(w[0], &frame)) {
            driverText += line + "\n";
            continue;
        }
        const std::string& name = w[1];
        ShellEvent event;
        event.frame = frame;
        if (name == "background" || name == "foreground" || name == "relaunch") {
            if (w.size() != 2) return fail(name + " takes no arguments");
            event.kind = name == "background"   ? ShellEvent::Background
                         : name == "foreground" ? ShellEvent::Foreground
                                                : ShellEvent::Relaunch;
        } else if (name == "jump") {
            char* end = nullptr;
            if (w.size() != 3) return fail("jump needs seconds");
            event.seconds = std::strtod(w[2].c_str(), &end);
            if (*end != '\0' || !std::isfinite(event.seconds) || std::fabs(event.seconds) > 1e9)
                return fail("jump needs seconds (at most 1e9 either way)");
            event.kind = ShellEvent::Jump;
        } else {
            if (name == "quit" && (quitFrame == 0 || frame < quitFrame)) quitFrame = frame;
            if (frame >= firstFrame) {
                std::string rewritten = std::to_string(frame - firstFrame + 1);
                for (size_t i = 1; i < w.size(); ++i) rewritten += " " + w[i];
                driverText += rewritten;
            }
            driverText += "\n";
            continue;
        }
        driverText += "\n";
        if (frame < firstFrame) continue;
        if (events.size() >= kite::KTDriverScript::kMaxEvents) return fail("too many events");
        events.push_back(event);
    }
    kite::KTDriverScript driver;
    if (!driver.parse(driverText, error)) return false;
    std::stable_sort(events.begin(), events.end(),
                     [](const ShellEvent& a, const ShellEvent& b) { return a.frame < b.frame; });
    events_ = std::move(events);
    driver_ = std::move(driver);
    quitFrame_ = quitFrame;
    return true;
}

bool ShellScript::load(const std::string& path, int64_t firstFrame, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    // Only a plain file has a size to trust: a device or a pipe (/dev/zero) would be read for ever.
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) return fail("no such file");
    if (std::filesystem::is_directory(status)) return fail("is a folder, not a script file");
    if (!std::filesystem::is_regular_file(status)) return fail("is not a regular file");
    std::ifstream file(path, std::ios::binary);
    if (!file) return fail("cannot be read");
    // Read in pieces and stopped just past the limit, whatever the file claims its size is.
    constexpr size_t kLimit = kite::KTDriverScript::kMaxFileBytes;
    std::string text;
    char buffer[1 << 16];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        text.append(buffer, static_cast<size_t>(file.gcount()));
        if (text.size() > kLimit) return fail("is larger than " + std::to_string(kLimit >> 20) + " MB");
    }
    if (file.bad()) return fail("cannot be read");
    return parse(text, firstFrame, error);
}
