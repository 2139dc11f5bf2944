#pragma once
// How the bands and the dialogs plug into the main window: tables of function
// pointers that the main window calls; a null entry is skipped (no band
// drawn, click not taken, button does nothing). Each band or dialog adds one
// install function in its own files and one call line in installGuiHooks()
// (GuiHooks.cpp). GUI thread only.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"

namespace qv {

class GuiHost;

// All lengths in pixels (s = dpiScale()).
struct MainWindowBands {
    void (*refreshProfileList)(int sim) = nullptr;
    void (*buildEffectCards)(int sim) = nullptr;
    void (*resetCardDrag)() = nullptr;
    void (*updateLevelMeters)() = nullptr;
    bool (*anyMeterActive)() = nullptr;  // any displayed level or peak > 0.001
    void (*paintHeader)(DrawContext&, float width, float time) = nullptr;
    void (*paintProfileBar)(DrawContext&, float width) = nullptr;
    void (*paintEffectCards)(DrawContext&, float width, float height, float time) = nullptr;
    void (*paintControlPanel)(DrawContext&, float width, float height, float time) = nullptr;
    void (*paintStatusBar)(DrawContext&, float width, float height, float time) = nullptr;
    // Mouse (x, y client pixels); down/up return true when handled/changed.
    bool (*captionHover)(float x, float y) = nullptr;
    bool (*captionDown)(WindowHandle, float x, float y) = nullptr;
    bool (*headerHover)(float x, float y) = nullptr;
    bool (*headerDown)(WindowHandle, GuiHost*, float x, float y) = nullptr;
    bool (*statusHover)(float x, float y, float w, float h) = nullptr;
    bool (*statusDown)(WindowHandle, float x, float y, float w, float h) = nullptr;
    bool (*cardsDrag)(float x, float y, float w, float h) = nullptr;
    bool (*cardsDown)(WindowHandle, GuiHost*, float x, float y, float w, float h) = nullptr;
    bool (*cardsUp)(GuiHost*, float x, float y) = nullptr;
    bool (*cardsScroll)(int delta) = nullptr;
    bool (*panelDrag)(float x, float y) = nullptr;
    bool (*panelDown)(float x, float y, float w, float h) = nullptr;
    bool (*panelUp)(float x, float y) = nullptr;
    bool (*panelScroll)(int delta) = nullptr;
    // Keys of the main window (no dialog open); true when something changed.
    bool (*cardsFocus)(int step) = nullptr;           // Tab, Shift+Tab, Down, Up
    bool (*cardsToggleFocused)() = nullptr;           // Space
    bool (*cardsVolume)(int direction) = nullptr;     // + (1) and - (-1)
    bool (*cardsToggleNumber)(int number) = nullptr;  // 1 to 7
    void (*saveNow)() = nullptr;                      // Ctrl+S
};

// Filled by the dialogs; null = the button does nothing.
struct DialogEntries {
    void (*openSettings)(WindowHandle parent) = nullptr;                       // F1, "Options"
    void (*openUpdateDialog)(WindowHandle parent) = nullptr;                   // frame tick
    void (*openReleaseNotes)(WindowHandle parent) = nullptr;
    void (*openLatencyTest)(WindowHandle parent) = nullptr;
    void (*openDeviceWizard)(WindowHandle parent, GuiHost* host) = nullptr;    // kMsgDeviceSetup, header icon
    void (*openChannelRouting)(WindowHandle parent, GuiHost* host) = nullptr;
    void (*openZoneSetup)(WindowHandle parent, GuiHost* host) = nullptr;
    void (*openLoadProfile)(WindowHandle parent) = nullptr;
    void (*openSaveProfileAs)(WindowHandle parent) = nullptr;
    void (*exportProfile)(WindowHandle parent) = nullptr;
    void (*importProfile)(WindowHandle parent) = nullptr;
    void (*openCommunityProfiles)(WindowHandle parent) = nullptr;
    void (*openShareProfile)(WindowHandle parent) = nullptr;
};

MainWindowBands& mainWindowBands();
DialogEntries& dialogEntries();
// Called once on the GUI thread before the main window is created.
void installGuiHooks();

}  // namespace qv
