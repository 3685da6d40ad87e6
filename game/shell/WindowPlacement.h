#pragma once
// What the game's window was when the player last left it: its size outside fullscreen and whether it was
// fullscreen. Kept in one small file under ${XDG_STATE_HOME:-~/.local/state}/potemaru/ (the desktop's own
// state, not the game's data: a new --home opens the window as the last one did), written atomically.
#include <filesystem>
#include <optional>

struct WindowPlacement {
    int width = 0;
    int height = 0;
    bool fullscreen = false;

    // ${XDG_STATE_HOME:-$HOME/.local/state}/potemaru/window; empty when neither variable is set.
    static std::filesystem::path defaultPath();
    // Nothing when the file is missing, unreadable or not a placement (said in one line then).
    static std::optional<WindowPlacement> load(const std::filesystem::path& path);
    // Makes the folder when missing; false with a log line when it cannot be written.
    bool save(const std::filesystem::path& path) const;
};
