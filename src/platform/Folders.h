#pragma once
// Where the program keeps its files.

#include <string>

namespace qv {

// The application data folder, created when missing, ending in "/":
// $XDG_CONFIG_HOME/QuorVane/ (default ~/.config/QuorVane/); when that cannot
// be created, the executable's folder.
std::string appDataFolder();

// The folder of the running executable, ending in "/" ("./" when unknown).
std::string executableFolder();

// Creates a folder and its parents; true when it exists afterwards.
bool makeFolders(const std::string& path, std::string* error = nullptr);

}  // namespace qv
