#pragma once
// The one check a profile name passes before it becomes part of a path.
//
// Profile names arrive from the INI file, from the user, from imported files
// and from the online catalogue, and each becomes a file name under the
// profile folder. Every function that turns a name into a path calls
// isValidProfileName first and refuses a name that fails it.

#include "settings/HapticSettings.h"

#include <string>
#include <string_view>

namespace qv {

// Longest name in bytes: what fits in activeProfile with its terminator.
inline constexpr int kMaxProfileNameBytes = kProfileNameSize - 1;

// True for a name that is safe as a file name: not empty, at most
// kMaxProfileNameBytes bytes, valid UTF-8, no "/" or "\", no control
// characters, not "." or "..". Otherwise false, with a user-facing reason in
// `why` when given. Blanks and dots at either end are kept: Save-As and older
// versions wrote such names ("My Setup "), and they are safe file names here.
bool isValidProfileName(std::string_view name, std::string* why = nullptr);

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
bool isValidUtf8(std::string_view text);

}  // namespace qv
