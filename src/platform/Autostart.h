#pragma once
// Start at login through an XDG autostart entry: a .desktop file in
// $XDG_CONFIG_HOME/autostart/ (default ~/.config/autostart/) whose Exec line
// runs this program. The entry's presence is the setting. GUI thread (the
// settings dialog); no state of its own.

#include <string>

namespace qv {

inline constexpr const char* kAutostartEntryName = "quorvane.desktop";

// The autostart folder, ending in "/"; empty when neither an absolute
// XDG_CONFIG_HOME nor an absolute HOME is set.
std::string autostartFolder();
// The folder + kAutostartEntryName; empty when the folder is unknown.
std::string autostartEntryPath();

// True when the entry exists.
bool isRunAtStartup();
// on: writes the entry (folder made when missing, file replaced atomically)
// for `programPath` (empty: this program's own path); off: removes it (no
// entry is no error). False with `error` set when that failed.
bool setRunAtStartup(bool on, std::string* error = nullptr, const std::string& programPath = {});

// The full path of the running program from /proc/self/exe, whole (never
// cut); empty when it cannot be read.
std::string ownProgramPath();

// One argument of an Exec line as the Desktop Entry rules want it: quoted
// when it holds a reserved character, with '"', '`', '$' and '\' escaped
// inside the quotes and '%' doubled; then escaped as a key-file string value
// ('\' doubled, line breaks and tabs as \n, \r, \t).
std::string desktopExecArgument(const std::string& argument);
// The whole entry text for a program path.
std::string autostartEntryText(const std::string& programPath);

}  // namespace qv
