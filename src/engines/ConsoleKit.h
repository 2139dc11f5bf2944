#pragma once
// Helpers shared by every engine's console dashboard and logger rows.

#include "platform/Console.h"
#include "platform/TextFormat.h"  // appendFormat and formatText of the rows

#include <string>
#include <string_view>

namespace qv {

// Attribute for a 0..1 level: red above 0.7, yellow above 0.35, else green
// (also for NaN).
int levelColour(float level);

// `width` characters: int(clamp(level, 0, 1) x width) copies of `fill`, then
// '.' characters. NaN counts as 0; a width below 1 gives an empty string.
std::string makeBar(float level, int width, char fill);

// 2 x half + 1 '.' characters with '|' at index half and '#' at
// half + int(half x clamp(value / scale, -1, 1)) when that differs from half.
// NaN values, zero scales and negative halves give the bare centre line.
std::string ratioBar(float value, float scale, int half);

// The gear as the dashboards show it: " R" for -1, " N" for 0, else the number.
std::string gearText(int gear);

// `text` with blanks appended up to `width` characters; longer text as it is.
std::string padded(std::string text, size_t width);

// `text` cut to at most `width` characters, so that a field never runs into
// the field to its right.
std::string fitted(std::string text, size_t width);

// Colour, cursor (column, row), then the text, in that order.
void drawText(IConsole& console, int column, int row, int attribute, std::string_view text);

}  // namespace qv
