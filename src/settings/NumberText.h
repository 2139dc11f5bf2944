#pragma once
// Numbers in the settings files, read and written the same way whatever the
// process locale: "0.5" is one half also where the locale writes "0,5".
//
// The readers take the leading number of a text, as the INI format wants:
// leading blanks skipped, an optional sign, the digits, the rest ignored.
// They fail (and the caller keeps its field) when the text has no leading
// number, when the number is not finite or when it does not fit the type.

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

bool parseLeadingInt(std::string_view text, int32_t& out);
bool parseLeadingDouble(std::string_view text, double& out);
bool parseLeadingFloat(std::string_view text, float& out);

// The value in the default stream notation with 6 significant digits
// (48000, 0.8, 1, 1e-07).
std::string formatShortNumber(double value);

// Clamps a finite value into [low, high] before it becomes an int, so a huge
// or negative value never overflows the conversion. The fraction is cut
// toward zero.
int32_t clampToInt(double value, int32_t low, int32_t high);

}  // namespace qv
