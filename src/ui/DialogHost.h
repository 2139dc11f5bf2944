#pragma once
// Modal dialogs: every dialog of the program is a drawn top-level window run
// by runModalDialog. The dialog keeps its state in its own record (userData,
// normally on the opener's stack); the host creates the window, disables the
// parent, runs a nested message loop until the dialog closes and returns the
// result code. Dialogs may open further dialogs from their callbacks; each
// running dialog has its own entry on a stack, so closing one never touches
// another's window.
//
// GUI thread only. Conventions: Escape closes with 0, Enter performs the main
// action; sizes are 96-dpi units times dpiScale(); a callback returns true
// when it changed something visible (the host repaints).

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"

#include <cstdint>

namespace qv {

// Every callback takes the dialog's userData as its last argument.
struct DialogSpec {
    WindowHandle parent = nullptr;  // null: centred on the screen
    const char* title = nullptr;    // null: "Quor Vane"
    int width = 0, height = 0;      // client size in 96-dpi units
    void (*onPaint)(DrawContext& context, float width, float height, void* user) = nullptr;
    // kWmMouseMove, kWmLButtonDown, kWmLButtonUp, kWmLButtonDblClk,
    // kWmRButtonDown, kWmMouseWheel (x, y client pixels; the wheel's delta in
    // the high word of wParam). A lost button-up arrives as kWmLButtonUp.
    bool (*onMouse)(uint32_t message, float x, float y, uintptr_t wParam, void* user) = nullptr;
    bool (*onKey)(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user) = nullptr;  // kWmKeyDown, kWmChar
    bool (*onTimer)(uint32_t timerId, uintptr_t wParam, intptr_t lParam, void* user) = nullptr;
    bool (*onMessage)(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user) = nullptr;  // 0x8000 and up
    void* userData = nullptr;
};

// Runs the dialog; its result code, -1 when no window could be made (the
// parent then stays enabled). When the program quits while dialogs run,
// every dialog closes (innermost first) and returns the code set so far.
int runModalDialog(const DialogSpec& spec);
// Sets the innermost dialog's result and asks it to close at the next loop
// pass (code after the call still runs). Without a running dialog only the
// code is stored (lastDialogClose).
void closeDialog(int code);
WindowHandle currentDialogWindow();  // null when no dialog runs
void repaintDialogNow();             // paints the innermost dialog at once (status line before blocking work)
bool isDialogOpen();                 // any modal dialog running
int dialogDepth();                   // how many run (nested)

// The last closeDialog call, for tests that drive a dialog's callbacks directly.
struct DialogCloseRecord {
    bool requested = false;
    int code = 0;
};
DialogCloseRecord lastDialogClose();
void resetLastDialogClose();

// Client size in pixels of a dialog of the given 96-dpi size at the current DPI.
int dialogPixels(int units);

// How a dialog fits the work area of its display. A dialog whose size at the
// DPI (plus the window manager's frame, kDialogFrameWidth x kDialogFrameHeight
// 96-dpi units, which the work area must hold too) is larger than the work
// area is drawn at a lower scale for it alone: its client is `width` x
// `height` pixels and its content, laid out at the full scale, is drawn
// scaled by `scale` (< 1), with mouse positions divided by it. An empty work
// area leaves the size as it is.
inline constexpr int kDialogFrameWidth = 16, kDialogFrameHeight = 48;
struct DialogFit {
    int width = 1, height = 1;  // client pixels
    float scale = 1.0f;         // 0 < scale <= 1
};
DialogFit fitDialog(int widthUnits, int heightUnits, int dpi, const WindowRect& workArea);
// The drawing scale of the innermost running dialog (1 when none runs or it fits).
float currentDialogScale();

}  // namespace qv
