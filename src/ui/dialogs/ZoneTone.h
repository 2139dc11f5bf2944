#pragma once
// The held test tone of the zone dialogs and the play-button look they
// share. GUI thread only.

#include "platform/graphics/DrawContext.h"

namespace qv {

class GuiHost;

// Length and level of the tone a held button starts; the tone ends by itself
// after the length when the button is held longer.
inline constexpr int kZoneToneMs = 500;
inline constexpr float kZoneToneGain = 0.7f;

// A tone started by a held button: where it plays, so that the stop goes to
// the same channel and device even when the zone changed meanwhile.
struct HeldTone {
    bool sounding = false;
    int channel = -1;
    int device = 0;
};

// Starts the zone's tone through the host's test-tone callable. A zone
// without a channel (-1, or below) plays nothing: the tone layer would take
// -1 as every channel. Returns whether a tone was started.
bool startZoneTone(GuiHost* host, HeldTone& tone, int channel, int device);
// Stops a sounding tone (duration 0, gain 0 on its channel and device).
void stopZoneTone(GuiHost* host, HeldTone& tone);

// Look of a square play button (column headers, row play buttons, HOLD TEST).
enum class PlayButtonLook { Rest, Hovered, Held };

// The filled triangle pointing right around (cx, cy) with half-size k.
void drawPlayTriangle(DrawContext& context, float cx, float cy, float k, const Brush& brush);
// A play button: held = accent fill and outline with a triangle of
// `heldHalfSize`; hovered = accent outline and triangle; at rest a faint
// outline and a dim triangle, both of `halfSize`. Sizes are in pixels.
void drawPlayButton(DrawContext& context, const RectF& rect, PlayButtonLook look, float halfSize, float heldHalfSize);

}  // namespace qv
