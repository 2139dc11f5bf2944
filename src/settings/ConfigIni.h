#pragma once
// "haptic_config.ini": the device, zone and interface part of the settings
// block (the effect profiles live in their own files, see ProfileFile.h).
//
// The reader is lenient: a line it does not understand is skipped, a value
// that does not parse leaves its field unchanged, and every number is
// clamped into its field's range. Files written on Windows (CR LF) read the
// same. The writer produces a fixed key order and replaces the file
// atomically.

#include "platform/Files.h"
#include "settings/HapticSettings.h"

#include <string>
#include <string_view>

namespace qv {

inline constexpr const char* kConfigFileName = "haptic_config.ini";
inline constexpr const char* kConfigBackupSuffix = ".bak";

// Sane bounds for the audio values read from the file.
inline constexpr double kMinSampleRate = 8000.0;
inline constexpr double kMaxSampleRate = 384000.0;
inline constexpr int32_t kMinBufferSize = 16;
inline constexpr int32_t kMaxBufferSize = 8192;
inline constexpr int32_t kMaxDeviceIndex = 1023;

// Applies the lines of an INI text to `settings`; fields the text does not
// name keep their values.
void readConfigIniText(HapticSettings& settings, std::string_view text);

// Reads the file at `path` into `settings`. Anything but kOk leaves the block
// unchanged.
FileReadStatus readConfigIni(HapticSettings& settings, const std::string& path, std::string* error = nullptr);

// The whole file text for `settings`, in the fixed order.
std::string configIniText(const HapticSettings& settings);

// Replaces the file at `path` with configIniText(settings). False (with
// `error`) when the file could not be written; the old file is then intact.
bool writeConfigIni(const HapticSettings& settings, const std::string& path, std::string* error = nullptr);

}  // namespace qv
