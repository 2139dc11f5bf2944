#pragma once
// The status bar at the bottom of the main window: the signal dot and text,
// the sample rate, the clock, and the "Console - Open / Close" and "Defaults"
// buttons. GUI thread only.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"
#include "ui/panels/Band.h"
#include "ui/panels/LayerCache.h"
#include "ui/panels/StripText.h"

#include <cstdint>

namespace qv {

enum StatusBarButton : int { kStatusConsole = 0, kStatusDefaults = 1, kStatusButtonCount = 2 };

// Shows, hides or first creates the program's console window (and raises
// gConsoleToggleRequested when it creates it). installMainWindowBands sets
// the console window's; until one is set, the button only raises
// gConsoleToggleRequested, so the main thread redraws its console lines.
// Kept in MainWindowBands::connections.
using ConsoleToggle = void (*)();
void setConsoleToggle(ConsoleToggle toggle);

struct StatusBarLayout {
    RectF buttons[kStatusButtonCount];
    uint8_t buttonHover[kStatusButtonCount] = {};
};
const StatusBarLayout& statusBarLayout();

// The status bar's record (inside MainWindowBands).
struct StatusBarState {
    StatusBarLayout layout;
    // What it shows, read by the layout.
    bool connected = false;
    ShortText rate;
    ShortText clock;
    float width = 0, height = 0;  // of the last layout
    LayerCache cache;
};

// The band: layout, paint, hover (statusBarHover), press
// (headerButtonClick), reset.
extern const Band kStatusBarBand;

void layoutStatusBar(const BandFrame& frame);
// Paints the band (0, height - 44 s, width, height) as the last layout left it.
void paintStatusBar(DrawContext& context, float width, float height, float time);

bool statusBarHover(float x, float y);
// The status bar's press (the name is the one the main window has always
// used). "Defaults" asks first (No is the default) and on Yes resets the selected
// simulator's effects; "Console - Open / Close" toggles the console. Both
// take the click whatever happens; anything else is not taken.
bool headerButtonClick(WindowHandle window, float x, float y);

void resetStatusBar();

}  // namespace qv
