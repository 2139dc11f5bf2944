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
//    becomes "default"): a missing file is written from the block; a file
//    that fails to load is left as it is, copied to "<name>.json.bad" and
//    reported, never overwritten here.
bool loadConfigWithBackup(HapticSettings& settings, const std::string& iniPath, const std::string& base,
                          std::string* error = nullptr);

// Writes the INI file and the six active profiles, each atomically.
bool saveAllSettings(const HapticSettings& settings, const std::string& iniPath, const std::string& base,
                     std::string* error = nullptr);

}  // namespace qv
