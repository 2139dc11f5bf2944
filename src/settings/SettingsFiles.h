#pragma once
// Loading and saving the whole settings block: the INI file with its backup
// fallback and the six active effect profiles.
//
// Both functions go on after a failure, so one bad file never keeps the
// others from loading or saving, and return false with every problem listed
// in `error` ("; " between them). The block is always usable afterwards.

#include "settings/HapticSettings.h"

#include <string>

namespace qv {

// Start-up load into `settings` (normally a default block):
// 1. the INI file at iniPath;
// 2. when that names no audio device, the backup iniPath + ".bak": taken
//    whole, and written to iniPath, when it names one; otherwise ignored;
// 3. for each simulator the profile named by activeProfile (an invalid name
//    becomes "default"): a missing file is written from the block.
// A main INI file or a profile that exists but fails to load (too large,
// unreadable, broken JSON) is moved aside to "<name>.bad" (or ".bad.1" ...
// when an older copy is there) before anything can write that name, and
// reported; when it cannot be moved, or is not a regular file at all, it is
// left as it is and held (HeldFiles.h): no later save of this process
// writes it.
bool loadConfigWithBackup(HapticSettings& settings, const std::string& iniPath, const std::string& base,
                          std::string* error = nullptr);

// Writes the INI file and the six active profiles, each atomically; held
// files (above) are skipped.
bool saveAllSettings(const HapticSettings& settings, const std::string& iniPath, const std::string& base,
                     std::string* error = nullptr);

}  // namespace qv
