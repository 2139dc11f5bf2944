#pragma once
// The header band at the top of the main window: the logo and version, the
// information strip (device, driver, latency, connection), the line that says
// why audio is missing while it is, and the window's own caption buttons,
// since the window draws its own frame. GUI thread only.
//
// Its layout writes the caption buttons' hit rectangles and reads what the
// strip shows; the painter draws from that, the handlers test the rectangles.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"
#include "ui/panels/Band.h"
#include "ui/panels/LayerCache.h"
#include "ui/panels/StripText.h"

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
CaptionActions& captionActions();  // kept in MainWindowBands::connections

struct HeaderLayout {
    RectF captionButtons[kCaptionButtonCount];  // empty before the first layout
    uint8_t captionHover[kCaptionButtonCount] = {};
    uint8_t maximized = 0;  // what the maximise button shows, read by the last layout
    // The notice of a saved device that was not found, which opens the
    // device wizard; empty when no such notice was painted.
    RectF wizardNotice;
};
const HeaderLayout& headerLayout();

// What the information strip shows, read by the layout.
struct HeaderTexts {
    ShortText device, driver, latency;
    bool latencyValue = false;
    bool connected = false;
    bool deviceMissing = false;  // DEVICE is the saved name of a device not found
    NoticeText notice;           // why audio is missing; empty while it plays
};

// The header's record (inside MainWindowBands).
struct HeaderState {
    HeaderLayout layout;
    HeaderTexts texts;
    float width = 0;  // of the last layout
    PointF dotCentre;  // the status dot's, measured by the last layout that could
    LayerCache cache;
    // Widths of "ONLINE" and "OFFLINE" in the strip's value format, measured
    // once per format (the format changes with the DPI).
    const TextFormat* statusFormat = nullptr;
    float onlineWidth = 0;
    float offlineWidth = 0;
};

// The band: layout, paint, hover (captionButtonHover), press
// (captionButtonClick), reset.
extern const Band kHeaderBand;

// Lays the band out for a client frame.width pixels wide.
void layoutHeader(const BandFrame& frame);

// Paints the band (0, 0, width, 56 s) as the last layout left it. `time` is
// the animation clock in seconds (the connection halo pulses with it).
void paintHeader(DrawContext& context, float width, float time);

// Where the header says why audio is missing (AudioStatus.h): right of the
// information strip up to the caption buttons, as laid out last.
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
