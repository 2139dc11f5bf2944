#pragma once
// How the dialogs plug into the main window and its bands: a table of
// function pointers; a null entry makes its button do nothing. Each dialog
// adds one install function in its own files and one call line in
// installGuiHooks() (GuiHooks.cpp), which also connects the bands
// (panels/MainWindowBands.h). GUI thread only.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"

namespace qv {

class GuiHost;

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

DialogEntries& dialogEntries();
// Called once on the GUI thread before the main window is created.
void installGuiHooks();

}  // namespace qv
