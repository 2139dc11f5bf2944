#pragma once
// The small warning that the debug console costs CPU time, with "Don't show
// again". Whether the status bar's console button shows it first is up to
// that button. GUI thread only; the callbacks are public for tests.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"
#include "ui/WidgetList.h"
#include "ui/Widgets.h"

#include <cstdint>

namespace qv {

inline constexpr const char* kConsoleWarningText =
    "The debug console uses significant CPU resources.\nIt is recommended to close it while racing\n"
    "for best performance.";

struct ConsoleWarningState {
    bool dontShowAgain = false;
    UiToggle dontShow;
    UiButton ok;
    WidgetList widgets;  // filled by the layout of each paint
};

void initConsoleWarning(ConsoleWarningState& state);
void paintConsoleWarning(DrawContext& context, float width, float height, void* user);
bool consoleWarningMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user);
// Enter: OK (result 1); Escape: result 0.
bool consoleWarningKey(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);

// Runs the dialog (350 x 170); true when it was closed with OK while
// "Don't show again" was on.
bool showConsoleWarning(WindowHandle parent);

}  // namespace qv
