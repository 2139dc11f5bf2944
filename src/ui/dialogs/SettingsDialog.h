#pragma once
// The "Settings" dialog (accent colour, card density, the three per-user
// toggles, tips, version, and the way to the release notes, the latency
// measurement, the download page and "Shortcuts & Tips") and the "Shortcuts &
// Tips" dialog. Every choice is applied when made: accent and density by a
// kMsgApplyAppearance message to the parent (the main window applies it),
// the toggles by writing window.ini or the autostart entry at once.
//
// GUI thread only. The state lives on the opener's stack; the callbacks are
// public so tests can drive them after one offscreen paint.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"
#include "ui/WidgetList.h"
#include "ui/Widgets.h"

#include <cstdint>
#include <string>

namespace qv {

inline constexpr const char* kTipsText =
    "KEYBOARD SHORTCUTS\n\nTab / Down          Next effect card\nShift+Tab / Up      Previous effect card\n"
    "Space               Toggle focused card on/off\n+ / -               Adjust focused card volume\n"
    "1 - 7               Toggle effects on/off by number\nCtrl+S              Save config to disk immediately\n"
    "F1                  Open settings dialog\nEscape              Close dialog\n\nTIPS\n\n"
    "Try the defaults first, they are tuned across many hours of testing.\n"
    "Less is more: start with one or two effects, dial them in, then layer more.\n"
    "Avoid overlapping frequency ranges between effects.\n"
    "Hold TEST buttons to preview each effect at the current level.\n"
    "Isolate one effect at a time when tuning: disable others with 1-7 keys.\n"
    "Use Setup Wizard to map output zones to your audio channels.\n"
    "Export profiles as .qvprofile files to share with other users.\n"
    "Measure Latency: connect a cable from your audio output to input,\n"
    "then click Measure Latency for a precise reading.";

// Where the dialog's buttons and choices lead; tests replace them.
struct SettingsDialogActions {
    void (*openReleaseNotes)(WindowHandle parent) = nullptr;
    void (*openLatencyTest)(WindowHandle parent) = nullptr;
    void (*openTips)(WindowHandle parent) = nullptr;
    bool (*post)(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) = nullptr;
};
// The real ones: the dialogs of this folder and postWindowMessage.
SettingsDialogActions defaultSettingsDialogActions();

enum SettingsButton : int { kSettingsReleaseNotes = 0, kSettingsLatency, kSettingsUpdates, kSettingsTips, kSettingsButtonCount };
enum SettingsToggle : int { kSettingsCloseToTray = 0, kSettingsStartOnLogin, kSettingsVrMinimise, kSettingsToggleCount };

struct SettingsDialogState {
    WindowHandle parent = nullptr;
    std::string settingsFolder;  // of window.ini; empty: the window options cannot be stored
    UiDropdown accent;
    UiDropdown density;
    bool closeToTray = false;
    bool runAtStartup = false;
    bool vrAutoMinimise = false;
    UiToggle toggles[kSettingsToggleCount];
    UiButton buttons[kSettingsButtonCount];
    WidgetList widgets;  // filled by the layout of each paint
    SettingsDialogActions actions;
};

// Fills the state: the choices from the settings, the toggles from window.ini
// and the autostart entry.
void initSettingsDialog(SettingsDialogState& state, WindowHandle parent, const std::string& settingsFolder,
                        const SettingsDialogActions& actions);
void paintSettingsDialog(DrawContext& context, float width, float height, void* user);
bool settingsDialogMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user);
bool settingsDialogKey(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);

// Runs the dialog (520 x 480) with the main window's settings folder.
int showSettingsDialog(WindowHandle parent);

// "Shortcuts & Tips": kTipsText and a "Close" button (480 x 420).
struct TipsDialogState {
    UiButton close;
    WidgetList widgets;  // filled by each paint
};
void paintTipsDialog(DrawContext& context, float width, float height, void* user);
bool tipsDialogMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user);
bool tipsDialogKey(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user);
// The box the tips text is laid out in.
RectF tipsTextBox(float width, float height);
void showTipsDialog(WindowHandle parent);

// Puts openSettings, openUpdateDialog, openReleaseNotes and openLatencyTest
// into dialogEntries().
void installSettingsDialogs();

}  // namespace qv
