// The settings dialog and the "Shortcuts & Tips" dialog. Sections:
//   layout and painting
//   mouse and keys
//   opening, and the entries of the main window

#include "ui/dialogs/SettingsDialog.h"

#include "app/BackendConfig.h"
#include "app/Version.h"
#include "platform/Autostart.h"
#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "ui/AppMessages.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"
#include "ui/MessageBox.h"
#include "ui/WidgetList.h"
#include "ui/WidgetPainters.h"
#include "ui/WindowSettings.h"
#include "ui/dialogs/DialogPaint.h"
#include "ui/dialogs/LatencyDialog.h"
#include "ui/dialogs/OpenInDesktop.h"
#include "ui/dialogs/UpdateDialogs.h"

#include <algorithm>
#include <string>

namespace qv {

namespace {

constexpr int kSettingsWidth = 520, kSettingsHeight = 480;
constexpr int kTipsWidth = 480, kTipsHeight = 420;
constexpr float kAccentItemHeight = 32;

// Widget ids: buttons by their index, toggles by kToggleIds + index.
enum { kAccent = 100, kDensity, kToggleIds = 200 };

constexpr const char* kTips[] = {
    "Try the defaults first, they are tuned across many hours of testing.",
    "Start with one or two effects, dial them in, then layer more.",
    "Avoid overlapping frequency ranges between effects.",
    "Hold TEST buttons to preview each effect at the current level.",
    "Isolate one effect at a time when tuning: disable others with 1-7 keys.",
    "Use Setup Wizard to map output zones to your audio channels.",
};

constexpr const char* kToggleLabels[kSettingsToggleCount] = {"Close to Tray", "Start on Login", "VR Auto-Minimise"};
constexpr const char* kButtonLabels[kSettingsButtonCount] = {"Release Notes", "Measure Latency", "Check for Updates",
                                                            "Shortcuts & Tips"};

// ---- layout and painting ----

void layoutSettings(SettingsDialogState& d, float width, float height) {
    const float s = dpiScale();
    const float left = 20 * s, cw = width - 40 * s;
    const float boxWidth = (cw - 12 * s) / 2;
    d.accent.rect = RectF{left, 56 * s, left + boxWidth, 88 * s};
    d.density.rect = RectF{left + boxWidth + 12 * s, 56 * s, left + cw, 88 * s};
    for (int i = 0; i < kSettingsToggleCount; ++i) {
        const float top = (130 + 34 * i) * s;
        d.toggles[i].rect = RectF{left, top, left + cw, top + 28 * s};
    }
    const float buttonWidth = (cw - 24 * s) / 4;
    for (int i = 0; i < kSettingsButtonCount; ++i) {
        const float x = left + i * (buttonWidth + 8 * s);
        d.buttons[i].rect = RectF{x, height - 40 * s, x + buttonWidth, height - 8 * s};
    }
    // An open list keeps the place it opened at.
    if (!d.accent.open)
        dropdownLayoutList(d.accent);
    if (!d.density.open)
        dropdownLayoutList(d.density);
    d.widgets.clear();
    d.widgets.add(d.accent, kAccent);
    d.widgets.add(d.density, kDensity);
    for (int i = 0; i < kSettingsToggleCount; ++i)
        d.widgets.add(d.toggles[i], kToggleIds + i);
    for (int i = 0; i < kSettingsButtonCount; ++i)
        d.widgets.add(d.buttons[i], i);
}

void sectionCaption(DrawContext& context, const char* text, float top, float width) {
    const float s = dpiScale();
    drawTextUtf8(&context, guiTextFormat(kFormatSectionTitle), text, RectF{20 * s, top, width - 20 * s, top + 18 * s},
                 guiBrush(kBrushAccent), TextAlignment::Leading, ParagraphAlignment::Center);
    const float rule = top + 20 * s + 0.5f;
    context.drawLine(PointF{20 * s, rule}, PointF{width - 20 * s, rule}, guiBrush(kBrushLine), 1);
}

SettingsDialogState& settingsState(void* user) { return *static_cast<SettingsDialogState*>(user); }

// Stores a toggle's new value. A store that failed puts the toggle back to
// what is really stored and says why.
void storeToggle(SettingsDialogState& d, int which) {
    std::string error;
    bool stored = false;
    switch (which) {
    case kSettingsCloseToTray:
        stored = writeWindowSetting(d.settingsFolder, "CloseToTray", d.closeToTray, &error);
        if (!stored)
            d.closeToTray = readWindowSetting(d.settingsFolder, "CloseToTray", false);
        break;
    case kSettingsStartOnLogin:
        stored = setRunAtStartup(d.runAtStartup, &error);
        d.runAtStartup = isRunAtStartup();
        break;
    case kSettingsVrMinimise:
        stored = writeWindowSetting(d.settingsFolder, "VRAutoMinimize", d.vrAutoMinimise, &error);
        if (!stored)
            d.vrAutoMinimise = readWindowSetting(d.settingsFolder, "VRAutoMinimize", false);
        break;
    default:
        return;
    }
    if (!stored) {
        const std::string text =
            std::string("\"") + kToggleLabels[which] + "\" could not be changed:\n" + (error.empty() ? "unknown error" : error);
        messageBoxes().show(currentDialogWindow(), "Settings", text.c_str(), MessageKind::Warning);
    }
}

void postAppearance(SettingsDialogState& d) {
    if (d.actions.post)
        d.actions.post(d.parent, kMsgApplyAppearance, static_cast<uintptr_t>(std::max(0, d.accent.selected)),
                       static_cast<intptr_t>(std::max(0, d.density.selected)));
}

void openDownloadPage() {
    const BackendConfig& config = backendConfig();
    if (!config.hasDownloadPage()) {
        messageBoxes().show(currentDialogWindow(), "Check for Updates",
                            "No download page is configured for this build of Quor Vane.", MessageKind::Info);
        return;
    }
    openInDesktop(currentDialogWindow(), config.downloadPageUrl, "Check for Updates");
}

void runButton(SettingsDialogState& d, int which) {
    switch (which) {
    case kSettingsReleaseNotes:
        if (d.actions.openReleaseNotes)
            d.actions.openReleaseNotes(currentDialogWindow());
        break;
    case kSettingsLatency:
        if (d.actions.openLatencyTest)
            d.actions.openLatencyTest(currentDialogWindow());
        break;
    case kSettingsUpdates:
        openDownloadPage();
        break;
    case kSettingsTips:
        if (d.actions.openTips)
            d.actions.openTips(currentDialogWindow());
        break;
    default:
        break;
    }
}

void openReleaseNotesEntry(WindowHandle parent) { showReleaseNotes(parent); }
void openLatencyEntry(WindowHandle parent) { measureLatencyDialog(parent); }
void openSettingsEntry(WindowHandle parent) { showSettingsDialog(parent); }

}  // namespace

SettingsDialogActions defaultSettingsDialogActions() {
    SettingsDialogActions actions;
    actions.openReleaseNotes = openReleaseNotesEntry;
    actions.openLatencyTest = openLatencyEntry;
    actions.openTips = showTipsDialog;
    actions.post = postWindowMessage;
    return actions;
}

void initSettingsDialog(SettingsDialogState& d, WindowHandle parent, const std::string& settingsFolder,
                        const SettingsDialogActions& actions) {
    d = SettingsDialogState{};
    d.parent = parent;
    d.settingsFolder = settingsFolder;
    d.actions = actions;
    const HapticSettings settings = gSettings.snapshot();

    const char* accentNames[kAccentPresetCount];
    for (int i = 0; i < kAccentPresetCount; ++i)
        accentNames[i] = gAccentPresets[i].name;
    setWidgetText(d.accent.label, "ACCENT COLOUR");
    dropdownSetItems(d.accent, accentNames, kAccentPresetCount);
    d.accent.selected = accentPresetIndex(settings.accentTheme);
    d.accent.itemHeight = kAccentItemHeight;
    setWidgetText(d.density.label, "CARD DENSITY");
    dropdownSetItems(d.density, kDensityNames, kDensityCount);
    d.density.selected = std::clamp(settings.guiDensity, 0, kDensityCount - 1);

    d.closeToTray = readWindowSetting(settingsFolder, "CloseToTray", false);
    d.runAtStartup = isRunAtStartup();
    d.vrAutoMinimise = readWindowSetting(settingsFolder, "VRAutoMinimize", false);
    bool* targets[kSettingsToggleCount] = {&d.closeToTray, &d.runAtStartup, &d.vrAutoMinimise};
    for (int i = 0; i < kSettingsToggleCount; ++i) {
        setWidgetText(d.toggles[i].label, kToggleLabels[i]);
        d.toggles[i].target = targets[i];
    }
    for (int i = 0; i < kSettingsButtonCount; ++i) {
        setWidgetText(d.buttons[i].label, kButtonLabels[i]);
        d.buttons[i].style = kButtonPlain;
    }
}

void paintSettingsDialog(DrawContext& context, float width, float height, void* user) {
    SettingsDialogState& d = settingsState(user);
    ensureDialogAppearance();
    layoutSettings(d, width, height);
    const float s = dpiScale();

    sectionCaption(context, "APPEARANCE", 16 * s, width);
    drawDropdown(context, d.accent);
    drawDropdown(context, d.density);

    sectionCaption(context, "SYSTEM", d.accent.rect.bottom + 20 * s, width);
    for (const UiToggle& toggle : d.toggles)
        drawToggle(context, toggle);

    const float tipsCaption = d.toggles[kSettingsToggleCount - 1].rect.bottom + 20 * s;
    sectionCaption(context, "TIPS", tipsCaption, width);
    float y = 268 * s;
    for (const char* tip : kTips) {
        drawTextUtf8(&context, guiTextFormat(kFormatSmall), tip, RectF{20 * s, y, width - 20 * s, y + 15 * s},
                     guiBrush(kBrushText38), TextAlignment::Leading, ParagraphAlignment::Center);
        y += 15 * s;
    }
    y += 8 * s;
    const std::string version = std::string("Quor Vane  v") + kVersionText;
    drawTextUtf8(&context, guiTextFormat(kFormatSmall), version.c_str(), RectF{20 * s, y, width - 20 * s, y + 16 * s},
                 guiBrush(kBrushText22), TextAlignment::Leading, ParagraphAlignment::Center);

    paintDialogFooter(context, width, height, height - 48 * s);
    for (const UiButton& button : d.buttons)
        drawButton(context, button);

    drawDropdownList(context, d.accent);
    drawDropdownList(context, d.density);
}

// ---- mouse and keys ----

namespace {

void settingsWidget(int id, void* user) {
    SettingsDialogState& d = settingsState(user);
    if (id == kAccent || id == kDensity)
        postAppearance(d);
    else if (id >= kToggleIds)
        storeToggle(d, id - kToggleIds);
    else
        runButton(d, id);
}

void closeWithZero(int, void*) { closeDialog(0); }

}  // namespace

bool settingsDialogMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    // The wheel does nothing here (the host repaints after it anyway).
    if (message == kWmMouseWheel)
        return false;
    return routeDialogMouse(settingsState(user).widgets, message, x, y, wParam, settingsWidget, user);
}

bool settingsDialogKey(uint32_t message, uintptr_t wParam, intptr_t, void*) {
    if (message == kWmKeyDown && wParam == static_cast<uintptr_t>(kVkEscape))
        closeDialog(0);
    return false;
}

// ---- the tips dialog ----

RectF tipsTextBox(float width, float height) {
    const float s = dpiScale();
    return RectF{20 * s, 8 * s, width - 20 * s, height - 52 * s};
}

void paintTipsDialog(DrawContext& context, float width, float height, void* user) {
    auto& t = *static_cast<TipsDialogState*>(user);
    ensureDialogAppearance();
    const float s = dpiScale();
    t.close.rect = RectF{width - 100 * s, height - 40 * s, width - 20 * s, height - 8 * s};
    t.widgets.clear();
    t.widgets.add(t.close, 0);
    drawTextUtf8(&context, guiTextFormat(kFormatSmall), kTipsText, tipsTextBox(width, height), guiBrush(kBrushText55),
                 TextAlignment::Leading, ParagraphAlignment::Near);
    paintDialogFooter(context, width, height, height - 48 * s);
    drawButton(context, t.close);
}

bool tipsDialogMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    return routeDialogMouse(static_cast<TipsDialogState*>(user)->widgets, message, x, y, wParam, closeWithZero, user);
}

bool tipsDialogKey(uint32_t message, uintptr_t wParam, intptr_t, void*) {
    if (message == kWmKeyDown && wParam == static_cast<uintptr_t>(kVkEscape))
        closeDialog(0);
    return false;
}

void showTipsDialog(WindowHandle parent) {
    TipsDialogState t;
    setWidgetText(t.close.label, "Close");
    t.close.style = kButtonPrimary;
    DialogSpec spec;
    spec.parent = parent;
    spec.title = "Shortcuts & Tips";
    spec.width = kTipsWidth;
    spec.height = kTipsHeight;
    spec.onPaint = paintTipsDialog;
    spec.onMouse = tipsDialogMouse;
    spec.onKey = tipsDialogKey;
    spec.userData = &t;
    runModalDialog(spec);
}

// ---- opening, and the entries of the main window ----

int showSettingsDialog(WindowHandle parent) {
    GuiHost* host = gGuiHost.load();
    SettingsDialogState d;
    initSettingsDialog(d, parent, host ? host->settingsFolder : std::string(), defaultSettingsDialogActions());
    DialogSpec spec;
    spec.parent = parent;
    spec.title = "Settings";
    spec.width = kSettingsWidth;
    spec.height = kSettingsHeight;
    spec.onPaint = paintSettingsDialog;
    spec.onMouse = settingsDialogMouse;
    spec.onKey = settingsDialogKey;
    spec.userData = &d;
    return runModalDialog(spec);
}

void installSettingsDialogs() {
    DialogEntries& entries = dialogEntries();
    entries.openSettings = openSettingsEntry;
    entries.openUpdateDialog = showUpdateDialog;
    entries.openReleaseNotes = openReleaseNotesEntry;
    entries.openLatencyTest = openLatencyEntry;
}

}  // namespace qv
