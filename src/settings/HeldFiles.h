#pragma once
// Settings files this process must never write.
//
// A settings file that exists but fails to load is normally moved aside at
// start-up (SettingsFiles.h). When that is impossible, or the name holds no
// regular file at all, the name is held: every settings writer refuses it
// for the rest of the process, so the user's text is never replaced by
// defaults. Safe from any thread.

#include <string>

namespace qv {

// Holds `path` (as the loaders spell it) for the rest of the process.
void holdFromWriting(const std::string& path);

// True when `path` is held.
bool isHeldFromWriting(const std::string& path);

// The error text of a refused write.
std::string heldFileError(const std::string& path);

}  // namespace qv
