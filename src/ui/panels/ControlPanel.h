#pragma once
// The control panel: the scrollable column at the right of the main window
// with the master volume knob and one fader per zone in use. Both edit
// gSettings (masterGain, zones[i].gain) through gSettings.edit and mark it
// for saving. GUI thread only.

#include "platform/graphics/DrawContext.h"
#include "settings/HapticSettings.h"
#include "ui/panels/Band.h"
#include "ui/panels/LayerCache.h"

#include <cstdint>
#include <memory>

namespace qv {

// The control panel's record (inside MainWindowBands).
struct ControlPanelState {
    float scroll = 0;     // device pixels
    float maxScroll = 0;
    uint8_t knobDragging = 0;
    float dragStartY = 0;
    float dragStartValue = 0;
    int32_t dragFader = -1;
    // Content coordinates (before scrolling), written by the layout; a zone
    // that is not shown has an empty rectangle.
    RectF knobHit;
    RectF faderRects[kMaxZones];
    RectF visible;  // the scrolling part of the last layout, client pixels

    // Geometry and values of the last layout, which the painter draws.
    RectF panel;
    float width = 0, height = 0;
    float knobX = 0, knobY = 0;  // the knob's centre, content coordinates
    float masterSection = 0;     // top of the master and the zone sections
    float zoneSection = 0;
    float rowsEnd = 0;
    float master = 0;  // masterGain within 0..1
    int32_t zoneCount = 0;
    ZoneConfig zones[kMaxZones];

    // The stored drawings: the panel without its values, the knob's value
    // parts and each zone's fader.
    LayerCache panelCache;
    LayerCache knobCache;
    LayerCache zoneCaches[kMaxZones];
    // The knob's own number formats ("Inter Tight" bold at 12 and 28 pixels),
    // made again when the DPI changes. Without them the knob uses formats 2 and 7.
    float formatScale = 0;
    std::unique_ptr<TextFormat> smallFormat;
    std::unique_ptr<TextFormat> largeFormat;
};
const ControlPanelState& controlPanelState();

// The band: layout, paint, hover (controlPanelDrag), press, release, wheel
// (controlPanelScroll, over the panel's column), reset.
extern const Band kControlPanelBand;

void layoutControlPanel(const BandFrame& frame);

// The panel's rectangle for a client of width x height pixels.
RectF controlPanelRect(float width, float height);

// Draws the panel as the last layout left it.
void paintControlPanel(DrawContext& context, float width, float height, float time);
// The master knob around (cx, cy) for a value 0..1 (clamped).
void paintMasterKnob(DrawContext& context, float cx, float cy, float value, float time);

// A press on the knob starts a knob drag; a press on a zone's row starts a
// fader drag and moves the gain to the pointer. False when nothing took it.
bool controlPanelMouseDown(float x, float y);
// The knob: 200 s pixels of vertical travel span 0..1; a fader follows x.
// True when a drag is active.
bool controlPanelDrag(float x, float y);
// Ends a drag; true when one was active.
bool controlPanelMouseUp(float x, float y);
// 60 s pixels per notch of 120, within the content; true when it moved.
bool controlPanelScroll(int wheelDelta);

void resetControlPanel();

}  // namespace qv
