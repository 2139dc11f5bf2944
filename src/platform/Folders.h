#pragma once
// Where the program keeps its files.

#include <string>

namespace qv {

// The application data folder, created when missing, ending in "/":
// $XDG_CONFIG_HOME/QuorVane/ (default ~/.config/QuorVane/). When that cannot
// be used (no absolute XDG_CONFIG_HOME or HOME, a file in the way, no write
// permission), the executable's folder if this user can write it, else a
// private folder /tmp/QuorVane-<uid>/ (lost at the next reboot). Whenever
// the result is not the XDG folder, `note` (when given) says why and where
// the settings are kept instead; otherwise it is cleared.
std::string appDataFolder(std::string* note = nullptr);

// The folder of the running executable, ending in "/" ("./" when unknown).
std::string executableFolder();

// Creates a folder and its parents; true when it exists afterwards.
bool makeFolders(const std::string& path, std::string* error = nullptr);

}  // namespace qv
