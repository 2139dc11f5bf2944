// The main window. Sections: state; frame timer and idle switch; tray and
// console; painting; the window procedure; runMainWindow.

#include "ui/MainWindow.h"

#include "app/AppGlobals.h"
#include "platform/Files.h"
#include "platform/Output.h"
#include "platform/Processes.h"
#include "platform/Tray.h"
#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "settings/ProfileList.h"
#include "ui/AppMessages.h"
#include "ui/Appearance.h"
#include "ui/ConsoleWindow.h"
#include "ui/DialogHost.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"
#include "ui/PopupMenu.h"
#include "ui/WindowSettings.h"
#include "ui/Widgets.h"
#include "ui/panels/FrameDamage.h"
#include "ui/panels/MainWindowBands.h"
#include "ui/panels/ProfileActions.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <memory>

namespace qv {

namespace {

// ---- state ------------------------------------------------------------------

constexpr Color kWindowBackground = rgb(16, 18, 22);
constexpr int kTrayMenuRestore = 1, kTrayMenuExit = 2;
constexpr int kHotKeyMinimiseRestore = 1;  // Alt+Shift+T
// How far (96-dpi units) the pointer moves with the button held on the
// caption band before the window manager is asked to move the window. A
// click, however short, never starts a move: a window manager that is asked
// for one after the button came up waits in its move mode with the keyboard
// grabbed.
constexpr float kMoveThreshold = 4;

struct MainWindow {
    MainWindowState state;
    GuiHost* host = nullptr;
    WindowHandle window = nullptr;
    bool destroyed = false;
    // The placement the user last saw: the restored rectangle and whether
    // the window was maximised, taken only while it was shown and not
    // minimised (a hidden window reports the screen's corner). Saved at the end.
    WindowRect normalRect;
    bool maximized = false;
    // The size the user chose (by a resize, or the first size) and the DPI
    // it belongs to: a new DPI scales this one, so a size that the work area
    // capped at one scale does not shrink the window at the next. `applied`
    // is the size the last DPI change asked for; a window of another size
    // since was resized by the user. dpi 0: none yet.
    struct {
        int width = 0, height = 0, dpi = 0;
    } chosen;
    int appliedWidth = 0, appliedHeight = 0;
    // A press on the caption band that no band took: the move starts once
    // the pointer moved far enough with the button held.
    bool movePending = false;
    float pressX = 0, pressY = 0;
    std::unique_ptr<ITray> tray;
    // The bands' state (panels/MainWindowBands.h).
    MainWindowBands bands;
    // What the window's target holds: the frame last presented, by regions.
    FrameDamage damage;
    // "VRAutoMinimize" as window.ini said at `stamp`: the file is read again
    // only when it changed (the settings dialog, an edit from outside).
    struct {
        std::string path;
        FileStamp stamp;
        bool on = false;
    } vrOption;
};

MainWindow gMain;
bool (*gVrProbe)() = nullptr;

float scale() { return dpiScale(); }

std::string settingsFolder() { return gMain.host ? gMain.host->settingsFolder : std::string(); }

uint64_t monotonicMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

bool realVrProbe() { return isProcessRunning({"vrserver", "vrserver.exe"}); }

int selectedSim() { return gSettings.snapshot().selectedSim; }

// Text formats and brushes at the current DPI, density and accent.
void rebuildResources() {
    const HapticSettings s = gSettings.snapshot();
    releaseGuiResources();
    applyDensity(s.guiDensity);
    createTextFormats();
    createBrushes(s.accentTheme);
    invalidateWindow(gMain.window);
}

// ---- frame timer and idle switch -----------------------------------------------

bool windowShown();

void switchFast() {
    killWindowTimer(gMain.window, kTimerFrame);
    if (windowShown())
        setWindowTimer(gMain.window, kTimerFrame, kFastFrameMs);
    gMain.state.fastTimer = true;
}

void switchSlow() {
    killWindowTimer(gMain.window, kTimerFrame);
    if (windowShown())
        setWindowTimer(gMain.window, kTimerFrame, kSlowFrameMs);
    gMain.state.fastTimer = false;
}

// Starts the frame timer at its current speed once the window is seen again.
void resumeFrameTimer() {
    if (windowShown() && !hasWindowTimer(gMain.window, kTimerFrame))
        setWindowTimer(gMain.window, kTimerFrame, gMain.state.fastTimer ? kFastFrameMs : kSlowFrameMs);
}

// The device-setup request and the update dialog wait until no dialog is
// open, so a wizard never runs inside another dialog's loop.
void openPendingDialogs() {
    if (isDialogOpen() || !gMain.host)
        return;
    // Without a wizard in this build the request stays pending.
    if (dialogEntries().openDeviceWizard && gMain.host->takeDeviceSetupRequest()) {
        dialogEntries().openDeviceWizard(gMain.window, gMain.host);
        return;
    }
    std::atomic<int32_t>* update = gMain.host->updateAvailableFlag;
    if (!gMain.state.updateDialogShown && update && update->load() != 0) {
        gMain.state.updateDialogShown = true;
        if (dialogEntries().openUpdateDialog)
            dialogEntries().openUpdateDialog(gMain.window);
    }
}

// The frame timer runs only while the window can be seen: minimised or
// hidden (in the tray) it is killed, and nothing is painted.
bool windowShown() { return isWindowVisible(gMain.window) && !isWindowMinimized(gMain.window); }

void frameTick() {
    if (!windowShown()) {
        killWindowTimer(gMain.window, kTimerFrame);
        return;
    }
    gMain.state.animTime = static_cast<float>((monotonicMs() % 3600000ULL) / 1000.0);
    updateLevelMeters();
    if (isForegroundWindow(gMain.window)) {
        if (anyMeterActive()) {
            gMain.state.idleTicks = 0;
            if (!gMain.state.fastTimer)
                switchFast();
        } else {
            ++gMain.state.idleTicks;
            if (gMain.state.fastTimer && gMain.state.idleTicks > kIdleTicksBeforeSlow)
                switchSlow();
        }
    }
    openPendingDialogs();
    // Only what changed is painted; a tick that changed nothing paints nothing.
    requestWindowPaint(gMain.window);
}

// The VR option, at the cost of one stat while window.ini stays as it was
// (or stays missing).
bool vrAutoMinimize() {
    const std::string folder = settingsFolder();
    if (folder.empty())
        return false;
    const std::string path = folder + kWindowSettingsFileName;
    const FileStamp stamp = fileStamp(path);
    auto& option = gMain.vrOption;
    if (option.path != path || !(option.stamp == stamp)) {
        option.path = path;
        option.stamp = stamp;
        option.on = readWindowSetting(folder, "VRAutoMinimize", false);
    }
    return option.on;
}

void vrCheck() {
    bool running = false;
    if (vrAutoMinimize())
        running = (gVrProbe ? gVrProbe : realVrProbe)();
    // Only the start of the VR runtime minimises; a window restored while it
    // runs is left alone.
    if (running && !gMain.state.vrRunning && !isWindowMinimized(gMain.window))
        showWindow(gMain.window, ShowCommand::Minimize);
    gMain.state.vrRunning = running;
}

// Notes the placement while the user can see the window. A window that is
// just being minimised still reports where it was (it does not move).
enum class WhenMinimised : uint8_t { Skip, Note };
void rememberPlacement(WhenMinimised minimised = WhenMinimised::Skip) {
    if (!isWindowVisible(gMain.window) || gMain.state.inTray ||
        (minimised == WhenMinimised::Skip && isWindowMinimized(gMain.window)))
        return;
    gMain.maximized = isWindowMaximized(gMain.window);
    if (!gMain.maximized) {
        const WindowRect r = windowRect(gMain.window);
        if (r.width > 0 && r.height > 0)
            gMain.normalRect = r;
    }
}

// ---- tray and console ----------------------------------------------------------------

void hideConsoleInto(bool& flag) {
    flag = false;
    if (isConsoleWindowVisible()) {
        flag = true;
        showConsoleWindow(false);
    }
}

void showConsoleIf(bool& flag) {
    if (flag)
        showConsoleWindow(true);
    flag = false;
}

void removeTrayIcon() {
    if (gMain.tray && gMain.state.trayIconAdded)
        gMain.tray->remove();
    gMain.state.trayIconAdded = false;
}

bool addTrayIcon() {
    if (gMain.state.trayIconAdded)
        return true;
    if (!gMain.tray && gMain.host && gMain.host->trayFactory)
        gMain.tray = gMain.host->trayFactory();
    if (!gMain.tray) {
        gMain.state.trayError = "no tray is available in this build";
        return false;
    }
    TrayCallbacks callbacks;
    // These run on the tray's thread: they only post to the window.
    callbacks.activate = [] { postWindowMessage(gMainWindow.load(), kMsgTrayIcon, uintptr_t(TrayEvent::Activate), 0); };
    callbacks.restore = [] { postWindowMessage(gMainWindow.load(), kMsgTrayIcon, uintptr_t(TrayEvent::Restore), 0); };
    callbacks.exit = [] { postWindowMessage(gMainWindow.load(), kMsgTrayIcon, uintptr_t(TrayEvent::Exit), 0); };
    callbacks.contextMenu = [](int x, int y) {
        postWindowMessage(gMainWindow.load(), kMsgTrayIcon, uintptr_t(TrayEvent::ContextMenu), makePointParam(x, y));
    };
    std::vector<TrayIconImage> icons;
    if (gMain.host && gMain.host->iconRenderer) {
        for (int size : {16, 22, 24, 32, 48, 64})
            if (TrayIconImage image = gMain.host->iconRenderer(size); image.size > 0)
                icons.push_back(std::move(image));
    }
    if (!gMain.tray->add(callbacks, std::move(icons), "Quor Vane")) {
        gMain.state.trayError = gMain.tray->lastError();
        if (gMain.state.trayError.empty())
            gMain.state.trayError = "no tray host answered";
        return false;
    }
    gMain.state.trayIconAdded = true;
    return true;
}

void closeToTray() {
    if (!addTrayIcon()) {
        // Hiding without an icon to come back through would lose the window;
        // so would minimising where the program cannot restore it (native
        // Wayland): there it stays as it is.
        if (!canRestoreMinimized()) {
            errPrint("  No tray is available (%s): the window stays open (on Wayland it could not be restored "
                     "once minimised).\n",
                     gMain.state.trayError.c_str());
            return;
        }
        errPrint("  No tray is available (%s): the window was minimised instead of going to the tray.\n",
                 gMain.state.trayError.c_str());
        showWindow(gMain.window, ShowCommand::Minimize);
        return;
    }
    hideConsoleInto(gMain.state.consoleHiddenByTray);
    // Where the user last saw it: a hidden window reports the screen's corner.
    rememberPlacement();
    gMain.state.inTray = true;
    showWindow(gMain.window, ShowCommand::Hide);
    killWindowTimer(gMain.window, kTimerFrame);
}

void restoreFromTray() {
    removeTrayIcon();
    gMain.state.inTray = false;
    showWindow(gMain.window, ShowCommand::Show);
    if (isWindowMinimized(gMain.window))
        showWindow(gMain.window, ShowCommand::Restore);
    bringWindowToFront(gMain.window);
    showConsoleIf(gMain.state.consoleHiddenByTray);
    resumeFrameTimer();
}

void quitProgram() {
    if (gMain.host && gMain.host->quitRequestedFlag)
        gMain.host->quitRequestedFlag->exchange(1);
    if (isDialogOpen()) {
        // The dialogs' loops end innermost first; runMainWindow destroys the
        // window once they are gone.
        postQuitMessage();
        return;
    }
    destroyWindow(gMain.window);
}

void trayEvent(TrayEvent event, intptr_t lParam) {
    switch (event) {
    case TrayEvent::Activate:
    case TrayEvent::Restore:
        restoreFromTray();
        return;
    case TrayEvent::Exit:
        quitProgram();
        return;
    case TrayEvent::ContextMenu: {
        if (isDialogOpen())
            return;
        static const PopupMenuItem items[] = {
            {kTrayMenuRestore, "Restore"}, {0, nullptr, true}, {kTrayMenuExit, "Exit"}};
        const int chosen = runPopupMenu(nullptr, static_cast<float>(pointParamX(lParam)),
                                        static_cast<float>(pointParamY(lParam)), items, 3);
        if (chosen == kTrayMenuRestore)
            restoreFromTray();
        else if (chosen == kTrayMenuExit)
            postWindowMessage(gMain.window, kMsgQuit, 0, 0);
        return;
    }
    }
}

// ---- painting ------------------------------------------------------------------

void paintFrame(WindowHandle window) {
    bool whole = true;
    DrawContext* context = beginWindowPaint(window, &whole);
    if (!context)
        return;  // retried at the next paint
    const std::vector<PixelRect>& rects =
        paintMainWindowChanges(*context, context->width(), context->height(), gMain.state.animTime, whole);
    // Nothing changed: an empty rectangle presents nothing.
    static const PixelRect kNothing{};
    const bool presented = rects.empty() ? endWindowPaint(window, &kNothing, 1)
                                         : endWindowPaint(window, rects.data(), static_cast<int>(rects.size()));
    if (!presented) {
        // The target is made again at the next paint, which draws the whole
        // frame; so are the resources drawn with it.
        rebuildResources();
    }
}

// ---- the window procedure --------------------------------------------------------

void onSize(uintptr_t kind, intptr_t lParam) {
    if (kind == kSizeMinimized) {
        rememberPlacement(WhenMinimised::Note);
        killWindowTimer(gMain.window, kTimerFrame);
        hideConsoleInto(gMain.state.consoleHiddenByMinimise);
        return;
    }
    const int w = pointParamX(lParam) & 0xFFFF, h = pointParamY(lParam) & 0xFFFF;
    if (w > 0 && h > 0) {
        gMain.state.clientWidth = static_cast<float>(w);
        gMain.state.clientHeight = static_cast<float>(h);
    }
    rememberPlacement();
    killWindowTimer(gMain.window, kTimerFrame);
    resumeFrameTimer();
    showConsoleIf(gMain.state.consoleHiddenByMinimise);
    invalidateWindow(gMain.window);
}

void onDestroy() {
    killWindowTimer(gMain.window, kTimerFrame);
    killWindowTimer(gMain.window, kTimerVrCheck);
    removeTrayIcon();
    gMain.tray.reset();
    releaseGuiResources();
    rememberPlacement();
    WindowPlacement placement;
    placement.show = gMain.maximized ? kShowMaximized : kShowNormal;
    placement.normal = gMain.normalRect;
    if (!settingsFolder().empty() && placement.normal.width > 0)
        writeWindowPlacement(settingsFolder(), placement);  // a failure is silent
    gMain.destroyed = true;
}

enum class BandInput : uint8_t { Hover, Press, Release, Wheel };

// Offers one mouse event to the bands, laid out first for the current client
// size (so input never waits for a paint). A press or a wheel goes to the
// top band first and stops at the first band that takes it; the pointer's
// moves and the release go to every band. True when a band took the event
// (press, wheel) or something changed (hover, release).
bool routeToBands(BandInput kind, float x, float y, int wheelDelta = 0) {
    BandEvent event;
    event.window = gMain.window;
    event.host = gGuiHost.load();
    event.x = x;
    event.y = y;
    event.width = gMain.state.clientWidth;
    event.height = gMain.state.clientHeight;
    event.wheelDelta = wheelDelta;
    layoutMainWindowBands(BandFrame{event.width, event.height, gMain.state.animTime, nullptr});
    const std::span<const Band* const> bands = bandsInZOrder();
    bool result = false;
    for (auto it = bands.rbegin(); it != bands.rend(); ++it) {
        const Band& band = **it;
        switch (kind) {
        case BandInput::Hover:
            if (band.hover)
                result = band.hover(event) || result;
            break;
        case BandInput::Release:
            if (band.release)
                result = band.release(event) || result;
            break;
        case BandInput::Press:
            if (band.press && band.press(event))
                return true;
            break;
        case BandInput::Wheel:
            if (band.wheel && band.wheel(event))
                return true;
            break;
        }
    }
    return result;
}

// The cards' keys the tips dialog lists (F1 is the window procedure's): Tab / Down and
// Shift+Tab / Up move the cards' focus, Space turns the focused card's effect
// on or off, + and - (typed text, so the keypad's count) change its volume,
// 1 to 7 (also on the keypad) turn the effects of the cards on or off by
// their place, Ctrl+S saves now. True when something changed.
bool keyInput(uint32_t message, uintptr_t key) {
    // The focus scrolls within the card area of the current layout.
    layoutMainWindowBands(BandFrame{gMain.state.clientWidth, gMain.state.clientHeight, gMain.state.animTime, nullptr});
    if (message == kWmChar) {
        if (key == '+')
            return nudgeFocusedCardVolume(kCardVolumeKeyStep);
        if (key == '-')
            return nudgeFocusedCardVolume(-kCardVolumeKeyStep);
        return false;
    }
    const int vk = static_cast<int>(key);
    if (isControlDown()) {
        // The main thread hands the block to the settings saver at its next pass.
        if (vk == 'S')
            gSaveRequested.exchange(1);
        return false;
    }
    constexpr int kVkNumpad0 = 0x60;
    if (vk == kVkTab || vk == kVkDown || vk == kVkUp)
        return moveCardFocus(vk == kVkUp || (vk == kVkTab && isShiftDown()) ? -1 : 1);
    if (vk == kVkSpace)
        return toggleFocusedCard();
    if (vk >= '1' && vk <= '7')
        return toggleCardByNumber(vk - '0');
    if (vk >= kVkNumpad0 + 1 && vk <= kVkNumpad0 + 7)
        return toggleCardByNumber(vk - kVkNumpad0);
    return false;
}

void applyAppearance(uintptr_t wParam, intptr_t lParam) {
    int density = static_cast<int>(lParam);
    if (lParam < 0 || lParam > 2)
        density = 1;
    const int accent = wParam < 6 ? static_cast<int>(wParam) : 0;
    // Only this message's own fields change; edit() raises the dirty flag.
    gSettings.edit([&](HapticSettings& s) {
        s.accentTheme = accent;
        s.guiDensity = density;
    });
    applyDensity(density);
    applyAccentTheme(accent);
    invalidateWindow(gMain.window);
}

// The smallest size at the current DPI, within the work area.
void applyMinimumSize(WindowOptions* options) {
    int w = static_cast<int>(std::lround(kMainWindowMinWidth * dpiScale()));
    int h = static_cast<int>(std::lround(kMainWindowMinHeight * dpiScale()));
    if (const std::vector<WindowRect> displays = displayBounds(); !displays.empty()) {
        w = std::min(w, displays.front().width);
        h = std::min(h, displays.front().height);
    }
    if (options) {
        options->minWidth = w;
        options->minHeight = h;
    } else {
        setWindowMinimumSize(gMain.window, w, h);
    }
}

// A new DPI: the window keeps its size relative to the desktop (unless the
// window system resized it already): the size the user chose, scaled from
// the DPI it was chosen at and capped to the work area. Its minimum follows,
// and everything drawn is made again at the new scale.
void checkDpi(int dpi, bool sizeFollowed) {
    const int old = currentDpi();
    if (dpi == 0 || dpi == old)
        return;
    setDpi(dpi);
    if (currentDpi() == old)
        return;  // out of range: ignored
    // A smaller window needs the smaller minimum first (a size below the
    // minimum is raised to it); a larger one gets its rectangle first, since
    // setting a minimum also re-applies the position SDL knows.
    const bool resize = !sizeFollowed && !isWindowMaximized(gMain.window);
    const WindowRect now = windowRect(gMain.window);
    WindowRect from = now;
    int fromDpi = old;
    if (resize) {
        // Within a pixel or two: the window manager may round what it gives.
        const bool userSized =
            std::abs(now.width - gMain.appliedWidth) > 2 || std::abs(now.height - gMain.appliedHeight) > 2;
        if (gMain.chosen.dpi == 0 || userSized)
            gMain.chosen = {now.width, now.height, old};
        from.width = gMain.chosen.width;
        from.height = gMain.chosen.height;
        from.x = now.x + now.width / 2 - from.width / 2;
        from.y = now.y + now.height / 2 - from.height / 2;
        fromDpi = gMain.chosen.dpi;
    } else if (sizeFollowed) {
        gMain.chosen.dpi = 0;  // the window system chose the size
    }
    const WindowRect next = rescaleWindowRect(from, fromDpi, currentDpi(), displayBounds());
    if (currentDpi() < old)
        applyMinimumSize(nullptr);
    if (resize) {
        setWindowRect(gMain.window, next);
        gMain.appliedWidth = next.width;
        gMain.appliedHeight = next.height;
    }
    if (currentDpi() > old)
        applyMinimumSize(nullptr);
    rebuildResources();
}

// Where a press moves the window: the header, but not its caption buttons
// or the notice that opens the device wizard (where a press held and moved
// starts a move on X11 too).
bool onMainCaption(int x, int y, void*) {
    const float px = static_cast<float>(x), py = static_cast<float>(y);
    if (py < 0 || py >= kHeaderHeight * scale())
        return false;
    const HeaderLayout& header = headerLayout();
    for (const RectF& button : header.captionButtons)
        if (pointInRect(button, px, py))
            return false;
    return !pointInRect(header.wizardNotice, px, py);
}

intptr_t mainProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam, void*) {
    MainWindowState& st = gMain.state;
    const float x = static_cast<float>(pointParamX(lParam)), y = static_cast<float>(pointParamY(lParam));
    const float s = scale();
    if (gMain.host)
        gMain.host->applyPendingCallables();
    switch (message) {
    case kWmDestroy:
        onDestroy();
        return 0;
    case kWmSize:
        onSize(wParam, lParam);
        return 0;
    case kWmDisplayChanged:
        if (st.ready)
            checkDpi(static_cast<int>(wParam), lParam == kDpiChangeSizeFollowed);
        return 0;
    case kWmActivate:
        if (wParam) {
            if (!st.fastTimer)
                switchFast();
            st.idleTicks = 0;
        } else {
            switchSlow();
        }
        return 0;
    case kWmPaint:
        paintFrame(window);
        return 0;
    case kWmClose:
        if (readWindowSetting(settingsFolder(), "CloseToTray", false))
            closeToTray();
        else
            quitProgram();
        return 1;
    case kWmKeyDown:
    case kWmChar:
        // F1 goes to the settings as it always has (the dialog host decides
        // whether they can open now); the cards' keys only while no dialog
        // is open, since the keys are then the dialog's.
        if (message == kWmKeyDown && wParam == static_cast<uintptr_t>(kVkF1)) {
            if (dialogEntries().openSettings)
                dialogEntries().openSettings(window);
            return 0;
        }
        if (!isDialogOpen() && keyInput(message, wParam))
            requestWindowPaint(window);
        return 0;
    case kWmSysKeyDown:
        // Where a minimised window cannot be restored by the program (native
        // Wayland), the key does nothing rather than minimise for good.
        if (wParam == 'T' && isShiftDown() && canRestoreMinimized())
            showWindow(window, isWindowMinimized(window) ? ShowCommand::Restore : ShowCommand::Minimize);
        return 0;
    case kWmHotKey:
        // Alt+Shift+T from anywhere on the desktop (X11): a minimised window
        // has no keyboard focus, so only the desktop-wide shortcut restores it.
        if (wParam == kHotKeyMinimiseRestore && isWindowEnabled(window)) {
            if (isWindowMinimized(window)) {
                showWindow(window, ShowCommand::Restore);
                bringWindowToFront(window);
            } else if (isWindowVisible(window)) {
                showWindow(window, ShowCommand::Minimize);
            }
        }
        return 0;
    case kWmTimer:
        if (wParam == kTimerVrCheck)
            vrCheck();
        else if (wParam == kTimerFrame)
            frameTick();
        return 0;
    case kWmMouseMove:
        // Hover changes show at the next frame tick; a drag's at once.
        routeToBands(BandInput::Hover, x, y);
        if (mouseCaptureWindow() == window)
            requestWindowPaint(window);  // a drag: only what it changed is painted
        if (gMain.movePending) {
            const float limit = kMoveThreshold * s;
            if (!(wParam & kMkLButton)) {
                gMain.movePending = false;
            } else if (std::fabs(x - gMain.pressX) >= limit || std::fabs(y - gMain.pressY) >= limit) {
                gMain.movePending = false;
                releaseMouseCapture();
                startWindowMove(window);
            }
        }
        return 0;
    case kWmLButtonDown: {
        gMain.movePending = false;
        const uint64_t loops = messageLoopsRun();
        if (routeToBands(BandInput::Press, x, y)) {
            // Only a press the window goes on handling (a drag) holds the
            // mouse: one that opened a dialog or menu ran a loop of its own,
            // where its release went.
            if (messageLoopsRun() == loops)
                setMouseCapture(window);
            invalidateWindow(window);
            postWindowMessage(window, kMsgBringToFront, kBringToFrontRaise, 0);
        } else if (y < kHeaderHeight * s) {
            gMain.movePending = true;
            gMain.pressX = x;
            gMain.pressY = y;
        }
        return 0;
    }
    case kWmLButtonUp: {
        gMain.movePending = false;
        if (routeToBands(BandInput::Release, x, y))
            invalidateWindow(window);
        releaseMouseCapture();
        return 0;
    }
    case kWmLButtonDblClk:
        // The second press of a double click starts no move either.
        gMain.movePending = false;
        if (y < kHeaderHeight * s)
            showWindow(window, isWindowMaximized(window) ? ShowCommand::Restore : ShowCommand::Maximize);
        return 0;
    case kWmMouseWheel: {
        // Over the control panel's column it scrolls the panel, else the cards.
        routeToBands(BandInput::Wheel, x, y, wheelDelta(wParam));
        invalidateWindow(window);
        return 0;
    }
    case kMsgDeviceSetup:
        openPendingDialogs();
        return 0;
    case kMsgRefreshEffects:
        gProfileList.refreshProfileList(profileBaseFolder(), selectedSim());
        buildEffectCards(selectedSim());
        invalidateWindow(window);
        return 0;
    case kMsgBringToFront:
        if (wParam == kBringToFrontRestore) {
            // Another start of the program: the user wants to see the window.
            if (st.inTray)
                restoreFromTray();
            else if (isWindowMinimized(window))
                showWindow(window, ShowCommand::Restore);
            bringWindowToFront(window);
        } else if (!isForegroundWindow(window)) {
            // After a click or a dialog: only a window the user sees is
            // raised, and one that has the focus already stays where it is
            // (below a window the click opened, such as the console).
            bringWindowToFront(window);
        }
        return 0;
    case kMsgCheckDpi:
        // Where windows cannot place themselves (Wayland) the size in pixels
        // follows the output's scale on its own.
        checkDpi(windowDisplayDpi(window), !canPlaceWindows());
        return 0;
    case kMsgApplyAppearance:
        applyAppearance(wParam, lParam);
        return 0;
    case kMsgTrayIcon:
        trayEvent(static_cast<TrayEvent>(wParam), lParam);
        return 0;
    case kMsgQuit:
        quitProgram();
        return 0;
    default:
        return 0;
    }
}

}  // namespace

// ---- painting ------------------------------------------------------------------

MainWindowBands& mainWindowBands() { return gMain.bands; }

namespace {

// Where each band's regions begin and end among a tracked frame's: the
// band at z-order place i noted the regions from marks[i] to before
// marks[i + 1]. Bands beyond the array are always painted.
constexpr size_t kMarkedBands = 16;
struct BandRegions {
    std::array<size_t, kMarkedBands + 1> marks{};
    size_t bands = 0;
};

// Lays the bands out for a frame and notes the background, which depends on
// the size and the appearance only (the bands' record stands for it).
void layoutFrame(const BandFrame& frame, BandRegions* regions = nullptr) {
    if (!regions || !frame.damage) {
        layoutMainWindowBands(frame);
    } else {
        regions->bands = 0;
        regions->marks[0] = frame.damage->regionCount();
        for (const Band* band : bandsInZOrder()) {
            if (band->layout)
                band->layout(frame);
            if (regions->bands < kMarkedBands)
                regions->marks[++regions->bands] = frame.damage->regionCount();
        }
    }
    if (frame.damage) {
        CacheKey key;
        key.addAppearance();
        key.add(frame.width);
        key.add(frame.height);
        const Color c = guiBrush(kBrushWindow).color;
        key.add(c.r);
        key.add(c.g);
        key.add(c.b);
        frame.damage->add(&gMain.bands, RectF{0, 0, frame.width, frame.height}, key);
    }
}

// Draws a laid-out frame: the background, then the bands bottom to top.
// With `regions` (a frame drawn clipped to its damage) a band none of whose
// regions reaches into the damage is left out: it would draw nothing there,
// and a waiting window's pulse then costs only the band that pulses.
void drawFrame(DrawContext& context, const BandFrame& frame, const BandRegions* regions = nullptr) {
    const float s = dpiScale();
    context.clear(kWindowBackground);
    const float top = (kHeaderHeight + kProfileBarHeight) * s;
    const float band = frame.height - top - kStatusBarHeight * s;
    if (band > 0)
        context.fillRect(RectF{0, top, frame.width, top + band}, guiBrush(kBrushWindow));
    size_t place = 0;
    for (const Band* b : bandsInZOrder()) {
        const bool touched = !regions || place >= regions->bands ||
                             frame.damage->touchesDamage(regions->marks[place], regions->marks[place + 1]);
        ++place;
        if (b->paint && touched)
            b->paint(context, frame);
    }
}

}  // namespace

void paintMainWindow(DrawContext& context, float w, float h, float time) {
    const BandFrame frame{w, h, time, nullptr, &context};
    layoutFrame(frame);
    drawFrame(context, frame);
}

const std::vector<PixelRect>& paintMainWindowChanges(DrawContext& context, float width, float height, float time,
                                                     bool whole) {
    // The layout notes what changed since the frame on the screen; the frame
    // is then drawn once, only there.
    FrameDamage& damage = gMain.damage;
    const BandFrame frame{width, height, time, &damage, &context};
    BandRegions regions;
    damage.beginFrame();
    layoutFrame(frame, &regions);
    const std::vector<PixelRect>& rects = damage.endFrame(whole, static_cast<int>(width), static_cast<int>(height));
    if (!rects.empty()) {
        context.pushClipRects(rects.data(), static_cast<int>(rects.size()));
        drawFrame(context, frame, whole ? nullptr : &regions);
        context.popClip();
    }
    return rects;
}

const MainWindowState& mainWindowState() { return gMain.state; }

WindowRect firstMainWindowRect(int dpi, const std::vector<WindowRect>& displays) {
    WindowRect r;
    r.x = kWindowPositionDefault;
    r.y = kWindowPositionDefault;
    r.width = static_cast<int>(std::lround(static_cast<double>(kMainWindowWidth) * dpi / kDefaultDpi));
    r.height = static_cast<int>(std::lround(static_cast<double>(kMainWindowHeight) * dpi / kDefaultDpi));
    if (!displays.empty()) {
        r.width = std::min(r.width, displays.front().width);
        r.height = std::min(r.height, displays.front().height);
    }
    r.width = std::max(r.width, 1);
    r.height = std::max(r.height, 1);
    return r;
}

WindowRect rescaleWindowRect(const WindowRect& rect, int oldDpi, int newDpi, const std::vector<WindowRect>& displays) {
    if (oldDpi <= 0 || newDpi <= 0)
        return rect;
    const double ratio = static_cast<double>(newDpi) / oldDpi;
    const int cx = rect.x + rect.width / 2, cy = rect.y + rect.height / 2;
    WindowRect r;
    r.width = std::max(1, static_cast<int>(std::lround(rect.width * ratio)));
    r.height = std::max(1, static_cast<int>(std::lround(rect.height * ratio)));
    const WindowRect* area = displays.empty() ? nullptr : &displays.front();
    for (const WindowRect& d : displays)
        if (cx >= d.x && cx < d.x + d.width && cy >= d.y && cy < d.y + d.height)
            area = &d;
    if (area) {
        r.width = std::min(r.width, area->width);
        r.height = std::min(r.height, area->height);
    }
    r.x = cx - r.width / 2;
    r.y = cy - r.height / 2;
    if (area) {
        r.x = std::clamp(r.x, area->x, area->x + area->width - r.width);
        r.y = std::clamp(r.y, area->y, area->y + area->height - r.height);
    }
    return r;
}

void setVrProcessProbe(bool (*probe)()) { gVrProbe = probe; }

// ---- runMainWindow ------------------------------------------------------------

bool runMainWindow(GuiHost* host) {
    // A new window starts afresh; its bands keep only their connections.
    BandConnections connections = std::move(gMain.bands.connections);
    gMain = MainWindow{};
    gMain.bands.connections = std::move(connections);
    resetMainWindowBands();
    gMain.host = host;
    gGuiHost.store(host);
    setConsoleMirror(host ? host->consoleMirror : nullptr);

    const std::string folder = host ? host->settingsFolder : std::string();
    std::optional<WindowPlacement> placement = folder.empty() ? std::nullopt : readWindowPlacement(folder);
    if (placement)
        placement = clampWindowPlacement(*placement, displayBounds());

    setDpi(desktopDpi());
    const WindowRect first = firstMainWindowRect(currentDpi(), displayBounds());
    WindowOptions options;
    options.kind = WindowKind::Main;
    options.title = "Quor Vane  v" QV_VERSION_TEXT;
    options.width = placement ? placement->normal.width : first.width;
    options.height = placement ? placement->normal.height : first.height;
    if (placement && canPlaceWindows()) {
        options.x = placement->normal.x;
        options.y = placement->normal.y;
    }
    options.visible = false;
    applyMinimumSize(&options);
    options.proc = mainProc;
    WindowHandle window = createWindow(options);
    if (!window) {
        errPrint("  The main window could not be made (%s); running without a window.\n", lastWindowError().c_str());
        gGuiHost.store(nullptr);
        return false;
    }
    gMain.window = window;
    gMainWindow.store(window);
    setWindowCaptionTest(window, onMainCaption, nullptr);
    gMain.normalRect = windowRect(window);
    // Alt+Shift+T minimises and restores from anywhere on an X11 desktop.
    if (windowSystemDriver() == "x11" &&
        !registerHotKey(window, kHotKeyMinimiseRestore, kHotKeyAlt | kHotKeyShift, 'T'))
        errPrint("  Alt+Shift+T is taken by another program (%s): it works only while the window has the "
                 "keyboard focus.\n",
                 lastWindowError().c_str());
    if (placement) {
        gMain.normalRect = placement->normal;
        gMain.maximized = placement->show == kShowMaximized;
    }

    // What the window needs before its first frame.
    rebuildResources();
    const int sim = selectedSim();
    gProfileList.refreshProfileList(profileBaseFolder(), sim);
    resetCardDrag();
    buildEffectCards(sim);
    setWindowTimer(window, kTimerFrame, kFastFrameMs);
    setWindowTimer(window, kTimerVrCheck, kVrCheckMs);
    int cw = 0, ch = 0;
    clientSize(window, &cw, &ch);
    if (cw > 0 && ch > 0) {
        gMain.state.clientWidth = static_cast<float>(cw);
        gMain.state.clientHeight = static_cast<float>(ch);
    }
    if (host && host->iconRenderer)
        if (TrayIconImage icon = host->iconRenderer(64); icon.size > 0 &&
                                                          icon.argb.size() == size_t(icon.size) * size_t(icon.size))
            setWindowIcon(window, icon.argb.data(), icon.size);

    showWindow(window, placement && placement->show == kShowMaximized ? ShowCommand::Maximize : ShowCommand::Show);
    updateWindow(window);
    gMain.state.ready = true;
    postWindowMessage(window, kMsgCheckDpi, 0, 0);
    // A device-setup request made before the window existed is acted on now.
    postWindowMessage(window, kMsgDeviceSetup, 0, 0);
    if (host && host->publishWindow(window))
        postWindowMessage(window, kMsgQuit, 0, 0);  // stop() came before the window was shown

    runMessageLoopUntil(gMain.destroyed);
    // The display went away: the program ends as after a close, saving
    // everything (the main thread does that once it sees the request).
    if (windowSystemLost() && host && host->quitRequestedFlag)
        host->quitRequestedFlag->exchange(1);
    // A quit that ended the loops while dialogs ran: they are closed now.
    if (isWindow(window))
        destroyWindow(window);
    destroyConsoleWindow();
    if (host)
        host->publishWindow(nullptr);
    gMainWindow.store(nullptr);
    gMain.state.ready = false;
    gMain.window = nullptr;
    gGuiHost.store(nullptr);
    return true;
}

}  // namespace qv
