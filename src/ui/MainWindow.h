#pragma once
// The main window: a borderless, custom-drawn window with five bands (caption
// and header, profile bar, effect cards, control panel, status bar), whose
// state it owns (panels/MainWindowBands.h). Its window procedure lays them out
// and routes messages, timers and mouse input to them, and owns the
// placement, close-to-tray, the automatic minimise while a VR runtime runs
// and the console window beside it. GUI thread only.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class GuiHost;

inline constexpr int kMainWindowWidth = 1500;  // 96-dpi units, when no placement was saved
inline constexpr int kMainWindowHeight = 860;
inline constexpr uint32_t kFastFrameMs = 33, kSlowFrameMs = 200, kVrCheckMs = 2000;
inline constexpr int kIdleTicksBeforeSlow = 60;  // more than this many quiet ticks: slow

// Runs the main window on the calling thread until it ends (the program's
// quit, or the window system closing it). The window system and the drawing
// layer must be running. False when the window could not be made.
bool runMainWindow(GuiHost* host);

// The first window's size at `dpi` when no placement was saved: 1500 x 860
// scaled, at most the work area of the first display.
WindowRect firstMainWindowRect(int dpi, const std::vector<WindowRect>& displays);
// The window rectangle after the DPI changed from oldDpi to newDpi: the size
// scaled by their ratio around the same centre, at most the work area of the
// display holding the centre (the first when none does) and moved into it.
WindowRect rescaleWindowRect(const WindowRect& rect, int oldDpi, int newDpi, const std::vector<WindowRect>& displays);

// Lays the bands out and draws one whole frame of the main window (also used
// for offscreen renders).
void paintMainWindow(DrawContext& context, float width, float height, float time);

// Draws one frame onto a target that still holds the frame this function drew
// last: lays the bands out, which notes what changed since (FrameDamage.h),
// and paints once, only there. Returns the rectangles painted: empty when
// nothing changed. `whole` draws everything (the target is new or was
// resized, or holds something else). The pixels are those paintMainWindow
// would draw. One such target at a time.
const std::vector<PixelRect>& paintMainWindowChanges(DrawContext& context, float width, float height, float time,
                                                     bool whole);

// The main window's state, for tests (GUI thread).
struct MainWindowState {
    float clientWidth = kMainWindowWidth;
    float clientHeight = kMainWindowHeight;
    bool fastTimer = true;
    int idleTicks = 0;
    float animTime = 0;
    bool vrRunning = false;
    bool consoleHiddenByMinimise = false;
    bool consoleHiddenByTray = false;
    bool updateDialogShown = false;
    bool trayIconAdded = false;
    bool ready = false;
    bool inTray = false;
    std::string trayError;  // why the last close-to-tray minimised instead
};
const MainWindowState& mainWindowState();

// Test seam: what the VR check asks; null restores the /proc look-up for
// "vrserver" and "vrserver.exe".
void setVrProcessProbe(bool (*probe)());


}  // namespace qv
