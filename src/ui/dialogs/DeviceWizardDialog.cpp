#include "ui/dialogs/DeviceWizardDialog.h"

#include "platform/Folders.h"
#include "ui/AppMessages.h"
#include "ui/DialogHost.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"
#include "ui/MessageBox.h"
#include "ui/dialogs/DeviceWizard.h"

namespace qv {

void openDeviceWizard(WindowHandle parent, GuiHost* host) {
    WizardLog log;
    WizardState state;
    state.log = &log;
    WizardServices& services = state.services;
    services.settings = &gSettings;
    if (host) {
        services.copyDevices = [host] { return host->devices(); };
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
    spec.onPaint = wizardPaint;
    spec.onMouse = wizardMouse;
    spec.onKey = wizardKey;
    spec.onTimer = wizardTimer;
    spec.userData = &state;
    runModalDialog(spec);

    // The window and its timer are gone; what is left waits on its own.
    state.services.setTimer = nullptr;
    state.services.setCapture = [](bool) { releaseMouseCapture(); };
    const bool programEnding = host && host->quitRequestedFlag && host->quitRequestedFlag->load() != 0;
    if (finishWizard(state, programEnding) && parent)
        postWindowMessage(parent, kMsgRefreshEffects, 0, 0);
}

void installDeviceWizard() {
    // An entry already in place (a test's stand-in) is kept.
    if (!dialogEntries().openDeviceWizard)
        dialogEntries().openDeviceWizard = openDeviceWizard;
}

}  // namespace qv
