#pragma once
// The "Channel Routing" dialog: for the selected simulator, how strongly each
// of the seven effects goes to each zone (the profile's route gains), and
// each zone's volume. A grid of seven effect rows by one column per zone that
// can sound (active and below numActiveZones). Holding a row's play button
// previews the effect; holding a column header plays the zone's test tone.
// Every change is written into gSettings at once through gSettings.edit, so
// the synthesis plays it on its next block and the coalesced save stores it.
//
// GUI thread only. The state lives on the opener's stack for the run of the
// dialog; the callbacks below get it as user data. They are public so tests
// can drive a dialog without a window: paint once, then send events at the
// painted coordinates.

#include "platform/Window.h"
#include "settings/HapticSettings.h"
#include "ui/DialogHost.h"
#include "ui/Widgets.h"
#include "ui/dialogs/ZoneTone.h"

#include <cstdint>

namespace qv {

class GuiHost;

inline constexpr int kRoutingButtonCount = 4;
enum RoutingButton : int { kRoutingReset = 0, kRoutingSaveAs = 1, kRoutingLoad = 2, kRoutingClose = 3 };

// Narrowest dialog (96-dpi units): the four footer buttons side by side with
// room between them, whatever the number of columns.
inline constexpr int kRoutingMinWidth = 430;
inline constexpr int kRoutingHeight = 590;

struct ChannelRoutingState {
    GuiHost* host = nullptr;  // may be null: previews and tones are skipped
    int columnCount = 0;
    UiKnob knobs[kMaxZones];
    int columnZones[kMaxZones] = {};
    float routeCopy[kEffectCount][kMaxZones] = {};
    // The gain a cell had before a right-click set it to 0 (0 = none).
    float remembered[kEffectCount][kMaxZones] = {};
    UiFader cells[kEffectCount][kMaxZones];
    UiButton buttons[kRoutingButtonCount];
    RectF playRects[kEffectCount];
    RectF headerRects[kMaxZones];
    RectF chipRects[kMaxZones];
    uint8_t playHover[kEffectCount] = {};
    uint8_t headerHover[kMaxZones] = {};
    uint8_t chipHover[kMaxZones] = {};
    int draggedKnob = -1;  // column
    int dragRow = -1;      // effect row and zone of the dragged cell
    int dragZone = -1;
    int previewedEffect = -1;
    int soundingColumn = -1;
    HeldTone tone;
    int closeCode = -1;  // what the dialog was closed with, -1 while open
};

// Builds the columns from the live settings and loads the grid.
void initChannelRouting(ChannelRoutingState& state, GuiHost* host);
// Copies the selected simulator's route gains and the columns' zone gains.
void loadRouteMatrix(ChannelRoutingState& state);
// Clamps to 0..1 and writes route gain [effect][zone] of the selected
// simulator into gSettings (a non-finite value changes nothing).
void setRouteGain(ChannelRoutingState& state, int effect, int zone, float value);
// Stops a held preview and a sounding tone (on the way out of the dialog).
void releaseChannelRouting(ChannelRoutingState& state);

// The label of an effect's row for simulator `sim`: the name the effect's
// card has in the main window's card panel when the panel shows that
// simulator, so that both places call an effect alike ("Slow Suspension" and
// "Fast Suspension" for ACC's dual-band model). An effect without a card (the
// kerbs that ACC's and AC's simple model plays through the suspension) and a
// panel built for another simulator give the plain name.
const char* routingRowLabel(int sim, int effect);

// Client width in 96-dpi units for a number of columns.
int channelRoutingWidth(int columnCount);
DialogSpec channelRoutingSpec(ChannelRoutingState& state, WindowHandle parent);

void channelRoutingPaint(DrawContext& context, float width, float height, void* user);
bool channelRoutingMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user);
bool channelRoutingKey(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);

// Opens the dialog over `parent` and returns when it closed.
void openChannelRouting(WindowHandle parent, GuiHost* host);

}  // namespace qv
