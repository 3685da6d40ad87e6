#include "tests/game/TouchScript.h"

#include <cstdio>

#include "chime/AudioEngine.h"

namespace gametest {

void TouchScript::add(int64_t frame, const char* what, const kite::KTPoint& point) {
    char line[96];
    std::snprintf(line, sizeof line, "%lld touch %s %.1f %.1f\n", static_cast<long long>(frame), what,
                  static_cast<double>(point.x * 2), static_cast<double>((568 - point.y) * 2));
    text_ += line;
}

void TouchScript::commit(int64_t lastFrame) {
    kite::KTDriverScript script;
    std::string error;
    if (!script.parse(text_, &error)) {
        std::fprintf(stderr, "touch script: %s\n", error.c_str());
        return;
    }
    driver_.setScript(std::move(script));
    driver_.runFrames(lastFrame - driver_.frame());
}

void TouchScript::tap(const kite::KTPoint& point) {
    const int64_t frame = driver_.frame() + 1;
    add(frame, "down", point);
    add(frame + 1, "up", point);
    commit(frame + 1);
}

void TouchScript::drag(const kite::KTPoint& from, std::initializer_list<kite::KTPoint> through) {
    int64_t frame = driver_.frame() + 1;
    add(frame, "down", from);
    kite::KTPoint last = from;
    for (const kite::KTPoint& p : through) {
        add(++frame, "move", p);
        last = p;
    }
    add(++frame, "up", last);
    commit(frame);
}

AudioShutdown::~AudioShutdown() {
    ::AudioEngine::end();
}

}  // namespace gametest
