#pragma once
// Effect profiles: each simulator's EffectProfile stored as a named JSON file
// under <base>/profiles/<simulator key>/<name>.json, and the listing of a
// simulator's saved names.
//
// Names pass isValidProfileName before they become part of a path; an invalid
// name makes every function here fail without touching the disk. Writes are
// atomic (see platform/Files.h). The reader is lenient about what is missing
// and strict about types: a member of the wrong type ends the load with the
// members before it applied. Numbers that are not finite or do not fit the
// field leave it unchanged; the others are clamped into the field's range.
//
// Thread use: any thread; functions that change a block change only the one
// they are given.

#include "platform/Files.h"
#include "settings/HapticSettings.h"

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace qv {

inline constexpr int kProfileFileVersion = 3;
inline constexpr const char* kDefaultProfileName = "default";
inline constexpr float kMinEffectFrequency = 10.0f;
// Far above anything a shaker plays, and below the Nyquist frequency of the
// lowest sample rate.
inline constexpr float kMaxEffectFrequency = 1000.0f;

// The simulator's key, "unknown" outside 0..5.
const char* simKeyOf(int sim);

// <base>profiles/<key>/<name>.json into `path`; false (and `path` empty) for a
// name that fails isValidProfileName. `base` ends in "/".
bool profilePath(const std::string& base, int sim, std::string_view name, std::string& path,
                 std::string* error = nullptr);

// Creates <base>profiles/ and one folder per simulator key; existing folders
// are fine. Tries every folder; false with the first error when one cannot
// be made.
bool profilesFolder(const std::string& base, std::string* error = nullptr);

// The file text of a profile: the JSON object with sorted keys, indent 2,
// floats widened to double. Never throws; text that is not valid UTF-8 is
// written with replacement characters.
std::string profileJsonText(const EffectProfile& profile, int sim, std::string_view name);

enum class ProfileRoot {
    kAnyValue,    // profile files: a root that is not an object changes nothing and succeeds
    kObjectOnly,  // files and replies from elsewhere: such a root is refused
};

// Applies a profile file's text to `profile`. False (with `error`) when the
// text is not JSON ("not a profile file: invalid JSON at line L, column C"),
// nests deeper than kMaxJsonDepth, or a member has the wrong type; members
// applied before a type error stay applied. Only the known members are read;
// levels are clamped to 0..1, frequencies to kMinEffectFrequency..
// kMaxEffectFrequency, and values too small for a normal float become 0.
bool readProfileText(EffectProfile& profile, std::string_view text, std::string* error = nullptr,
                     ProfileRoot root = ProfileRoot::kAnyValue);

// The same reading of a document already parsed (a catalogue reply's
// profile object); false for a root that is not an object.
bool applyProfileJson(EffectProfile& profile, const nlohmann::json& root, std::string* error = nullptr);

// readProfileText on the file at `path` (imports name the file directly).
// `status` (when given) tells a missing file from a broken one.
bool loadProfileFile(EffectProfile& profile, const std::string& path, std::string* error = nullptr,
                     FileReadStatus* status = nullptr);

// Writes settings.effectProfiles[sim] as the named profile. False for a
// simulator outside 0..5, an invalid name or any failed write; the previous
// file is then intact.
bool saveProfile(const HapticSettings& settings, const std::string& base, int sim, std::string_view name,
                 std::string* error = nullptr);

// Reads the named profile into settings.effectProfiles[sim]. False for a
// simulator outside 0..5, an invalid name, a missing or unreadable file, and a
// file that fails readProfileText.
bool loadProfile(HapticSettings& settings, const std::string& base, int sim, std::string_view name,
                 std::string* error = nullptr, FileReadStatus* status = nullptr);

// The order of the profile list: "default" first, then ascending byte order.
bool profileNameLess(const std::string& a, const std::string& b);

// The saved profile names of a simulator, sorted with profileNameLess: the
// regular files ending in ".json" (exactly, lower case) whose name before it
// is a valid profile name.
std::vector<std::string> enumerateProfiles(const std::string& base, int sim);

}  // namespace qv
