#pragma once
// The "Zone Setup" dialog: which of the eight zones are in use, which output
// channel of which configured device feeds each, how loud each is and what
// the four extra zones are called. HOLD TEST plays the zone's test tone while
// it is held. Every control writes through to gSettings at once (through
// gSettings.edit); Apply also stores the names and turns all eight zones on
// for the synthesis (numActiveZones 8). On the way out the parent is asked to
// reload its zones and cards (kMsgRefreshEffects).
//
// GUI thread only. The state lives on the opener's stack; the callbacks are
// public so tests can drive the dialog without a window.

#include "platform/Window.h"
#include "settings/HapticSettings.h"
#include "ui/DialogHost.h"
#include "ui/Widgets.h"
#include "ui/dialogs/ZoneTone.h"

#include <cstdint>

namespace qv {

class GuiHost;

inline constexpr int kExtraZoneCount = 4;  // zones 4..7 have names of their own
// Longest zone name, in characters.
inline constexpr int kZoneNameMax = 15;
// Default names of zones 4..7; an emptied name field falls back to these.
inline constexpr const char* kExtraZoneNames[kExtraZoneCount] = {"Seat", "Custom 1", "Custom 2", "Custom 3"};
inline constexpr int kZoneSetupWidth = 560;
inline constexpr int kZoneSetupHeight = 600;

struct ZoneSetupZone {
    bool enabled = false;
    int device = 0;
    int channel = 0;
    float gain = 1.0f;
    char name[kZoneNameMax + 1] = {};
};

// Hit rectangles of one zone row, set when painting.
struct ZoneSetupRow {
    RectF enableBox;
    RectF channelBox;
    RectF channelLeft;
    RectF channelRight;
    RectF deviceHalves[2];
    RectF testButton;
    uint8_t enableHover = 0;
    uint8_t leftHover = 0;
    uint8_t rightHover = 0;
    uint8_t deviceHover[2] = {};
    uint8_t testHover = 0;
};

struct ZoneSetupState {
    GuiHost* host = nullptr;
    ZoneSetupZone zones[kMaxZones];
    ZoneSetupRow rows[kMaxZones];
    UiTextField fields[kExtraZoneCount];  // names of zones 4..7
    int focusedField = -1;
    UiKnob knobs[kMaxZones];
    int draggedKnob = -1;
    int testingZone = -1;
    HeldTone tone;
    UiButton apply;
    UiButton close;
    // From the settings when the dialog opened.
    int numDevices = 1;
    int deviceChannels[kMaxAudioDevices] = {};
    int closeCode = -1;  // what the dialog was closed with, -1 while open
};

// Loads every zone from the live settings.
void initZoneSetup(ZoneSetupState& state, GuiHost* host);
// Channels a zone on `device` can choose from: the device's channel count
// when it is configured and names one (at most 8), else 8.
int zoneChannelCount(const ZoneSetupState& state, int device);
// Takes name field k into its zone: an empty field gets the zone's default
// name; the name is cut to 15 characters and written through.
void commitZoneName(ZoneSetupState& state, int field);
// Stores all eight zones and numActiveZones 8, closes with 1.
void applyZoneSetup(ZoneSetupState& state);
void releaseZoneSetup(ZoneSetupState& state);

DialogSpec zoneSetupSpec(ZoneSetupState& state, WindowHandle parent);
void zoneSetupPaint(DrawContext& context, float width, float height, void* user);
bool zoneSetupMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user);
bool zoneSetupKey(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);

// Opens the dialog over `parent`; without a configured audio device it shows
// the set-up hint instead. Returns when the dialog closed.
void openZoneSetup(WindowHandle parent, GuiHost* host);

}  // namespace qv
