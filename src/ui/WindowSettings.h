#pragma once
// "window.ini" in the settings folder: the main window's placement and the
// two window options the settings dialog edits.
//
//   [Window]
//   Placement=<show>,<left>,<top>,<width>,<height>
//   CloseToTray=0|1
//   VRAutoMinimize=0|1
//
// <show> is 1 normal, 2 minimised, 3 maximised; the rectangle is the normal
// (restored) one in screen pixels. The file is untrusted: a value that does
// not parse is absent, a placement is clamped before use. Writes replace the
// file atomically and keep the other keys. GUI thread (and the settings
// dialog, also on the GUI thread).

#include "platform/Window.h"

#include <optional>
#include <string>
#include <vector>

namespace qv {

inline constexpr const char* kWindowSettingsFileName = "window.ini";
inline constexpr int kShowNormal = 1, kShowMinimized = 2, kShowMaximized = 3;
inline constexpr int kMinWindowWidth = 640, kMinWindowHeight = 400;

struct WindowPlacement {
    int show = kShowNormal;
    WindowRect normal;  // x, y, width, height
};

// The option's value (non-zero) or `fallback` when the file or the key is
// missing or does not parse. `folder` ends with '/'; empty gives `fallback`.
bool readWindowSetting(const std::string& folder, const char* name, bool fallback);
bool writeWindowSetting(const std::string& folder, const char* name, bool value, std::string* error = nullptr);

std::optional<WindowPlacement> readWindowPlacement(const std::string& folder);
bool writeWindowPlacement(const std::string& folder, const WindowPlacement& placement, std::string* error = nullptr);

// The placement made usable on these displays: the show state is normal or
// maximised (minimised opens normal), the size at least the minimum and at
// most the display, and the rectangle moved onto the display it overlaps most
// (the first display when it overlaps none). With no display known only the
// size limits apply.
WindowPlacement clampWindowPlacement(WindowPlacement placement, const std::vector<WindowRect>& displays);

// The text of the file with one key set (added to [Window] when missing).
std::string setWindowIniKey(const std::string& text, const char* name, const std::string& value);
// The value of a key of [Window]; nullopt when missing.
std::optional<std::string> windowIniKey(const std::string& text, const char* name);

}  // namespace qv
