#include "ui/dialogs/DeviceWizardDialog.h"

#include "platform/Folders.h"
#include "ui/AppMessages.h"
#include "ui/DialogHost.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"
#include "ui/MessageBox.h"
#include "ui/dialogs/DeviceWizard.h"
#include "ui/dialogs/DialogRunner.h"

namespace qv {

namespace {

// A quit that begins while the wizard's window is being made can end the
// main window without closing the wizard: a slow timer of the dialog's own
// watches the quit flag and closes it. The same timer takes new server
// figures of the device list into the page.
constexpr uint32_t kQuitWatchTimerId = 2;
constexpr uint32_t kQuitWatchMs = 250;

struct WizardDialog {
    WizardState state;
    GuiHost* host = nullptr;
    bool watching = false;
};

bool programEnding(const GuiHost* host) {
    return host && host->quitRequestedFlag && host->quitRequestedFlag->load() != 0;
}

void dialogPaint(DrawContext& context, float width, float height, void* user) {
    auto* dialog = static_cast<WizardDialog*>(user);
    if (!dialog->watching) {
        if (WindowHandle window = currentDialogWindow())
            dialog->watching = setWindowTimer(window, kQuitWatchTimerId, kQuitWatchMs);
    }
    wizardPaint(context, width, height, &dialog->state);
}

bool dialogMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    return wizardMouse(message, x, y, wParam, &static_cast<WizardDialog*>(user)->state);
}

bool dialogKey(uint32_t message, uintptr_t wParam, intptr_t lParam, void* user) {
    return wizardKey(message, wParam, lParam, &static_cast<WizardDialog*>(user)->state);
}

bool dialogTimer(uint32_t timerId, uintptr_t wParam, intptr_t lParam, void* user) {
    auto* dialog = static_cast<WizardDialog*>(user);
    if (timerId == kQuitWatchTimerId) {
        if (programEnding(dialog->host)) {
            closeDialog(0);
            return false;
        }
        // New server figures (a quantum changed while the wizard is open).
        return refreshServerFigures(dialog->state);
    }
    return wizardTimer(timerId, wParam, lParam, &dialog->state);
}

}  // namespace

void openDeviceWizard(WindowHandle parent, GuiHost* host) {
    // A request that arrives once the program is ending opens nothing: the
    // quit has already closed the dialogs and would not close a new one.
    if (programEnding(host))
        return;
    WizardLog log;
    WizardDialog dialog;
    dialog.host = host;
    WizardState& state = dialog.state;
    state.log = &log;
    WizardServices& services = state.services;
    services.settings = &gSettings;
    if (host) {
        services.copyDevices = [host] { return host->devices(); };
        services.devicesVersion = [host] { return host->devicesVersion(); };
        if (host->reopenAudioFn) {
            services.reopenAudio = [host](int paIndex, int channels, int frames) {
                return host->reopenAudioFn(paIndex, channels, frames);
            };
        }
        services.testTone = [host](int channel, int durationMs, float gain, int stream) {
            host->playTestTone(channel, durationMs, gain, stream);
        };
    }
    services.showWarning = [](const char* title, const char* text) {
        messageBoxes().show(currentDialogWindow(), title, text, MessageKind::Warning);
    };
    services.closeDialog = [](int code) { closeDialog(code); };
    // Called from the wizard's own callbacks, so the innermost dialog is the wizard.
    services.setTimer = [](bool on) {
        if (WindowHandle window = currentDialogWindow()) {
            if (on)
                setWindowTimer(window, kWizardTimerId, kWizardTimerMs);
            else
                killWindowTimer(window, kWizardTimerId);
        }
    };
    services.setCapture = [](bool on) {
        if (on)
            setMouseCapture(currentDialogWindow());
        else
            releaseMouseCapture();
    };
    const std::string folder = host && !host->settingsFolder.empty() ? host->settingsFolder : appDataFolder();
    beginWizard(state, folder);

    DialogSpec spec;
    spec.parent = parent;
    spec.title = "Device Setup";
    spec.width = kWizardWidth;
    spec.height = kWizardHeight;
    spec.onPaint = dialogPaint;
    spec.onMouse = dialogMouse;
    spec.onKey = dialogKey;
    spec.onTimer = dialogTimer;
    spec.userData = &dialog;
    runDialog(spec);

    // The window and its timer are gone; finishing waits for nothing.
    state.services.setTimer = nullptr;
    state.services.setCapture = [](bool) { releaseMouseCapture(); };
    if (finishWizard(state, programEnding(host)) && parent)
        postWindowMessage(parent, kMsgRefreshEffects, 0, 0);
}

const WizardState* wizardStateOf(const void* userData) {
    return userData ? &static_cast<const WizardDialog*>(userData)->state : nullptr;
}

void installDeviceWizard() {
    // An entry already in place (a test's stand-in) is kept.
    if (!dialogEntries().openDeviceWizard)
        dialogEntries().openDeviceWizard = openDeviceWizard;
}

}  // namespace qv
