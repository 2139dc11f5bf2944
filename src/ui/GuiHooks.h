#pragma once
// Temporary stand-in.
#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"
namespace qv {
class GuiHost;
struct MainWindowBands {
    void (*refreshProfileList)(int sim);
    void (*buildEffectCards)(int sim);
    void (*resetCardDrag)();
    void (*updateLevelMeters)();
    bool (*anyMeterActive)();
    void (*paintHeader)(DrawContext&, float width, float time);
    void (*paintProfileBar)(DrawContext&, float width);
    void (*paintEffectCards)(DrawContext&, float width, float height, float time);
    void (*paintControlPanel)(DrawContext&, float width, float height, float time);
    void (*paintStatusBar)(DrawContext&, float width, float height, float time);
    bool (*captionHover)(float x, float y); bool (*captionDown)(WindowHandle, float x, float y);
    bool (*headerHover)(float x, float y);  bool (*headerDown)(WindowHandle, GuiHost*, float x, float y);
    bool (*statusHover)(float x, float y, float w, float h); bool (*statusDown)(WindowHandle, float x, float y, float w, float h);
    bool (*cardsDrag)(float x, float y, float w, float h); bool (*cardsDown)(WindowHandle, GuiHost*, float x, float y, float w, float h);
    bool (*cardsUp)(GuiHost*, float x, float y);   bool (*cardsScroll)(int delta);
    bool (*panelDrag)(float x, float y); bool (*panelDown)(float x, float y, float w, float h);
    bool (*panelUp)(float x, float y);   bool (*panelScroll)(int delta);
};
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
MainWindowBands& mainWindowBands();
DialogEntries& dialogEntries();
void installGuiHooks();
}  // namespace qv
