#pragma once
// The header band at the top of the main window: the logo and version, the
// information strip (device, driver, latency, connection), the line that says
// why audio is missing while it is, and the window's own caption buttons,
// since the window draws its own frame. GUI thread only.
//
// The painter writes the caption buttons' hit rectangles; the handlers test
// them, so before the first paint every click misses.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"

#include <cstdint>

namespace qv {

enum CaptionButton : int { kCaptionMinimize = 0, kCaptionMaximize = 1, kCaptionClose = 2, kCaptionButtonCount = 3 };

// What the caption buttons do to the window. Filled by installMainWindowBands
// from the window layer; a null entry makes its button do nothing (and
// isMaximized null reads "not maximised").
struct CaptionActions {
    void (*minimize)(WindowHandle window) = nullptr;
    void (*maximize)(WindowHandle window) = nullptr;
    void (*restore)(WindowHandle window) = nullptr;
    bool (*isMaximized)(WindowHandle window) = nullptr;
};
CaptionActions& captionActions();

struct HeaderLayout {
    RectF captionButtons[kCaptionButtonCount];  // empty before the first paint
    uint8_t captionHover[kCaptionButtonCount] = {};
    uint8_t maximized = 0;  // what the maximise button showed in the last paint
    // The notice of a saved device that was not found, which opens the
    // device wizard; empty when no such notice was painted.
    RectF wizardNotice;
};
const HeaderLayout& headerLayout();

// Paints the band (0, 0, width, 56 s). `time` is the animation clock in
// seconds (the connection halo pulses with it).
void paintHeader(DrawContext& context, float width, float time);

// Where the header says why audio is missing (AudioStatus.h): right of the
// information strip up to the caption buttons, as laid out by the last paint.
RectF audioNoticeRect(float width, float s);

// Hover bytes of the caption buttons; true when one changed.
bool captionButtonHover(float x, float y);
// Minimise, maximise/restore or close (a close request through the window's
// close path), or on the notice of a device not found the device wizard;
// false when the point is on none of them.
bool captionButtonClick(WindowHandle window, float x, float y);

// Forgets hit rectangles and hover bytes (tests; a new main window).
void resetHeaderBand();

}  // namespace qv
