#pragma once
// The control panel: the scrollable column at the right of the main window
// with the master volume knob and one fader per zone in use. Both edit
// gSettings (masterGain, zones[i].gain) through gSettings.edit and mark it
// for saving. GUI thread only.

#include "platform/graphics/DrawContext.h"
#include "settings/HapticSettings.h"

#include <cstdint>

namespace qv {

struct ControlPanelState {
    float scroll = 0;     // device pixels
    float maxScroll = 0;
    uint8_t knobDragging = 0;
    float dragStartY = 0;
    float dragStartValue = 0;
    int32_t dragFader = -1;
    // Content coordinates (before scrolling), written by the painter; a zone
    // that is not shown has an empty rectangle.
    RectF knobHit;
    RectF faderRects[kMaxZones];
    RectF visible;  // the scrolling part of the last paint, client pixels
};
const ControlPanelState& controlPanelState();

// The panel's rectangle for a client of width x height pixels.
RectF controlPanelRect(float width, float height);

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
