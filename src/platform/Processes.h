#pragma once
// Looking for running processes by name, through /proc.

#include <string>
#include <vector>

namespace qv {

// True when a process whose name (the kernel's short name, or the file name
// of its first argument) equals one of `names`, ignoring case. `procRoot` is
// the /proc folder (tests pass a folder of their own). Unreadable entries are
// skipped; false when the folder cannot be read.
bool isProcessRunning(const std::vector<std::string>& names, const std::string& procRoot = "/proc");

}  // namespace qv
