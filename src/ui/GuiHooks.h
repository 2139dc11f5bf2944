#pragma once
// STAND-IN until the GUI host lands (shared GUI contract).

#include "platform/Window.h"

namespace qv {

class GuiHost;

struct DialogEntries {
    void (*openSettings)(WindowHandle parent);
    void (*openUpdateDialog)(WindowHandle parent);
    void (*openReleaseNotes)(WindowHandle parent);
    void (*openLatencyTest)(WindowHandle parent);
    void (*openDeviceWizard)(WindowHandle parent, GuiHost* host);
    void (*openChannelRouting)(WindowHandle parent, GuiHost* host);
    void (*openZoneSetup)(WindowHandle parent, GuiHost* host);
    void (*openLoadProfile)(WindowHandle parent);
    void (*openSaveProfileAs)(WindowHandle parent);
    void (*exportProfile)(WindowHandle parent);
    void (*importProfile)(WindowHandle parent);
    void (*openCommunityProfiles)(WindowHandle parent);
    void (*openShareProfile)(WindowHandle parent);
};
DialogEntries& dialogEntries();
void installGuiHooks();

}  // namespace qv
