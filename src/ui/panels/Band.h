#pragma once
// One band of the main window (header, profile bar, effect cards, control
// panel, status bar) as a record of plain functions. The band's state lives
// in its own record inside the main window's (MainWindowBands.h); these
// functions reach it there. GUI thread only.
//
// Order of a frame and of input: layout runs first (sizes, hit rectangles,
// what the band shows this frame, and the parts of it that changed since the
// last frame); paint then only draws what layout left; the input functions
// test the rectangles of the last layout, so input works before any paint.
// A null entry is skipped.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"

namespace qv {

class FrameDamage;
class GuiHost;

struct BandFrame {
    float width = 0;   // client pixels
    float height = 0;
    float time = 0;    // animation clock, seconds
    // Where layout notes the parts it will draw (FrameDamage.h); null when
    // the frame is drawn whole without tracking (offscreen renders, input).
    FrameDamage* damage = nullptr;
    // The context the frame is drawn into, for the few measures a layout
    // takes of texts. Null at input, when nothing is drawn: the layout then
    // only writes what the handlers test, and prepares no drawing.
    DrawContext* context = nullptr;
};

struct BandEvent {
    WindowHandle window = nullptr;  // the main window
    GuiHost* host = nullptr;        // may be null (no previews, no simulator switch)
    float x = 0, y = 0;             // client pixels
    float width = 0, height = 0;    // client size
    int wheelDelta = 0;             // 120 per notch, for wheel
};

struct Band {
    const char* name = "";
    void (*layout)(const BandFrame& frame) = nullptr;
    void (*paint)(DrawContext& context, const BandFrame& frame) = nullptr;
    // The pointer moved (with or without the button held): hover bytes and
    // drags. True when something it shows changed.
    bool (*hover)(const BandEvent& event) = nullptr;
    // Left press: true when the band took it (the first taker wins).
    bool (*press)(const BandEvent& event) = nullptr;
    // Left release, offered to every band: true when something changed.
    bool (*release)(const BandEvent& event) = nullptr;
    // Wheel: true when the band took it (the first taker wins).
    bool (*wheel)(const BandEvent& event) = nullptr;
    // Forgets the band's state (a new main window; tests).
    void (*reset)() = nullptr;
};

}  // namespace qv
