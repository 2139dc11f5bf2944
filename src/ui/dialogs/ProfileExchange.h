#pragma once
// Handing a profile to someone else as one ".qvprofile" file: the export
// writes the selected simulator's active profile exactly as its profile file
// is written; the import reads such a file into the selected simulator and
// makes it the active profile under the file's name. GUI thread only.

#include "platform/Window.h"

#include <cstddef>

namespace qv {

// Exchange files are a few kilobytes; anything larger is refused.
inline constexpr size_t kMaxImportBytes = 1u << 20;

// Both report failures in a message box owned by `owner` and return false
// (also when cancelled); true when the file was written or imported.
bool exportProfile(WindowHandle owner);
bool importProfile(WindowHandle owner);

}  // namespace qv
