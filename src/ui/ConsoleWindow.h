#pragma once
// The console window: a top-level window of our own that shows the
// console's 120 x 55 cell grid in "JetBrains Mono" with its colours and
// follows it live. The main thread publishes copies of the grid through a
// ConsoleMirror; this window only reads those copies (every 100 ms it looks
// for a newer one). Closing it hides it; it never ends the program.
// GUI thread only.

#include "platform/ConsoleMirror.h"
#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"

#include <vector>

namespace qv {

inline constexpr uint32_t kTimerConsoleRefresh = 1;
inline constexpr uint32_t kConsoleRefreshMs = 100;
inline constexpr float kConsoleFontSize = 13;  // pixels at 96 dpi

// The mirror to show; set before the first show (null: an empty grid).
void setConsoleMirror(const ConsoleMirror* mirror);
// Shows or hides the window; the first show creates it. False when it could
// not be made.
bool showConsoleWindow(bool visible);
bool isConsoleWindowVisible();
// Shows it when hidden (or not made yet), hides it when shown: the status
// bar's "Console - Open / Close".
bool toggleConsoleWindow();
WindowHandle consoleWindow();  // null before the first show and after destroy
void destroyConsoleWindow();
// The mirror version the window last drew (tests).
uint64_t consoleWindowShownVersion();

// The colour of a 4-bit console colour index (0..15; others give 0).
Color consoleColor(int index);
// Cell size in pixels at the current DPI.
float consoleCellWidth();
float consoleCellHeight();
// Draws the grid (kConsoleColumns x kConsoleRows cells, row by row).
void paintConsoleGrid(DrawContext& context, const std::vector<ConsoleCell>& cells);

}  // namespace qv
